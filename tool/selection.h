// Which scalars of the ELF file become A2L objects: every global variable is
// expanded into its scalars, the first variable-list entry whose pattern
// matches a scalar's name decides for it, and what cannot be described (no
// A2L data type, an address beyond 32 bits) or would be described twice is
// dropped. The result feeds the A2L text writer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "elf/debug_info.h"
#include "elf/flatten.h"
#include "tool/variable_list.h"

namespace vk::tool {

struct A2lItem {
    std::string identifier;  // unique among the items
    std::string name;        // as the flattening gives it
    std::uint64_t address = 0;
    std::int32_t type = -1;
    std::uint64_t size = 0;
    std::uint64_t bitMask = 0;
    bool isBitField = false;
    std::vector<std::string> typedefNames;
    // The variable-list entry that selected the scalar; the list outlives the
    // items, and a copy per scalar would cost more memory than the rest of it.
    const Json* entry = nullptr;
    std::string dataType;
    double lower = 0;
    double upper = 0;
    bool isFloat = false;
};

struct Selection {
    std::vector<A2lItem> items;         // in selection order
    std::vector<std::string> warnings;  // in the order the user sees them
};

// True when the entry's pattern selects the name: equal, a wildcard match,
// or the name of a member or element of what the pattern names.
bool entryMatches(std::string_view pattern, std::string_view name);
// True when the entry's pattern may select a scalar whose name begins with
// `prefix`, so that the expansion must look under it.
bool entryMaySelectWithin(std::string_view pattern, std::string_view prefix);

// Throws only for a wrongly typed "pointer" of a matching entry. The items point
// into specs, which must outlive them.
Selection selectItems(const vk::elf::DebugInfo& debug, const std::vector<VariableSpec>& specs,
                      std::uint64_t arrayLimit, vk::elf::ExpansionBudget* run = nullptr);

}  // namespace vk::tool
