// List mode: every scalar leaf of every global variable, one line each on
// standard output, optionally filtered by a name pattern, then a summary on
// standard error. runList (tool/runs.h) runs it; these give its texts.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "elf/elf_file.h"
#include "elf/flatten.h"

namespace vk::tool {

// "0x%08llX  %-3llu %-24s %s%s\n": address, size, type name, name and
// " (bit field)" for a bit-field leaf.
std::string listLine(const vk::elf::Variable& leaf, const std::string& typeName);
// The same line appended to `out`, without a formatting call of its own.
void appendListLine(std::string& out, const vk::elf::Variable& leaf, std::string_view typeName);

// "%zu scalar(s) in %zu variable(s), %s, %s endian\n".
std::string listSummary(std::size_t scalars, std::size_t variables, const vk::elf::ElfFile& elf);

}  // namespace vk::tool
