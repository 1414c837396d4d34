// Which variable names the symbol table holds as data objects at address 0.
// A discarded variable's location reads 0 whichever linker wrote it, while in
// an image that itself starts at 0 (flash at 0 on many microcontrollers) the
// address is allocated too; a variable there is taken only when such a symbol
// names it. Internal to the DWARF reader.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "elf/elf_file.h"

namespace vk::elf {

class ObjectsAtZero {
public:
    // Searches the symbols once for all `names`: by equal name, and for a
    // mangled C++ symbol by the name's length and text inside it
    // ("_ZN6engine5g_rpmE" holds g_rpm). The work is linear in the symbols'
    // and the names' bytes, however many of each there are.
    ObjectsAtZero(const ElfFile& file, const std::vector<std::string_view>& names);

    // Whether one of the names searched is held; any other name is not.
    bool holds(std::string_view name) const { return found_.count(name) != 0; }

private:
    void searchMangled(const std::vector<std::string>& symbols, const std::vector<std::string_view>& names);

    std::unordered_set<std::string_view> found_;  // views of the names searched
};

}  // namespace vk::elf
