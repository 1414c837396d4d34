#include <string>

#include "elf/flatten.h"

namespace vk::elf {

namespace {

// Qualifier and array links followed for one name. Only malformed debug
// information loops through them; such a name ends in "?".
constexpr int maxLinks = 64;

std::string nameOf(const DebugInfo& debug, std::int32_t type, int links) {
    if (type < 0) return "void";
    if (static_cast<std::size_t>(type) >= debug.types.size() || links > maxLinks) return "?";
    const TypeInfo& entry = debug.types[static_cast<std::size_t>(type)];
    switch (entry.kind) {
        case TypeKind::Struct:
            return std::string("struct ").append(entry.name);
        case TypeKind::Union:
            return std::string("union ").append(entry.name);
        case TypeKind::Enum:
            return std::string("enum ").append(entry.name);
        case TypeKind::Pointer:
            return "pointer";
        case TypeKind::Typedef:
            return std::string(entry.name);
        case TypeKind::Qualified:
            return nameOf(debug, entry.target, links + 1);
        case TypeKind::Array: {
            std::string text = nameOf(debug, entry.target, links + 1);
            for (std::uint64_t dim : entry.dims) text += "[" + std::to_string(dim) + "]";
            return text;
        }
        default:
            return entry.name.empty() ? "?" : std::string(entry.name);
    }
}

}  // namespace

std::string typeName(const DebugInfo& debug, std::int32_t type) {
    return nameOf(debug, type, 0);
}

}  // namespace vk::elf
