#include "tool/a2l_datatype.h"

#include <algorithm>
#include <limits>

namespace vk::tool {
namespace {

constexpr std::uint8_t kEncodingFloat = 0x04;
constexpr std::uint8_t kEncodingSigned = 0x05;
constexpr std::uint8_t kEncodingSignedChar = 0x06;

// The 64-bit limits are the doubles nearest to the integer limits, which
// round up to 2^64 and 2^63.
constexpr DatatypeLimits kUnsigned[] = {
    {"UBYTE", 0.0, 255.0, false},
    {"UWORD", 0.0, 65535.0, false},
    {"ULONG", 0.0, 4294967295.0, false},
    {"A_UINT64", 0.0, 18446744073709551616.0, false},
};
constexpr DatatypeLimits kSigned[] = {
    {"SBYTE", -128.0, 127.0, false},
    {"SWORD", -32768.0, 32767.0, false},
    {"SLONG", -2147483648.0, 2147483647.0, false},
    {"A_INT64", -9223372036854775808.0, 9223372036854775808.0, false},
};
constexpr DatatypeLimits kFloat32 = {"FLOAT32_IEEE", -3.4e38, 3.4e38, true};
constexpr DatatypeLimits kFloat64 = {"FLOAT64_IEEE", -1.7e308, 1.7e308, true};

std::optional<DatatypeLimits> integer(bool isSigned, std::uint64_t size) {
    const DatatypeLimits* table = isSigned ? kSigned : kUnsigned;
    switch (size) {
        case 1:
            return table[0];
        case 2:
            return table[1];
        case 4:
            return table[2];
        case 8:
            return table[3];
        default:
            return std::nullopt;
    }
}

bool isSignedEncoding(std::uint8_t encoding) {
    return encoding == kEncodingSigned || encoding == kEncodingSignedChar;
}

bool hasNegativeEnumerator(const vk::elf::TypeInfo& type) {
    return std::any_of(type.enumerators.begin(), type.enumerators.end(),
                       [](const vk::elf::Enumerator& e) { return e.value < 0; });
}

}  // namespace

bool unsignedEnumerators(const vk::elf::TypeInfo& type) {
    return type.kind == vk::elf::TypeKind::Enum && type.encoding != 0 && !isSignedEncoding(type.encoding);
}

std::pair<double, double> enumeratorRange(const vk::elf::TypeInfo& type) {
    const bool isUnsigned = unsignedEnumerators(type);
    double low = std::numeric_limits<double>::infinity();
    double high = -low;
    for (const vk::elf::Enumerator& e : type.enumerators) {
        const double value = isUnsigned ? static_cast<double>(static_cast<std::uint64_t>(e.value))
                                        : static_cast<double>(e.value);
        low = std::min(low, value);
        high = std::max(high, value);
    }
    return {low, high};
}

std::optional<DatatypeLimits> a2lDatatypeFor(const vk::elf::TypeInfo& type, std::uint64_t size) {
    using vk::elf::TypeKind;
    switch (type.kind) {
        case TypeKind::Base:
            if (type.encoding == kEncodingFloat) {
                if (size == 4) return kFloat32;
                if (size == 8) return kFloat64;
                return std::nullopt;
            }
            return integer(isSignedEncoding(type.encoding), size);
        case TypeKind::Enum:
            // The underlying type where the enumeration names one, else its values.
            return integer(type.encoding != 0 ? isSignedEncoding(type.encoding) : hasNegativeEnumerator(type),
                           size);
        case TypeKind::Pointer:
            return integer(false, size);
        default:
            return std::nullopt;
    }
}

}  // namespace vk::tool
