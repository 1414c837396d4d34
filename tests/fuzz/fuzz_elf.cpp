// ELF bytes through the loader, the DWARF reader and the flattening of
// every global, as list mode runs them.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "elf/debug_info.h"
#include "elf/elf_file.h"
#include "elf/flatten.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto elf = vk::elf::parseElf(std::vector<std::uint8_t>(data, data + size), "fuzz.elf");
    if (!elf.ok()) return 0;
    (void)vk::elf::readSymbols(elf.value());
    auto debug = vk::elf::loadDwarf(elf.value());
    if (!debug.ok()) return 0;
    std::vector<std::string> warnings;
    for (const auto& global : debug.value().globals) {
        for (const auto& v : vk::elf::flattenVariable(debug.value(), global, 16, &warnings))
            (void)vk::elf::typeName(debug.value(), v.type);
    }
    return 0;
}
