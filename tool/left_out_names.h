// Why the debug information holds no scalar for a name that an A2L text
// uses: the name is, or lies under, a value that the expansion leaves out
// (a bit field that no 8 bytes hold, a value below the depth bound, a class
// that is only declared, the members of a virtual base). Asked only for the
// names that no scalar answers; only the paths that lead to such a name are
// expanded.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "elf/debug_info.h"
#include "elf/elf_file.h"
#include "elf/flatten.h"

namespace vk::tool {

class GlobalsByName;

class LeftOutNames {
public:
    LeftOutNames(const vk::elf::ElfFile& elf, const vk::elf::DebugInfo& debug);
    ~LeftOutNames();
    LeftOutNames(const LeftOutNames&) = delete;
    LeftOutNames& operator=(const LeftOutNames&) = delete;

    // The flattening's warning for the value left out that the name (as
    // written, as its bracket alias or as its A2L identifier) is or lies
    // under; empty where none is. The first call indexes the globals.
    std::string warningFor(std::string_view name);

private:
    const vk::elf::DebugInfo& debug_;
    vk::elf::ExpansionBudget budget_;
    std::unique_ptr<GlobalsByName> globals_;
};

}  // namespace vk::tool
