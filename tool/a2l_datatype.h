// The A2L data type of a scalar, from its type-table entry and byte size,
// with the limits that the type's raw values span. The generator writes it
// into every MEASUREMENT and CHARACTERISTIC; the updater compares with it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

#include "elf/debug_info.h"

namespace vk::tool {

struct DatatypeLimits {
    std::string_view keyword;  // "UBYTE" ... "FLOAT64_IEEE", static storage
    double lower = 0;
    double upper = 0;
    bool isFloat = false;
};

// Empty when the pair has no A2L data type (a 16-byte long double, a 2-byte
// float, a structure). Reads only the entry's kind, encoding and enumerator
// values; `size` is the scalar's size, not the entry's.
std::optional<DatatypeLimits> a2lDatatypeFor(const vk::elf::TypeInfo& type, std::uint64_t size);

// Whether the enumeration's values are those of an unsigned underlying type,
// up to 2^64 - 1, whose bits Enumerator::value holds; and the lowest and
// highest of its values (it must have enumerators), read so.
bool unsignedEnumerators(const vk::elf::TypeInfo& type);
std::pair<double, double> enumeratorRange(const vk::elf::TypeInfo& type);

}  // namespace vk::tool
