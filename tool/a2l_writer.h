// The A2L text writer: one pass that writes the head and MOD_COMMON, the
// IF_DATA XCP block, the conversion methods with their verbal tables, the
// record layouts, and one MEASUREMENT or CHARACTERISTIC per selected item.
// The writers read their variable-list keys as they go and throw on a bad
// one; vk::tool::generate turns that into its error.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "elf/debug_info.h"
#include "tool/generate.h"
#include "tool/selection.h"
#include "tool/variable_list.h"

namespace vk::tool {

// One line of a verbal conversion table.
struct VerbalEntry {
    std::int64_t value = 0;
    std::string text;
    bool isUnsigned = false;  // value holds the bits of one up to 2^64 - 1
};

// The whole text with its object counts, and the warnings about values of
// the variable list that it writes as they stand.
GeneratedA2l writeA2l(const VariableList& list, const std::vector<A2lItem>& items,
                      const vk::elf::DebugInfo& debug, bool littleEndian);

// Warnings about what the variable list asks for, in the order they are
// met; one of a kind per entry however many of its scalars it concerns.
class ListWarnings {
public:
    enum Kind : unsigned { kZeroFactor = 1, kUndeclaredEvent = 2, kCrossedLimits = 4 };
    explicit ListWarnings(std::vector<std::string>& out) : out_(out) {}
    void add(std::string text) { out_.push_back(std::move(text)); }
    // "'PATTERN': " and the text, unless the entry had a warning of this kind.
    void add(const Json& entry, Kind kind, const std::string& text);

private:
    std::vector<std::string>& out_;
    std::unordered_map<const Json*, unsigned> given_;
};

// IF_DATA XCP: reads the "xcp" keys, then writes the block.
void writeIfDataXcp(std::string& out, const Json& xcp, const std::vector<DaqEvent>& events, bool littleEndian,
                    ListWarnings& warnings);

// The XCP cycle and time unit of an event cycle in milliseconds; throws when
// the cycle does not fit the byte that holds it.
struct EventCycle {
    std::uint32_t cycle = 0;
    std::uint32_t unit = 0;
};
EventCycle eventCycle(const DaqEvent& event);

// Conversion methods and verbal tables for every item, in item order.
// Returns the data types that parameters use, for the record layouts, and
// per item whether its conversion is verbal, which its limits follow.
struct Conversions {
    std::set<std::string> layoutTypes;
    std::vector<bool> verbal;
};
Conversions writeConversions(std::string& out, const std::vector<A2lItem>& items,
                             const vk::elf::DebugInfo& debug, ListWarnings& warnings);
void writeRecordLayouts(std::string& out, const std::set<std::string>& dataTypes);

// The verbal table of an item: its "verbal" key, else its enumerators, else
// false/true for a boolean; empty when it has none.
std::vector<VerbalEntry> verbalTable(const A2lItem& item, const vk::elf::DebugInfo& debug);

// MEASUREMENTs and CHARACTERISTICs, counted into result; `verbal` as
// writeConversions gave it.
void writeObjects(std::string& out, const std::vector<A2lItem>& items, const std::vector<bool>& verbal,
                  const VariableList& list, const vk::elf::DebugInfo& debug, GeneratedA2l& result,
                  ListWarnings& warnings);

// The type-table entry of an item, or null for an item without one.
const vk::elf::TypeInfo* itemType(const A2lItem& item, const vk::elf::DebugInfo& debug);

}  // namespace vk::tool
