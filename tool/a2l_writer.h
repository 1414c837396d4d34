// The A2L text writer: one pass that writes the head and MOD_COMMON, the
// IF_DATA XCP block, the conversion methods with their verbal tables, the
// record layouts, and one MEASUREMENT or CHARACTERISTIC per selected item.
// The writers read their variable-list keys as they go and throw on a bad
// one; vk::tool::generate turns that into its error.
#pragma once

#include <cstdint>
#include <set>
#include <string>
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

// The whole text with its object counts; the warnings are left empty.
GeneratedA2l writeA2l(const VariableList& list, const std::vector<A2lItem>& items,
                      const vk::elf::DebugInfo& debug, bool littleEndian);

// IF_DATA XCP: reads the "xcp" keys, then writes the block.
void writeIfDataXcp(std::string& out, const Json& xcp, const std::vector<DaqEvent>& events,
                    bool littleEndian);

// The XCP cycle and time unit of an event cycle in milliseconds; throws when
// the cycle does not fit the byte that holds it.
struct EventCycle {
    std::uint32_t cycle = 0;
    std::uint32_t unit = 0;
};
EventCycle eventCycle(const DaqEvent& event);

// Conversion methods and verbal tables for every item, in item order;
// returns the data types that parameters use, for the record layouts.
std::set<std::string> writeConversions(std::string& out, const std::vector<A2lItem>& items,
                                       const vk::elf::DebugInfo& debug);
void writeRecordLayouts(std::string& out, const std::set<std::string>& dataTypes);

// The verbal table of an item: its "verbal" key, else its enumerators, else
// false/true for a boolean; empty when it has none.
std::vector<VerbalEntry> verbalTable(const A2lItem& item, const vk::elf::DebugInfo& debug);

// MEASUREMENTs and CHARACTERISTICs, counted into result.
void writeObjects(std::string& out, const std::vector<A2lItem>& items, const VariableList& list,
                  const vk::elf::DebugInfo& debug, GeneratedA2l& result);

// The type-table entry of an item, or null for an item without one.
const vk::elf::TypeInfo* itemType(const A2lItem& item, const vk::elf::DebugInfo& debug);

}  // namespace vk::tool
