// Generate mode's producer: from the debug information and the JSON variable
// list to a complete A2L text. Every failure on the way, whatever raises it,
// becomes one "variable list: " error and nothing of the work is returned.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "elf/debug_info.h"
#include "elf/elf_file.h"
#include "foundation/result.h"

namespace vk::tool {

struct GeneratedA2l {
    std::string text;
    std::uint64_t measurementCount = 0;
    std::uint64_t parameterCount = 0;
    std::vector<std::string> warnings;
};

// Of the ELF file only its byte order is used. defaultModuleName stands in
// when the variable list has no "module".
Result<GeneratedA2l> generate(const vk::elf::ElfFile& elf, const vk::elf::DebugInfo& debug,
                              std::string_view variableList, const std::string& defaultModuleName);

}  // namespace vk::tool
