// Expands a global variable into its scalar leaves (base, enumeration and
// pointer values reached through members, array elements and bit fields),
// and gives a type-table entry its short display name. Both only read the
// debug information.
#pragma once

#include <cstdint>
#include <string>
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

// Members in declaration order, array elements in row-major order. Arrays
// yield at most `arrayLimit` elements each (counted over all dimensions);
// when `warnings` is given, every truncated array adds one line to it.
std::vector<Variable> flattenVariable(const DebugInfo& debug, const GlobalVariable& global,
                                      std::uint64_t arrayLimit, std::vector<std::string>* warnings);

// One step of the expansion, for the value `name` at `address` whose
// declared type is `type`; `depth` is 0 for the global itself, and values
// more than 16 levels down are dropped.
void flattenInto(const DebugInfo& debug, const std::string& name, std::uint64_t address, std::int32_t type,
                 std::uint64_t arrayLimit, std::vector<Variable>& out, std::vector<std::string>* warnings,
                 std::int32_t depth);

// "int", "struct point", "pointer", "uint8[4][2]", ...; "void" for a
// negative index.
std::string typeName(const DebugInfo& debug, std::int32_t type);

}  // namespace vk::elf
