// Decoding of one DWARF attribute value by its form. The unit's version,
// address size and offset size travel with every decode; values stay views
// into the section (blocks, inline strings) until a later stage copies them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "elf/dwarf_cursor.h"

namespace vk::elf {

struct Unit {
    std::uint16_t version = 0;
    std::uint8_t addressSize = 0;
    bool dwarf64 = false;
    std::uint64_t strOffsetsBase = 0;
    std::uint64_t addrBase = 0;
    std::string_view name;  // kept in the result's names

    std::uint64_t offsetSize() const { return dwarf64 ? 8 : 4; }
};

enum class AttrClass : std::uint8_t {
    None = 0,  // read only to step over it
    Unsigned = 1,
    Signed = 2,
    String = 3,  // inline string: block and blockSize hold its bytes
    Strp = 4,
    LineStrp = 5,
    Strx = 6,
    Reference = 7,  // offset from the start of .debug_info
    Block = 8,
    Address = 9,
    Addrx = 10,
    Flag = 11,
};

struct AttrValue {
    AttrClass attrClass = AttrClass::None;
    std::uint64_t value = 0;
    const std::uint8_t* block = nullptr;
    std::uint64_t blockSize = 0;

    std::int64_t signedValue() const {
        const bool numeric = attrClass == AttrClass::Unsigned || attrClass == AttrClass::Signed;
        return numeric ? static_cast<std::int64_t>(value) : 0;
    }
    std::string_view text() const {
        if (attrClass != AttrClass::String) return {};
        return std::string_view(reinterpret_cast<const char*>(block), static_cast<std::size_t>(blockSize));
    }
};

// Decodes one value of `form` at the cursor. unitOffset is the offset of the
// unit's first header byte, the base of unit-relative references.
AttrValue readAttributeValue(Cursor& cursor, std::uint64_t form, const Unit& unit, std::uint64_t unitOffset,
                             std::int64_t implicitConst);

}  // namespace vk::elf
