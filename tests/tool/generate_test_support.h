// Shared by the generate-mode tests: loading a fixture ELF with its debug
// information, and running the generator for its text or its error.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "elf/debug_info.h"
#include "elf/elf_file.h"
#include "tool/generate.h"

namespace vk::tool::testing {

struct Firmware {
    vk::elf::ElfFile elf;
    vk::elf::DebugInfo debug;
};

inline std::string fixturePath(const std::string& stem, const std::string& variant) {
    return std::string(VK_FIXTURE_DIR) + "/" + stem + "-" + variant + ".elf";
}

inline Firmware loadFirmware(const std::string& stem, const std::string& variant) {
    Firmware firmware;
    auto elf = vk::elf::loadElf(fixturePath(stem, variant));
    if (!elf.ok()) {
        ADD_FAILURE() << elf.error().message();
        return firmware;
    }
    firmware.elf = std::move(elf.value());
    auto debug = vk::elf::loadDwarf(firmware.elf);
    if (!debug.ok()) {
        ADD_FAILURE() << debug.error().message();
        return firmware;
    }
    firmware.debug = std::move(debug.value());
    return firmware;
}

inline GeneratedA2l generateOk(const Firmware& firmware, std::string_view json,
                               const std::string& module = "fw") {
    auto result = generate(firmware.elf, firmware.debug, json, module);
    if (!result.ok()) {
        ADD_FAILURE() << "generation failed: " << result.error().message();
        return {};
    }
    return std::move(result.value());
}

inline std::string generateError(const Firmware& firmware, std::string_view json) {
    auto result = generate(firmware.elf, firmware.debug, json, "fw");
    if (result.ok()) return "(generated)";
    EXPECT_EQ(result.error().code, ErrorCode::InvalidArgument);
    EXPECT_EQ(result.error().systemError, 0);
    return result.error().message();
}

// The lines of text from the first line equal to `first` up to and
// including the next line equal to `last`; empty when `first` is missing.
inline std::string section(const std::string& text, const std::string& first, const std::string& last) {
    const std::size_t begin = text.find("\n" + first + "\n");
    if (begin == std::string::npos) return {};
    const std::size_t end = text.find("\n" + last + "\n", begin + first.size() + 1);
    if (end == std::string::npos) return {};
    return text.substr(begin + 1, end + last.size() + 1 - begin);
}

}  // namespace vk::tool::testing
