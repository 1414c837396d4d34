// Expands a global variable into its scalar leaves (base, enumeration and
// pointer values reached through members, array elements and bit fields),
// and gives a type-table entry its short display name. Both only read the
// debug information.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "elf/debug_info.h"

namespace vk::elf {

struct Variable {
    std::string name;  // "g.member[1][2].x"
    std::uint64_t address = 0;
    std::int32_t type = -1;  // after Typedef and Qualified links
    std::uint64_t size = 0;
    std::uint64_t bitMask = 0;  // 0 unless a bit field
    bool isBitField = false;
    std::vector<std::string> typedefNames;  // of the declared type, outermost first
};

// Bounds of one expansion (one flattenInto call), whatever the array limit:
// it visits at most kFlattenValueBudget values (the global, every member and
// element on the way, every leaf), and its leaves and warnings hold at most
// kFlattenByteBudget bytes, counted as sizeof(Variable) plus the name for a
// leaf, sizeof(std::string) plus the text for each typedef name and each
// warning. Real globals stay far below both; debug information that claims
// arrays of arrays, or one long member name under many elements, would
// otherwise make a small file expand to gigabytes. The expansion stops at
// the first value beyond either bound, and with a warning list adds
// "NAME: expansion stopped after N values", N the values visited.
inline constexpr std::uint64_t kFlattenValueBudget = std::uint64_t{1} << 21;
inline constexpr std::uint64_t kFlattenByteBudget = std::uint64_t{256} << 20;

// The expansion work of one run, shared by all its expansions and counted
// as above: values visited, bytes of leaves and warnings. Those bounds hold
// per expansion, so debug information whose types branch into billions of
// values under each of many globals would still keep a run going for hours.
// expansionBudget() sizes it from the input, far above what real firmware
// needs; an expansion that reaches it stops, and sets `reached`.
struct ExpansionBudget {
    std::uint64_t values = 0;
    std::uint64_t bytes = 0;
    std::uint64_t limit = 0;  // the values it started with
    bool reached = false;
    bool lastStopped = false;  // the latest expansion ended early, by its own bounds or the run's
};
inline constexpr std::uint64_t kRunValueBase = std::uint64_t{1} << 25;
inline constexpr std::uint64_t kRunValueFactor = 16;  // per byte of .debug_info
inline constexpr std::uint64_t kRunByteBase = std::uint64_t{4} << 30;
inline constexpr std::uint64_t kRunByteFactor = 256;

ExpansionBudget expansionBudget(const ElfFile& file);

// "expansion stopped after N values in all ...", for a budget that was reached.
std::string budgetReachedMessage(const ExpansionBudget& budget);

// A bit field's leaf: the mask of its bits and the byte size of the value
// that holds them, `type` being its member type resolved (-1 for none). A
// field whose storageSize is kNoBitWindow gives no leaf: flattening leaves
// it out, with "NAME: bit field left out: no 8 bytes hold all its bits" when
// warnings are collected.
inline constexpr std::string_view kBitFieldLeftOut = ": bit field left out: no 8 bytes hold all its bits";

// Any other value that the expansion cannot describe is left out with the
// warning NAME + kLeftOutMark + why, NAME being its full name.
inline constexpr std::string_view kLeftOutMark = ": left out: ";
std::string leftOutWarning(std::string_view name, std::string_view why);

// The value that a warning of the two forms above leaves out, so that the
// entries naming it can be answered with the warning; `whole` is true for
// a value with nothing under it (a bit field), false for one whose members
// or elements are left out with it. Empty for every other warning.
struct LeftOutValue {
    std::string_view name;
    bool whole = false;
};
std::optional<LeftOutValue> leftOutValue(std::string_view warning);

// The array-limit warning: NAME + kArrayLimitMark + limit + " of " + count +
// kArrayLimitEnd. truncatedArray gives the NAME of such a warning, and is
// empty for every other warning.
inline constexpr std::string_view kArrayLimitMark = ": only the first ";
inline constexpr std::string_view kArrayLimitEnd = " array elements";
std::optional<std::string_view> truncatedArray(std::string_view warning);
std::uint64_t bitFieldMask(const Member& member);
std::uint64_t bitFieldSize(const DebugInfo& debug, std::int32_t type, const Member& member);

// Tells an expansion what it may leave out: called with the name of a
// global, member or element, false when no leaf whose name begins with it
// is wanted. Such a value is not expanded; a member or element left out
// counts as one value visited, a global as none.
using WantedPrefix = std::function<bool(std::string_view)>;

// Members in declaration order, array elements in row-major order. Arrays
// yield at most `arrayLimit` elements each (counted over all dimensions);
// when `warnings` is given, every truncated array adds one line to it, and
// every value left out (see flattenInto) its left-out warning.
// With a run's budget the expansion also counts against it; an expansion
// stopped by the run's budget adds no warning of its own.
std::vector<Variable> flattenVariable(const DebugInfo& debug, const GlobalVariable& global,
                                      std::uint64_t arrayLimit, std::vector<std::string>* warnings,
                                      ExpansionBudget* run = nullptr, const WantedPrefix* wanted = nullptr);

// One step of the expansion, for the value `name` at `address` whose
// declared type is `type`; `depth` is 0 for the global itself. Values more
// than 16 levels down are left out, as are arrays whose element count does
// not fit 64 bits and types behind more than 64 typedef and qualifier links,
// each with a left-out warning when warnings are collected.
void flattenInto(const DebugInfo& debug, const std::string& name, std::uint64_t address, std::int32_t type,
                 std::uint64_t arrayLimit, std::vector<Variable>& out, std::vector<std::string>* warnings,
                 std::int32_t depth, ExpansionBudget* run = nullptr);

// Calls `visit` for each leaf that flattenVariable gives, in the same order
// and within the same bounds, without collecting them: the Variable passed
// is reused from leaf to leaf and its typedefNames stay empty. `warnings`,
// when given, receives the expansion's warnings except the array-limit ones,
// whose limit the caller chose.
void forEachLeaf(const DebugInfo& debug, const GlobalVariable& global, std::uint64_t arrayLimit,
                 const std::function<void(const Variable&)>& visit, ExpansionBudget* run = nullptr,
                 std::vector<std::string>* warnings = nullptr, const WantedPrefix* wanted = nullptr);

// "int", "struct point", "pointer", "uint8[4][2]", ...; "void" for a
// negative index.
std::string typeName(const DebugInfo& debug, std::int32_t type);

// Appends "[i][j]..." for the element at row-major position `position` of an
// array with these dimensions and element count, as flattening names it.
void appendIndexText(std::string& text, const std::vector<std::uint64_t>& dims, std::uint64_t count,
                     std::uint64_t position);

}  // namespace vk::elf
