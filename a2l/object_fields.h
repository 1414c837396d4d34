// Optional fields that MEASUREMENT, CHARACTERISTIC and AXIS_PTS read alike:
// address extension, bit mask, element count, and the positional address
// that must be a whole number. Keywords are searched from index start.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "a2l/block.h"
#include "a2l/field_reader.h"

namespace vk::a2l {

// ECU_ADDRESS_EXTENSION: low 8 bits of the 32-bit truncation; 0 when absent.
std::uint8_t readAddressExtension(const Block& block, std::uint64_t start);

// BIT_MASK as an unsigned 64-bit value, all 64 bits exact when written as a
// whole number (negative ones wrap).
std::optional<std::uint64_t> readBitMask(const Block& block, std::uint64_t start);

// 1, or the number after countKeyword (ARRAY_SIZE or NUMBER); a MATRIX_DIM
// overrides it with the wrapping product of the numbers that follow it.
std::uint32_t readElementCount(const Block& block, std::uint64_t start, std::string_view countKeyword);

// The positional "address" field: a whole number not below 0, low 32 bits.
std::uint32_t readAddressField(FieldReader& reader);

}  // namespace vk::a2l
