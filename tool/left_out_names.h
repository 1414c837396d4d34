// Why the debug information holds no scalar for a name that an A2L text
// uses: the name is, or lies under, a value that the expansion leaves out
// (a bit field that no 8 bytes hold, a value below the depth bound, a class
// that is only declared, the members of a virtual base). Asked only for the
// names that the name map did not find; only the paths that lead to such a
// name are expanded.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "elf/debug_info.h"
#include "elf/elf_file.h"

namespace vk::tool {

// Per name, in order: the flattening's warning for the value left out that
// the name (as written, as its bracket alias or as its A2L identifier) is or
// lies under; empty where none is.
std::vector<std::string> leftOutWarnings(const vk::elf::ElfFile& elf, const vk::elf::DebugInfo& debug,
                                         const std::vector<std::string_view>& names);

}  // namespace vk::tool
