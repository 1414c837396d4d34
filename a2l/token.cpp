#include "a2l/token.h"

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>

#include "a2l/char_classes.h"
#include "a2l/truncate.h"

namespace vk::a2l {

std::string unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            c = text[++i];
            if (c == 'r')
                c = '\r';
            else if (c == 't')
                c = '\t';
            else if (c == 'n')
                c = '\n';
        } else if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
            ++i;  // a doubled quote
        }
        out.push_back(c);
    }
    return out;
}

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The digits after "0x": all hexadecimal, at least one, at most 64 significant bits.
bool parseHex(std::string_view digits, bool negative, double& value) {
    if (digits.empty()) return false;
    std::uint64_t acc = 0;
    int significant = 0;
    for (char c : digits) {
        const int v = hexValue(c);
        if (v < 0) return false;
        if (acc == 0 && v == 0) continue;  // leading zeros are free
        if (++significant > 16) return false;
        acc = (acc << 4) | static_cast<std::uint64_t>(v);
    }
    value = static_cast<double>(acc);
    if (negative) value = -value;
    return true;
}

}  // namespace

Token classifyWord(std::string_view text, std::uint32_t line) {
    Token token{TokenKind::Word, text, 0, line};
    if (text.empty()) return token;
    std::size_t digits = 0;
    bool negative = false;
    if (text[0] == '+' || text[0] == '-') {
        if (text.size() == 1) return token;
        negative = text[0] == '-';
        digits = 1;
    }
    const char d = text[digits];
    const bool hasNext = digits + 1 < text.size();
    if (d == '0' && hasNext && (text[digits + 1] == 'x' || text[digits + 1] == 'X') &&
        digits + 2 < text.size()) {
        double value = 0;
        if (parseHex(text.substr(digits + 2), negative, value)) {
            token.kind = TokenKind::Number;
            token.number = value;
        }
        return token;
    }
    if (!isDecimalDigit(d) && !(d == '.' && hasNext && isDecimalDigit(text[digits + 1]))) return token;

    // from_chars takes a "-" itself but no "+"; it rejects overflow and the
    // underflow of non-zero literals with result_out_of_range.
    const char* first = text.data() + (text[0] == '+' ? 1 : 0);
    const char* last = text.data() + text.size();
    double value = 0;
    const auto [end, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec != std::errc()) return token;
    if (end == last) token.kind = TokenKind::Number;
    token.number = value;
    return token;
}

std::uint64_t unsignedValue(const Token& number) {
    std::string_view text = number.text;
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    std::uint64_t value = 0;
    const char* last = text.data() + text.size();
    const auto [end, ec] = std::from_chars(text.data(), last, value, base);
    if (text.empty() || ec != std::errc() || end != last) return truncateToUint64(number.number);
    return negative ? std::uint64_t{0} - value : value;
}

}  // namespace vk::a2l
