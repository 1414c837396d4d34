// The fixed firmware that the generate and update fuzzers run over: one ELF
// fixture with its debug information, loaded once per process. A fixture that
// does not load is a broken build, so the fuzzer stops at once.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "elf/debug_info.h"
#include "elf/elf_file.h"

namespace vk::fuzz {

struct Firmware {
    vk::elf::ElfFile elf;
    vk::elf::DebugInfo debug;
};

// The file named by VK_FUZZ_ELF when set, else `stem`-armv7m.elf of the
// fixture directory.
inline const Firmware& firmware(const char* stem) {
    static const Firmware loaded = [stem] {
        const char* chosen = std::getenv("VK_FUZZ_ELF");
        const std::string path = chosen != nullptr ? std::string(chosen)
                                                   : std::string(VK_FIXTURE_DIR) + "/" + stem + "-armv7m.elf";
        auto elf = vk::elf::loadElf(path);
        if (!elf.ok()) {
            std::fprintf(stderr, "fuzz: cannot load %s: %s\n", path.c_str(), elf.error().message().c_str());
            std::abort();
        }
        auto debug = vk::elf::loadDwarf(elf.value());
        if (!debug.ok()) {
            std::fprintf(stderr, "fuzz: no debug information in %s: %s\n", path.c_str(),
                         debug.error().message().c_str());
            std::abort();
        }
        return Firmware{std::move(elf.value()), std::move(debug.value())};
    }();
    return loaded;
}

}  // namespace vk::fuzz
