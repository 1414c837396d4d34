#include "elf/flatten.h"

#include <algorithm>
#include <charconv>

namespace vk::elf {

namespace {

constexpr std::int32_t maxDepth = 16;

// Values one expansion may visit. Real globals stay far below it; debug
// information that claims arrays of arrays or wide structures nested 16
// deep would otherwise make one small file expand without end.
constexpr std::uint64_t valueBudget = std::uint64_t{1} << 24;

// The state of one expansion, shared by every step of it. `name` is the
// name of the value at hand; each step appends its part and takes it off
// again, so only leaves allocate.
struct Walk {
    const DebugInfo& debug;
    std::uint64_t arrayLimit;
    std::vector<Variable>& out;
    std::vector<std::string>* warnings;
    std::string name;
    std::uint64_t budget = valueBudget;
    bool exhausted = false;
};

// The entry at `index`, or null for -1 and for an index past the table,
// which only hand-made debug information can hold.
const TypeInfo* entryAt(const DebugInfo& debug, std::int32_t index) {
    if (index < 0 || static_cast<std::size_t>(index) >= debug.types.size()) return nullptr;
    return &debug.types[static_cast<std::size_t>(index)];
}

std::uint64_t elementCount(const TypeInfo& array) {
    std::uint64_t count = 1;
    for (std::uint64_t dim : array.dims) count *= dim;  // wraps on purpose
    return count;
}

// Appends "[i][j]..." for the element at row-major position `position`.
// When the product of the dimensions wrapped, a dimension can exceed what
// is left of the stride; from there on every index is 0, and nothing
// divides by zero.
void appendIndexText(std::string& text, const std::vector<std::uint64_t>& dims, std::uint64_t count,
                     std::uint64_t position) {
    std::uint64_t stride = count;
    std::uint64_t remainder = position;
    for (std::uint64_t dim : dims) {
        std::uint64_t index = 0;
        if (dim > stride) {
            stride = 0;
            remainder = 0;
        } else {
            stride /= dim;
            index = remainder / stride;
            remainder %= stride;
        }
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, index).ptr;
        text += '[';
        text.append(digits, end);
        text += ']';
    }
}

std::uint64_t bitFieldMask(const Member& member) {
    const std::uint64_t width =
        member.bitSize < 64 ? (std::uint64_t{1} << member.bitSize) - 1 : ~std::uint64_t{0};
    return width << (member.bitShift % 64);
}

void step(Walk& walk, std::uint64_t address, std::int32_t type, std::int32_t depth);

void stepArray(Walk& walk, std::uint64_t address, const TypeInfo& array, std::int32_t depth) {
    const std::uint64_t count = elementCount(array);
    const std::uint64_t stride = byteSize(walk.debug.types, array.target);
    if (walk.arrayLimit < count && walk.warnings != nullptr) {
        walk.warnings->push_back(walk.name + ": only the first " + std::to_string(walk.arrayLimit) + " of " +
                                 std::to_string(count) + " array elements");
    }
    const std::uint64_t taken = std::min(walk.arrayLimit, count);
    const std::size_t mark = walk.name.size();
    for (std::uint64_t i = 0; i < taken && !walk.exhausted; ++i) {
        appendIndexText(walk.name, array.dims, count, i);
        step(walk, address + i * stride, array.target, depth + 1);
        walk.name.resize(mark);
    }
}

Variable bitFieldLeaf(const DebugInfo& debug, const std::string& name, std::uint64_t address,
                      const Member& member) {
    const bool typed = entryAt(debug, member.type) != nullptr;
    Variable leaf;
    leaf.name = name;
    leaf.address = address;
    leaf.type = typed ? resolveAlias(debug.types, member.type) : -1;
    leaf.size = byteSize(debug.types, leaf.type);
    leaf.bitMask = bitFieldMask(member);
    leaf.isBitField = true;
    if (typed) leaf.typedefNames = typedefNames(debug.types, member.type);
    return leaf;
}

void stepMembers(Walk& walk, std::uint64_t address, const TypeInfo& aggregate, std::int32_t depth) {
    const std::size_t mark = walk.name.size();
    for (const Member& member : aggregate.members) {
        if (walk.exhausted) return;
        // Unnamed members and base classes put their own members directly
        // under the enclosing name.
        if (!member.name.empty()) {
            walk.name += '.';
            walk.name += member.name;
        }
        const std::uint64_t memberAddress = address + member.offset;
        if (member.bitSize == 0) {
            step(walk, memberAddress, member.type, depth + 1);
        } else if (walk.budget == 0) {
            walk.exhausted = true;
        } else {
            --walk.budget;
            walk.out.push_back(bitFieldLeaf(walk.debug, walk.name, memberAddress, member));
        }
        walk.name.resize(mark);
    }
}

void step(Walk& walk, std::uint64_t address, std::int32_t type, std::int32_t depth) {
    if (walk.budget == 0) {
        walk.exhausted = true;
        return;
    }
    --walk.budget;
    const DebugInfo& debug = walk.debug;
    if (depth > maxDepth || entryAt(debug, type) == nullptr) return;
    const std::int32_t resolved = resolveAlias(debug.types, type);
    const TypeInfo* entry = entryAt(debug, resolved);
    if (entry == nullptr) return;
    switch (entry->kind) {
        case TypeKind::Base:
        case TypeKind::Enum:
        case TypeKind::Pointer:
            walk.out.push_back(Variable{walk.name, address, resolved, byteSize(debug.types, resolved), 0,
                                        false, typedefNames(debug.types, type)});
            return;
        case TypeKind::Array:
            stepArray(walk, address, *entry, depth);
            return;
        case TypeKind::Struct:
        case TypeKind::Union:
            stepMembers(walk, address, *entry, depth);
            return;
        default:
            // Other, Unspecified, Function, and a Typedef or Qualified entry
            // still met after the longest chain resolveAlias follows.
            return;
    }
}

}  // namespace

void flattenInto(const DebugInfo& debug, const std::string& name, std::uint64_t address, std::int32_t type,
                 std::uint64_t arrayLimit, std::vector<Variable>& out, std::vector<std::string>* warnings,
                 std::int32_t depth) {
    Walk walk{debug, arrayLimit, out, warnings, name};
    step(walk, address, type, depth);
    if (walk.exhausted && warnings != nullptr) {
        warnings->push_back(name + ": expansion stopped after " + std::to_string(valueBudget) + " values");
    }
}

std::vector<Variable> flattenVariable(const DebugInfo& debug, const GlobalVariable& global,
                                      std::uint64_t arrayLimit, std::vector<std::string>* warnings) {
    std::vector<Variable> out;
    flattenInto(debug, global.name, global.address, global.typeIndex, arrayLimit, out, warnings, 0);
    return out;
}

}  // namespace vk::elf
