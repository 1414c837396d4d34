// What the DWARF reader hands to the rest of the system: a type table and the
// global variables that live at one fixed address. Types refer to one another,
// and variables to types, by index into the table (-1 for none).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "elf/elf_file.h"
#include "elf/name_store.h"
#include "foundation/result.h"

namespace vk::elf {

enum class TypeKind : std::uint8_t {
    Other = 0,
    Unspecified = 1,
    Base = 2,
    Struct = 3,
    Union = 4,
    Array = 5,
    Enum = 6,
    Pointer = 7,
    Typedef = 8,
    Qualified = 9,
    Function = 10,
};

// Names in the type table and the globals are views into DebugInfo::names.

// A data member or base class. For a bit field, offset is that of the
// bytes that hold it: storageSize bytes (0: the declared type's size), and
// bitShift the position of its lowest bit within their value read in the
// file's byte order. That is its storage unit where one holds it; packed and
// other layouts can put a field across units, and then a window of 1, 2, 4
// or 8 bytes holds it, or none (kNoBitWindow: the field is not described).
// A window that lies inside the containing structure is preferred to one
// that reaches past it, where one does. A virtual base class has no offset of
// its own (the running program reads it from the vtable): storageSize
// kVirtualBase, bitSize 0, offset 0.
struct Member {
    std::string_view name;
    std::uint64_t offset = 0;
    std::int32_t type = -1;
    std::uint16_t bitSize = 0;
    std::uint8_t bitShift = 0;  // below 64; one byte keeps the member at 32 bytes
    std::uint8_t storageSize = 0;
};

inline constexpr std::uint8_t kNoBitWindow = 0xff;
inline constexpr std::uint8_t kVirtualBase = 0xfe;

struct Enumerator {
    std::int64_t value = 0;
    std::string_view name;
};

struct TypeInfo {
    TypeKind kind = TypeKind::Other;
    std::string_view name;
    std::uint64_t byteSize = 0;
    // DW_ATE code of a Base entry, or of the base type an Enum entry names as
    // its underlying type (0 when it names none); in an unsigned one an
    // enumerator's value holds the bits of values up to 2^64 - 1.
    std::uint8_t encoding = 0;
    std::int32_t target = -1;  // always -1 for Pointer entries
    std::vector<Member> members;
    std::vector<std::uint64_t> dims;  // outermost first; 0 when unknown
    std::vector<Enumerator> enumerators;
};

// Whether a structure, union or enumeration has its definition. One that its
// unit only declares takes the definition of its kind and qualified name
// from another unit; without one (Missing), or where such definitions differ
// in size or members (Conflicting), it has no members and a value of it
// cannot be described.
enum class Definition : std::uint8_t { Found = 0, Missing = 1, Conflicting = 2 };

struct GlobalVariable {
    std::string_view name;
    std::uint64_t address = 0;
    std::int32_t typeIndex = -1;
    bool external = false;
    std::string_view unitName;
};

struct DebugInfo {
    std::vector<TypeInfo> types;
    // The entries without their definition, by ascending index; kept apart
    // from TypeInfo, whose every byte counts in a large table.
    std::vector<std::pair<std::int32_t, Definition>> undefined;
    std::vector<GlobalVariable> globals;  // in .debug_info order
    std::vector<std::string> strings;     // always empty
    std::vector<std::string> warnings;    // what is not read, for every mode to report
    std::uint64_t addressSize = 4;        // of the last unit header read
    NameStore names;                      // the text of every name above

    DebugInfo() = default;
    DebugInfo(DebugInfo&&) noexcept = default;
    DebugInfo& operator=(DebugInfo&&) noexcept = default;
    // A copy holds its own names.
    DebugInfo(const DebugInfo& other);
    DebugInfo& operator=(const DebugInfo& other);
};

// Each string of the file is kept once, however many entries name it, so
// the names of real files cost at most about the size of their string
// sections. Only names that overlap one another (entries naming every suffix
// of one long string) can cost more; beyond kDwarfNameBudgetBase +
// kDwarfNameBudgetFactor * (the bytes of .debug_info, .debug_str and
// .debug_line_str) the load fails with "DWARF: DWARF data too large".
inline constexpr std::uint64_t kDwarfNameBudgetBase = std::uint64_t{16} << 20;
inline constexpr std::uint64_t kDwarfNameBudgetFactor = 8;

// Reads the file's DWARF debug information. NotFound when .debug_info or
// .debug_abbrev is missing or empty; Unsupported when the file or its debug
// information is of a kind that is not read (a relocatable object, compressed
// sections, type units, split DWARF, STABS alone); InvalidArgument
// "DWARF: ..." when the debug data is malformed. STABS beside DWARF gives a
// warning.
Result<DebugInfo> loadDwarf(const ElfFile& file);

// Found unless the entry at `index` is listed in `undefined`.
Definition definitionOf(const DebugInfo& debug, std::int32_t index);

// Follows Typedef and Qualified links (at most 64 moves); a negative index
// is returned unchanged.
std::int32_t resolveAlias(const std::vector<TypeInfo>& types, std::int32_t index);

// The entry's byte size; while it is 0, follows Typedef, Qualified and Enum
// links (at most 64 moves). 0 for a negative index.
std::uint64_t byteSize(const std::vector<TypeInfo>& types, std::int32_t index);

// Names of the Typedef entries met along the Typedef and Qualified links,
// starting with the entry itself, outermost first; at most 32 entries.
std::vector<std::string> typedefNames(const std::vector<TypeInfo>& types, std::int32_t index);

}  // namespace vk::elf
