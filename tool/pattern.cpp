#include "tool/pattern.h"

#include <cstddef>

namespace vk::tool {

namespace {

constexpr std::size_t noStar = std::string_view::npos;

// Consumes the whole name with the pattern: where the pattern stands after
// the name's last byte, or noStar when it cannot take every byte.
std::size_t consume(std::string_view pattern, std::string_view name) {
    std::size_t i = 0;
    std::size_t j = 0;
    std::size_t star = noStar;
    std::size_t mark = 0;
    while (j < name.size()) {
        if (i < pattern.size() && (pattern[i] == '?' || pattern[i] == name[j])) {
            ++i;
            ++j;
        } else if (i < pattern.size() && pattern[i] == '*') {
            star = i;
            mark = j;
            ++i;
        } else if (star == noStar) {
            return noStar;
        } else {
            // Let the last wildcard star swallow one byte more.
            j = ++mark;
            i = star + 1;
        }
    }
    return i;
}

}  // namespace

bool matchPattern(std::string_view pattern, std::string_view name) {
    std::size_t i = consume(pattern, name);
    if (i == noStar) return false;
    while (i < pattern.size() && pattern[i] == '*') ++i;
    return i == pattern.size();
}

bool prefixCanMatch(std::string_view pattern, std::string_view prefix) {
    return prefix.find('*') != std::string_view::npos || consume(pattern, prefix) != noStar;
}

}  // namespace vk::tool
