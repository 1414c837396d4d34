// The values of one command line, as main parsed them, and the choice of
// mode they make. Every mode reads what it needs from here; an option
// counts as given when its value is not empty.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vk::tool {

struct Options {
    std::string elf;              // positional: the ELF file
    std::string variables;        // -v: the variable list (JSON)
    std::string output;           // -o: the A2L file to write; empty for stdout
    bool list = false;            // -l
    std::string pattern;          // positional: list-mode name filter
    std::uint64_t maxArray = 16;  // --max-array: list-mode array limit
    std::string update;           // -u: the A2L file to update
    bool details = false;         // --details: full update report lists

    // The stem of `elf`, the module name when the variable list names none.
    std::string defaultModuleName;
};

enum class Mode { List, Update, Generate };

// Update when -u is given, else list when -l is set or -v is not given,
// else generate.
Mode chooseMode(const Options& options);

// The last path component of `path` without its final extension; "." and
// ".." keep their dots, a leading dot starts no extension, and a path that
// ends in a separator gives an empty stem.
std::string fileStem(std::string_view path);

}  // namespace vk::tool
