#include "tool/identifier.h"

#include <algorithm>

namespace vk::tool {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool keepsByte(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || isDigit(c) || c == '_' || c == '.' ||
           c == '[' || c == ']';
}

}  // namespace

std::string makeA2lIdentifier(const std::string& name) {
    if (name.empty()) return "_";
    std::string id;
    id.reserve(name.size() + 1);
    if (isDigit(name.front())) id.push_back('_');
    for (const char c : name) id.push_back(keepsByte(c) ? c : '_');
    return id;
}

bool isA2lIdentifier(std::string_view name) {
    return !name.empty() && !isDigit(name.front()) && std::all_of(name.begin(), name.end(), keepsByte);
}

}  // namespace vk::tool
