// The ELF addresses of the names an A2L text uses: each name is looked up first
// among the exact names of the flattened global variables, then among their
// aliases (array indices written with underscores), then among the identifiers
// the generator makes of them, then among the ELF file's object symbols; within
// each, the first one in order wins. A name that leads to several addresses, in
// whichever of these ways, is known as such: no order can say which is meant.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "elf/debug_info.h"
#include "elf/elf_file.h"
#include "elf/flatten.h"

namespace vk::tool {

// The flattening limit of the updater: none. Only the elements that names
// of the text lead to are looked at, so an element however far out is found.
inline constexpr std::uint64_t kUpdateArrayLimit = ~std::uint64_t{0};

struct AddressEntry {
    const vk::elf::Variable* variable = nullptr;  // null for a symbol-table entry
    std::uint64_t address = 0;
    std::uint64_t size = 0;
};

// Holds entries only for the names it was built for, so that it grows with the
// A2L text and not with the size of the ELF file's arrays. The names are viewed,
// not copied: they must outlive the map.
class NameMap {
public:
    NameMap(const vk::elf::DebugInfo& debug, const std::vector<vk::elf::Symbol>& symbols,
            std::vector<std::string_view> names);
    NameMap(const NameMap&) = delete;
    NameMap& operator=(const NameMap&) = delete;

    // Null when the name is neither a variable, an alias, an identifier nor an
    // object symbol.
    const AddressEntry* find(std::string_view name) const;

    // Every distinct address, ascending, that the name leads to when that is more
    // than one: variables of that name, alias or identifier, and object symbols
    // of that name. Empty when the name is not ambiguous.
    std::vector<std::uint64_t> ambiguousAddresses(std::string_view name) const;

    // For a name that only the symbol table knows: the global variable of that
    // name at the symbol's address (an array or a structure, whose leaves carry
    // other names), when the debug information has one.
    const vk::elf::GlobalVariable* symbolVariable(std::string_view name) const;

private:
    // The position of a name that leads somewhere.
    std::optional<std::size_t> keyOf(std::string_view name) const;
    void findSymbolVariables(const vk::elf::DebugInfo& debug, const std::vector<std::size_t>& symbolOnly);

    std::vector<std::string_view> keys_;    // sorted, unique
    std::deque<vk::elf::Variable> leaves_;  // complete before any entry points into it
    std::vector<AddressEntry> entries_;     // per key
    std::vector<bool> found_;               // per key
    // Sorted, unique (key, address) of addresses besides the entry's; few.
    std::vector<std::pair<std::size_t, std::uint64_t>> elsewhere_;
    // Sorted by key: the global variables of symbol-table entries.
    std::vector<std::pair<std::size_t, const vk::elf::GlobalVariable*>> symbolVariables_;
};

}  // namespace vk::tool
