// Shared by the updater's tests: the fixture images built twice with a changed
// layout, loaded with their debug information, and the flattened leaves of an
// image by name as the reference every address is checked against.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "elf/debug_info.h"
#include "elf/elf_file.h"
#include "elf/flatten.h"

namespace vk::tool::testing {

inline const char* const kVariants[] = {
    "x86_64",     "i386",       "armv7m",     "aarch64",    "riscv32",        "ppc",           "ppc64",
    "arm-dwarf2", "arm-dwarf3", "arm-dwarf5", "ppc-dwarf5", "x86_64-dwarf64", "ppc64-dwarf64",
};

inline std::string fixturePath(const std::string& stem, const std::string& variant) {
    return std::string(VK_FIXTURE_DIR) + "/" + stem + "-" + variant + ".elf";
}

struct Image {
    vk::elf::ElfFile elf;
    vk::elf::DebugInfo debug;
    std::map<std::string, vk::elf::Variable> leaves;  // first leaf of each name

    const vk::elf::Variable& leaf(const std::string& name) const {
        auto it = leaves.find(name);
        if (it == leaves.end()) ADD_FAILURE() << "no leaf " << name;
        static const vk::elf::Variable none;
        return it == leaves.end() ? none : it->second;
    }
};

inline Image loadImage(const std::string& stem, const std::string& variant) {
    Image image;
    auto elf = vk::elf::loadElf(fixturePath(stem, variant));
    if (!elf.ok()) {
        ADD_FAILURE() << elf.error().message();
        return image;
    }
    image.elf = std::move(elf.value());
    auto debug = vk::elf::loadDwarf(image.elf);
    if (!debug.ok()) {
        ADD_FAILURE() << debug.error().message();
        return image;
    }
    image.debug = std::move(debug.value());
    for (const auto& global : image.debug.globals)
        for (auto& leaf : vk::elf::flattenVariable(image.debug, global, 1048576, nullptr))
            image.leaves.emplace(leaf.name, leaf);
    return image;
}

}  // namespace vk::tool::testing
