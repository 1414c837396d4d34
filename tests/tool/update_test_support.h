// Shared by the updater's tests: the fixture images built twice with a changed
// layout, loaded with their debug information, and the flattened leaves of an
// image by name as the reference every address is checked against.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "elf/debug_info.h"
#include "elf/elf_file.h"
#include "elf/flatten.h"
#include "readelf_output.h"

namespace vk::tool::testing {

// The variants of the fixture matrix that a stem was built in, sorted. Variants
// linked with --gc-sections ("-gc") lose the variables nothing refers to.
inline std::vector<std::string> fixtureVariants(const std::string& stem, bool withGarbageCollected = true) {
    std::vector<std::string> variants;
    const std::string prefix = stem + "-";
    for (const auto& entry : std::filesystem::directory_iterator(VK_FIXTURE_DIR)) {
        const std::string file = entry.path().filename().string();
        if (!file.starts_with(prefix) || !file.ends_with(".elf")) continue;
        std::string variant = file.substr(prefix.size(), file.size() - prefix.size() - 4);
        if (withGarbageCollected || !variant.ends_with("-gc")) variants.push_back(std::move(variant));
    }
    std::sort(variants.begin(), variants.end());
    if (variants.empty()) ADD_FAILURE() << "no fixtures " << stem << "-*.elf in " << VK_FIXTURE_DIR;
    return variants;
}

inline std::string fixturePath(const std::string& stem, const std::string& variant) {
    return std::string(VK_FIXTURE_DIR) + "/" + stem + "-" + variant + ".elf";
}

// The byte order as readelf reads the ELF header.
inline bool littleEndianByReadelf(const std::string& path) {
    const std::string text = vk::testing_support::readelfOutput("-h", path);
    if (text.find("big endian") == std::string::npos && text.find("little endian") == std::string::npos)
        ADD_FAILURE() << "readelf gives no byte order for " << path;
    return text.find("little endian") != std::string::npos;
}

// Calls visit(file name, ELF file, debug information) for every fixture that
// loads, in the fixture folder or, when `nested`, also in its subfolders but
// for the generated firmware, whose tens of thousands of variables are the
// benchmark's; returns how many there were.
template <typename Visit>
std::size_t forEachLoadableFixture(bool nested, Visit visit) {
    std::vector<std::filesystem::path> files;
    if (nested) {
        for (auto it = std::filesystem::recursive_directory_iterator(VK_FIXTURE_DIR);
             it != std::filesystem::recursive_directory_iterator(); ++it) {
            if (it->is_directory() && it->path().filename() == "generated") it.disable_recursion_pending();
            files.push_back(it->path());
        }
    } else {
        for (const auto& entry : std::filesystem::directory_iterator(VK_FIXTURE_DIR))
            files.push_back(entry.path());
    }
    std::size_t loaded = 0;
    for (const auto& path : files) {
        if (path.extension() != ".elf") continue;
        auto elf = vk::elf::loadElf(path);
        if (!elf.ok()) continue;
        auto debug = vk::elf::loadDwarf(elf.value());
        if (!debug.ok()) continue;
        visit(path.filename().string(), elf.value(), debug.value());
        ++loaded;
    }
    return loaded;
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
