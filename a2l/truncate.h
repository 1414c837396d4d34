// Narrowing of A2L numbers, which arrive as doubles, into the integer widths
// of the object model. Out-of-range values give 0 instead of undefined
// behaviour; in range, the low bits of the target width are kept.
#pragma once

#include <cmath>
#include <cstdint>

namespace vk::a2l {

// Toward zero to signed 32 bits; NaN and values outside that range give 0.
inline std::int32_t truncateToInt32(double value) {
    const double t = std::trunc(value);
    if (!(t >= -2147483648.0 && t <= 2147483647.0)) return 0;
    return static_cast<std::int32_t>(t);
}

// Toward zero to signed 64 bits; NaN and magnitudes of 2^63 or more give 0.
inline std::int64_t truncateToInt64(double value) {
    const double t = std::trunc(value);
    if (!(std::fabs(t) < 9223372036854775808.0)) return 0;
    return static_cast<std::int64_t>(t);
}

inline std::uint8_t low8(double value) {
    return static_cast<std::uint8_t>(truncateToInt32(value));
}
inline std::uint16_t low16(double value) {
    return static_cast<std::uint16_t>(truncateToInt32(value));
}
inline std::uint32_t low32(double value) {
    return static_cast<std::uint32_t>(truncateToInt64(value));
}

// Toward zero to unsigned 64 bits: values up to below 2^64 keep their
// unsigned value, negative ones wrap to their two's complement, anything of
// magnitude 2^64 or more (and NaN) gives 0.
inline std::uint64_t truncateToUint64(double value) {
    const double t = std::trunc(value);
    const double two64 = 18446744073709551616.0;
    if (!(std::fabs(t) < two64)) return 0;
    if (t >= 0) return static_cast<std::uint64_t>(t);
    return std::uint64_t{0} - static_cast<std::uint64_t>(-t);
}

// A whole number not below 0 (-0 included); NaN fails.
inline bool isNonNegativeWhole(double value) {
    return value >= 0 && std::trunc(value) == value;
}

}  // namespace vk::a2l
