// The plain tokens of A2L text: words, quoted strings and numbers. A token's text
// is a view into the source text, so the source must outlive every token made from it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vk::a2l {

enum class TokenKind : std::uint8_t {
    Word = 0,
    String = 1,
    Number = 2,
};

struct Token {
    TokenKind kind = TokenKind::Word;
    // Words and numbers: the whole lexeme, sign and "0x" included. Strings: the
    // bytes between the quotes, escapes and doubled quotes unresolved (see unescape).
    std::string_view text;
    // Numbers: the value. Words: the value of a numeric leading part (12ab gives
    // 12), else 0. Strings: 0.
    double number = 0;
    std::uint32_t line = 0;  // line of the first byte (of the opening quote)

    // True for a word whose text equals the given one byte for byte.
    bool is(std::string_view word) const { return kind == TokenKind::Word && text == word; }
};

// The value of a string token's text: backslash-r, -t and -n give CR, TAB and LF,
// a backslash before any other byte gives that byte, a final backslash stays, and
// two quotes give one.
std::string unescape(std::string_view text);

// Classifies a run of word characters as a number or a word and fills its value.
Token classifyWord(std::string_view text, std::uint32_t line);

// A number token as an unsigned 64-bit integer: all 64 bits exact when it is
// written as a whole number (decimal or "0x", a minus sign wrapping), which
// its double value is not; otherwise that value truncated, 2^64 and more
// giving 0.
std::uint64_t unsignedValue(const Token& number);

}  // namespace vk::a2l
