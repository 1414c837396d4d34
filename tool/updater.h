// The in-place A2L updater: brings the ECU addresses and MEASUREMENT data types of
// an existing A2L text in line with a newly built ELF file by replacing exactly
// those tokens, keeps every other byte, and reports what changed, what was not
// found and what a human should check.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "elf/debug_info.h"
#include "elf/elf_file.h"
#include "foundation/result.h"

namespace vk::tool {

// objects == addressesChanged + unchanged + notInElf.size(); a data-type change
// adds a line to changed but counts in none of the three.
struct UpdateReport {
    std::string text;
    std::uint64_t objects = 0;
    std::uint64_t addressesChanged = 0;
    std::uint64_t unchanged = 0;
    std::vector<std::string> changed;   // one line per rewritten token, in text order
    std::vector<std::string> notInElf;  // object names, in text order
    std::vector<std::string> warnings;  // the debug information's, then disagreements in text order
};

struct TextEdit {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    std::string text;
};

// Fails only when the text does not lex or its blocks do not nest.
Result<UpdateReport> update(const vk::elf::ElfFile& elf, const vk::elf::DebugInfo& debug,
                            std::string_view text);

// Descending offset, so that applying them in order never moves a byte that a
// later edit refers to.
void sortEdits(std::vector<TextEdit>& edits);

// The text with each edit, taken in the order of sortEdits, replacing its bytes.
std::string applyEdits(std::string_view text, const std::vector<TextEdit>& sortedEdits);

}  // namespace vk::tool
