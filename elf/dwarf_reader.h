// The reading context of one loadDwarf call: views of the six debug sections,
// the units, one flat table of all DIEs linked by index, and the type table
// and globals under construction. Internal to the DWARF reader.
//
// The DIE table is built for files with millions of DIEs: a DIE is 16 bytes
// with no heap allocation of its own, children are the index range up to
// subtreeEnd, parents are known only while the DIEs are read (their one use,
// the scope of a variable, is kept as a flag), and only the attributes that
// the type and variable rules read are kept (the first of each code), 8 bytes
// each.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "elf/debug_info.h"
#include "elf/dwarf_abbrev.h"
#include "elf/dwarf_forms.h"
#include "elf/dwarf_table.h"
#include "elf/elf_file.h"

namespace vk::elf {

inline constexpr std::uint32_t kNoDie = 0xffffffffu;

// DW_AT codes that later stages read.
namespace at {
inline constexpr std::uint8_t location = 0x02, name = 0x03, byteSize = 0x0b, bitOffset = 0x0c, bitSize = 0x0d,
                              constValue = 0x1c, lowerBound = 0x22, upperBound = 0x2f, abstractOrigin = 0x31,
                              count = 0x37, dataMemberLocation = 0x38, declaration = 0x3c, encoding = 0x3e,
                              external = 0x3f, specification = 0x47, type = 0x49, dataBitOffset = 0x6b,
                              strOffsetsBase = 0x72, addrBase = 0x73;
}

// A kept attribute, packed into 8 bytes. Values that do not fit 32 bits
// (sign-extended ones aside) live in DwarfReader::wide; blocks and inline
// strings are offsets into .debug_info.
struct Attribute {
    std::uint32_t low = 0;
    std::uint32_t meta = 0;  // class 4 bits, code 7, wide 1, sign-extended 1, block size 19

    static constexpr std::uint32_t kMaxBlock = (1u << 19) - 1;
    AttrClass attrClass() const { return static_cast<AttrClass>(meta & 0xf); }
    std::uint8_t code() const { return static_cast<std::uint8_t>((meta >> 4) & 0x7f); }
    bool wide() const { return (meta >> 11) & 1; }
    bool signExtended() const { return (meta >> 12) & 1; }
    std::uint32_t blockSize() const { return meta >> 13; }
};

// An attribute as the type and variable rules read it; converts to false
// when the DIE has no attribute of the code asked for.
struct Attr {
    AttrClass attrClass = AttrClass::None;
    std::uint64_t value = 0;  // for Block and String the offset in .debug_info
    std::uint32_t size = 0;   // bytes of a Block (longer blocks are cut; no rule reads that far)

    explicit operator bool() const { return attrClass != AttrClass::None; }
    bool isConstant() const { return attrClass == AttrClass::Unsigned || attrClass == AttrClass::Signed; }
    // The value as the attribute rules see it: 0 for blocks and strings.
    std::uint64_t number() const {
        return attrClass == AttrClass::Block || attrClass == AttrClass::String ? 0 : value;
    }
};

struct Die {
    std::uint32_t unitOffset = 0;  // from the unit's first header byte; ascending within a unit
    std::uint32_t attrBegin = 0;
    std::uint32_t subtreeEnd = 0;  // one past the last descendant
    std::uint16_t tag = 0;         // codes above 0xffff are stored as 0xffff
    std::uint8_t flags = 0;
    std::uint8_t attrCount = 0;
};

inline constexpr std::uint8_t kInGlobalScope = 1;  // every ancestor is a unit, namespace or class

class DwarfReader {
public:
    explicit DwarfReader(const ElfFile& file);

    bool hasDebugInfo() const { return !info.empty() && !abbrev.empty(); }

    void parseUnits();
    void collectGlobals();
    // Type index built for a DIE (kNoDie gives -1); each DIE is built once.
    std::int32_t buildType(std::uint32_t die);
    std::string dieName(std::uint32_t die) const;
    // The DIE that the first attribute `code` refers to, or kNoDie.
    std::uint32_t attrRef(std::uint32_t die, std::uint8_t code) const;

    Attr attr(std::uint32_t die, std::uint8_t code) const;
    // The DIE that starts at an offset in .debug_info, or kNoDie: a binary
    // search over the unit starts, then over the unit's ascending DIE offsets.
    std::uint32_t findDie(std::uint64_t offset) const;
    const Unit& unitOf(std::uint32_t die) const;
    std::string_view directName(std::uint32_t die) const;
    std::string_view stringAt(ByteView section, std::uint64_t offset) const;
    // Offset in .debug_str of string-offsets entry `index`; false when it does not fit.
    bool strOffset(const Unit& unit, std::uint64_t index, std::uint64_t& offset) const;

    DebugInfo takeResult();

    const ElfFile& elf;
    ByteView info, abbrev, str, lineStr, strOffsets, addr;
    std::vector<Unit> units;
    std::vector<std::uint32_t> unitFirstDie;  // parallel to units
    std::vector<std::uint64_t> unitStart;     // offset of each unit's header in .debug_info
    ChunkedVector<Die> dies;
    ChunkedVector<Attribute> attrs;
    ChunkedVector<std::uint64_t> wide;
    std::unordered_map<std::uint32_t, std::int32_t> typeByDie;
    DebugInfo result;

private:
    void readUnit(Cursor& c);
    void readDies(Cursor& c, std::uint64_t unitEnd, std::uint64_t unitOffset);
    void loadAbbrevTable(std::uint64_t offset, const Unit& unit);
    std::string_view attrString(const Unit& unit, const Attr& a) const;
    void keep(const AttrValue& v, std::uint8_t code);
    bool locationAddress(std::uint32_t die, std::uint64_t& address) const;

    AbbrevTable abbrevTable_;
    std::uint64_t abbrevKey_[3] = {~0ull, 0, 0};  // offset, address size, version of abbrevTable_
    std::vector<std::uint32_t> open_;             // DIE walk: open parents
};

}  // namespace vk::elf
