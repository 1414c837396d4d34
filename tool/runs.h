// The three modes of one run. main parses the command line, loads the ELF
// file and its debug information, and hands them to exactly one of these;
// each prints its own output and messages and returns the exit status.
#pragma once

#include "elf/debug_info.h"
#include "elf/elf_file.h"
#include "tool/options.h"

namespace vk::tool {

int runList(const Options& options, const vk::elf::ElfFile& elf, const vk::elf::DebugInfo& debug);
int runGenerate(const Options& options, const vk::elf::ElfFile& elf, const vk::elf::DebugInfo& debug);
int runUpdate(const Options& options, const vk::elf::ElfFile& elf, const vk::elf::DebugInfo& debug);

}  // namespace vk::tool
