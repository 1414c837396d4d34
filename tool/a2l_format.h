// Number and string forms of generated A2L text, shared by the generator and
// the in-place updater so that both write addresses, masks, reals and quoted
// strings the same way.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vk::tool {

// "0x" and at least 8 upper-case hexadecimal digits ("0x%08llX").
std::string hexAddress(std::uint64_t address);

// "0x" and at least minDigits upper-case hexadecimal digits ("0x%0*llX").
std::string hexDigits(std::uint64_t value, std::int32_t minDigits);

// "%.10g" with a full stop as the decimal point, whatever the process locale.
std::string formatNumber(double value);

// formatNumber of a value inside [low, high], except where rounding to ten
// digits would put the text outside: then the ten-digit value next to it
// toward the inside (the range of an A_INT64 reads -9.223372036e+18 to
// 9.223372036e+18, not ...037e+18).
std::string formatNumberWithin(double value, double low, double high);

// An A2L string literal: quotes around the text, a backslash before every
// quote and backslash; every other byte passes unchanged. Call it qualified:
// with a std::string argument, argument-dependent lookup prefers std::quoted.
std::string quoted(std::string_view text);

// The text for a report line: every control byte (below 0x20, and 0x7F) as
// \xNN, so that a NUL cannot cut the line short nor a line feed split it.
std::string printable(std::string_view text);

}  // namespace vk::tool
