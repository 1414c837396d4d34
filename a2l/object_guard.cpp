#include "a2l/object_guard.h"

namespace vk::a2l {

std::string skipWarning(const Block& block, std::string_view message) {
    std::string line = "line " + std::to_string(block.line) + ": ";
    line += block.name;
    line += ' ';
    if (!block.tokens.empty()) line += block.tokens.front().text;
    line += " skipped: ";
    line += message;
    return line;
}

}  // namespace vk::a2l
