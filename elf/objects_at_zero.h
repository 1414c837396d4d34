// Which variable names the symbol table holds as data objects where a
// location whose address operand is 0 puts them. A discarded variable's
// operand reads 0 whichever linker wrote it, plus its offset in a merged
// block, while in an image that itself starts at 0 (flash at 0 on many
// microcontrollers) those addresses are allocated too; a variable there is
// taken only when a symbol at its address names it. Internal to the DWARF
// reader.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "elf/elf_file.h"

namespace vk::elf {

struct NamedPlace {
    std::string_view name;
    std::uint64_t address = 0;

    bool operator==(const NamedPlace& other) const { return address == other.address && name == other.name; }
};

// A hash of the name, however made, combined with the address.
inline std::size_t placeHash(std::uint64_t nameHash, std::uint64_t address) {
    return static_cast<std::size_t>(nameHash ^ (address * 0x9e3779b97f4a7c15ull));
}

struct NamedPlaceHash {
    std::size_t operator()(const NamedPlace& p) const noexcept {
        return placeHash(std::hash<std::string_view>{}(p.name), p.address);
    }
};

class ObjectsAtZero {
public:
    // Searches the symbols once for all `places`: by equal name at the
    // address, and for a mangled C++ symbol by the name's length and text
    // inside it ("_ZN6engine5g_rpmE" holds g_rpm). The work is linear in the
    // symbols' and the names' bytes, however many of each there are.
    ObjectsAtZero(const ElfFile& file, const std::vector<NamedPlace>& places);

    // Whether one of the places searched is held; any other is not.
    bool holds(std::string_view name, std::uint64_t address) const {
        return found_.count(NamedPlace{name, address}) != 0;
    }

private:
    struct Object {
        std::string name;
        std::uint64_t address;
    };
    void searchMangled(const std::vector<Object>& symbols, const std::vector<NamedPlace>& places);

    std::unordered_set<NamedPlace, NamedPlaceHash> found_;  // views of the names searched
};

}  // namespace vk::elf
