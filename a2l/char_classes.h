// Byte classes of A2L text, as lookup tables: the lexer consults them for every
// byte, so they must cost no more than one load.
#pragma once

#include <array>
#include <cstdint>

namespace vk::a2l {

namespace detail {

constexpr std::array<bool, 256> makeWordTable() {
    std::array<bool, 256> table{};
    for (int c = 'A'; c <= 'Z'; ++c) table[c] = true;
    for (int c = 'a'; c <= 'z'; ++c) table[c] = true;
    for (int c = '0'; c <= '9'; ++c) table[c] = true;
    for (char c : {'_', '[', ']', '.', '+', '-'}) table[static_cast<unsigned char>(c)] = true;
    return table;
}

constexpr std::array<bool, 256> makeSpaceTable() {
    std::array<bool, 256> table{};
    for (char c : {'\t', '\n', '\v', '\f', '\r', ' '}) table[static_cast<unsigned char>(c)] = true;
    return table;
}

inline constexpr std::array<bool, 256> kWordTable = makeWordTable();
inline constexpr std::array<bool, 256> kSpaceTable = makeSpaceTable();

}  // namespace detail

inline bool isWordChar(char c) {
    return detail::kWordTable[static_cast<unsigned char>(c)];
}
inline bool isSpace(char c) {
    return detail::kSpaceTable[static_cast<unsigned char>(c)];
}
inline bool isDecimalDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace vk::a2l
