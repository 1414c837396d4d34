#include "tool/a2l_format.h"

#include <charconv>
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
