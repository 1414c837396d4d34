#include "tool/pattern.h"

#include <cstddef>

namespace vk::tool {

bool matchPattern(std::string_view pattern, std::string_view name) {
    constexpr std::size_t noStar = std::string_view::npos;
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
            return false;
        } else {
            // Let the last wildcard star swallow one byte more.
            j = ++mark;
            i = star + 1;
        }
    }
    while (i < pattern.size() && pattern[i] == '*') ++i;
    return i == pattern.size();
}

}  // namespace vk::tool
