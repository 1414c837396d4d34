// The bits that gdb places a bit field on and those a leaf selects, as sets
// of (byte address, bit) pairs, for the fixture matrices that check the
// reader against gdb.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>

#include "elf/flatten.h"

namespace vk::elf::testing {

using Bits = std::set<std::pair<std::uint64_t, unsigned>>;  // (byte address, bit 0 = least significant)

struct GdbBitField {
    std::string name;
    std::uint64_t address = 0;
    std::uint64_t bitPos = 0;  // from the variable's first byte, in gdb's order for the byte order
    std::uint64_t bitSize = 0;
    std::string endian;
    std::uint64_t holder = 0;  // offset in the variable of the structure or union that holds it
    std::uint64_t holderSize = 0;
    std::uint64_t variableSize = 0;  // of the variable at `address`
};

inline Bits gdbBits(const GdbBitField& field, bool little) {
    Bits bits;
    for (std::uint64_t p = field.bitPos; p < field.bitPos + field.bitSize; ++p)
        bits.emplace(field.address + p / 8, little ? p % 8 : 7 - p % 8);
    return bits;
}

inline Bits leafBits(const Variable& leaf, bool little) {
    Bits bits;
    for (unsigned k = 0; k < 64; ++k)
        if (leaf.bitMask >> k & 1)
            bits.emplace(little ? leaf.address + k / 8 : leaf.address + leaf.size - 1 - k / 8, k % 8);
    return bits;
}

}  // namespace vk::elf::testing
