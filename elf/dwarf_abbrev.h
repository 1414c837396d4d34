// A unit's abbreviation table from .debug_abbrev: for each abbreviation code
// the DIE's tag, whether it has children, and its attribute entries.
// Attribute entries sit in one flat vector; the codes are indexed by a dense
// array when they are about as many as the declarations, else by a sorted list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "elf/dwarf_cursor.h"

namespace vk::elf {

struct AttrSpec {
    std::uint64_t attr = 0;
    std::uint64_t form = 0;
    std::int64_t implicitConst = 0;  // DW_FORM_implicit_const only
};

// The parameters of the units a table is read for: the forms' sizes and
// which attribute entries occupy no bytes depend on them.
struct AbbrevUnitShape {
    std::uint8_t addressSize = 0;
    std::uint16_t version = 0;
    std::uint8_t offsetSize = 4;
};

struct Abbrev {
    static constexpr std::uint32_t kVariableSize = 0xffffffffu;

    std::uint64_t tag = 0;
    bool hasChildren = false;
    bool declaration = false;                 // has a DW_AT_declaration entry, so the walk can mark its DIEs
    std::uint32_t fixedSize = kVariableSize;  // bytes of all values, when no form varies in size
    std::size_t specBegin = 0;                // into AbbrevTable::specs
    std::size_t specCount = 0;
};

class AbbrevTable {
public:
    // Reads the table at `offset`; a later declaration of a code replaces an
    // earlier one. Returns the bytes read. Throws ParseError "DWARF data truncated".
    //
    // Attribute entries that occupy no bytes in .debug_info (flag_present,
    // implicit_const, addresses of size 0) are dropped unless `kept` wants
    // their attribute and no earlier one of the same code in the declaration
    // has already given it; so the DIE walk's work stays bounded by the bytes
    // it reads, however many such entries a declaration lists.
    std::uint64_t read(const std::uint8_t* data, std::uint64_t size, bool littleEndian, std::uint64_t offset,
                       const AbbrevUnitShape& shape, bool (*kept)(std::uint64_t attr));

    const Abbrev* find(std::uint64_t code) const;
    std::span<const AttrSpec> specsOf(const Abbrev& a) const {
        return {specs_.data() + a.specBegin, a.specCount};
    }

private:
    static constexpr std::uint32_t kAbsent = 0xffffffffu;

    void index(const std::vector<std::uint64_t>& codes);

    std::vector<AttrSpec> specs_;
    std::vector<Abbrev> abbrevs_;
    std::vector<std::uint32_t> dense_;                             // code -> index into abbrevs_
    std::vector<std::pair<std::uint64_t, std::uint32_t>> sorted_;  // by code, when not dense
};

}  // namespace vk::elf
