// Helpers of the object-model tests: blocks and modules read from string
// literals, whose bytes live for the whole run, as the block views require.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "a2l/block.h"
#include "a2l/module.h"
#include "a2l/object_error.h"

namespace vk::a2l::test {

// The first block of a text literal.
inline Block firstBlock(std::string_view literal) {
    Result<Block> tree = parseTree(literal);
    if (!tree.ok()) {
        ADD_FAILURE() << tree.error().message();
        return Block{};
    }
    if (tree.value().children.empty()) return Block{};
    return std::move(tree.value().children[0]);
}

// The message of the ObjectError that read() throws, or "" when none.
template <typename Read>
std::string objectErrorOf(Read read) {
    try {
        read();
    } catch (const ObjectError& error) {
        return error.message;
    }
    return "";
}

// A module read from a literal whose first block is the MODULE.
struct ModuleRead {
    Module module;
    std::vector<std::string> warnings;
};

inline ModuleRead readModule(std::string_view literal) {
    ModuleRead read;
    read.module = parseModule(firstBlock(literal), read.warnings);
    return read;
}

}  // namespace vk::a2l::test
