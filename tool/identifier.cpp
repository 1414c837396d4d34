#include "tool/identifier.h"

#include <array>

namespace vk::tool {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A table, since the updater asks about every byte of the names it searches.
constexpr std::array<bool, 256> kKept = [] {
    std::array<bool, 256> kept{};
    for (int c = 0; c < 256; ++c)
        kept[c] = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
                  c == '.' || c == '[' || c == ']';
    return kept;
}();

bool keepsByte(char c) {
    return kKept[static_cast<unsigned char>(c)];
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
    return !name.empty() && !isDigit(name.front()) && keepsEveryByte(name);
}

bool keepsEveryByte(std::string_view text) {
    for (const char c : text)
        if (!keepsByte(c)) return false;
    return true;
}

}  // namespace vk::tool
