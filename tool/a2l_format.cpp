#include "tool/a2l_format.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

namespace vk::tool {

std::string hexAddress(std::uint64_t address) {
    return hexDigits(address, 8);
}

std::string hexDigits(std::uint64_t value, std::int32_t minDigits) {
    char buffer[96];  // room for any width a caller may ask for here
    const int length = std::snprintf(buffer, sizeof buffer, "0x%0*llX", static_cast<int>(minDigits),
                                     static_cast<unsigned long long>(value));
    if (length < 0) return {};
    if (static_cast<std::size_t>(length) < sizeof buffer) return std::string(buffer, length);
    std::string wide(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(wide.data(), wide.size(), "0x%0*llX", static_cast<int>(minDigits),
                  static_cast<unsigned long long>(value));
    wide.pop_back();
    return wide;
}

std::string formatNumber(double value) {
    // std::to_chars formats as printf does in the "C" locale, so a locale
    // with a decimal comma cannot leak into the A2L text.
    char buffer[32];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 10);
    if (error != std::errc{}) return {};
    return std::string(buffer, end);
}

namespace {

constexpr int kSignificantDigits = 10;

// The ten-digit decimal next to `value`'s rounding, one unit of its last
// digit up (toward +inf) or down.
double nextTenDigitValue(double value, bool up) {
    char buffer[40];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific,
                                   kSignificantDigits - 1)
                         .ptr;
    // [-]d.ddddddddde[+-]x...
    const std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
    const bool negative = text.front() == '-';
    std::uint64_t digits = 0;
    std::size_t i = negative ? 1 : 0;
    for (; text[i] != 'e'; ++i) {
        if (text[i] != '.') digits = digits * 10 + static_cast<std::uint64_t>(text[i] - '0');
    }
    int exponent = 0;
    std::from_chars(text.data() + i + (text[i + 1] == '+' ? 2 : 1), text.data() + text.size(), exponent);
    constexpr std::uint64_t kLowest = 1000000000;  // 10^(digits - 1)
    if (up != negative) {                          // a larger magnitude
        if (++digits == 10 * kLowest) {
            digits = kLowest;
            ++exponent;
        }
    } else if (--digits < kLowest) {
        digits = 10 * kLowest - 1;
        --exponent;
    }
    const std::string next = (negative ? "-" : "") + std::to_string(digits) + "e" +
                             std::to_string(exponent - (kSignificantDigits - 1));
    double result = value;
    std::from_chars(next.data(), next.data() + next.size(), result);
    return result;
}

double valueOf(const std::string& text) {
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

}  // namespace

std::string formatNumberWithin(double value, double low, double high) {
    std::string text = formatNumber(value);
    // Ten digits hold every integer below 10^10 exactly.
    constexpr double kExactIntegers = 1e10;
    if (!(value >= low && value <= high) || (std::abs(value) < kExactIntegers && value == std::trunc(value)))
        return text;
    const double written = valueOf(text);
    if (written > high) return formatNumber(nextTenDigitValue(value, false));
    if (written < low) return formatNumber(nextTenDigitValue(value, true));
    return text;
}

std::string quoted(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('"');
    for (const char c : text) {
        if (c == '"' || c == '\\') out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            out.push_back(c);
            continue;
        }
        char escape[5];
        std::snprintf(escape, sizeof escape, "\\x%02X", byte);
        out.append(escape, 4);
    }
    return out;
}

}  // namespace vk::tool
