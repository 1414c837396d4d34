// The reading context of one loadDwarf call: views of the six debug sections,
// the units, one flat table of all DIEs linked by index, and the type table
// and globals under construction. Internal to the DWARF reader.
//
// The DIE table is built for files with millions of DIEs: a DIE is 16 bytes
// with no heap allocation of its own, children are the index range up to
// subtreeEnd, parents are known only while the DIEs are read (their one use,
// the scope of a variable, is kept as a flag), and the type index built for
// a DIE sits in the DIE itself. Attribute values are not stored (they would
// cost more than the DIE table): the DIEs that the type and variable rules
// look at are decoded again from the file's bytes when asked for, with the
// abbreviation table their unit was read with, so they give exactly the
// values of the walk.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "elf/debug_info.h"
#include "elf/dwarf_abbrev.h"
#include "elf/dwarf_definitions.h"
#include "elf/dwarf_forms.h"
#include "elf/dwarf_table.h"
#include "elf/elf_file.h"
#include "elf/kept_names.h"
#include "elf/objects_at_zero.h"

namespace vk::elf {

inline constexpr std::uint32_t kNoDie = 0xffffffffu;

// Bounds a chain of DIEs linked by declaration or abstract-origin references
// that a name, a type or an external flag is looked up through; a chain that
// loops back ends there.
inline constexpr int kMaxNameLinks = 64;

// DW_AT codes that later stages read.
namespace at {
inline constexpr std::uint8_t location = 0x02, name = 0x03, byteSize = 0x0b, bitOffset = 0x0c, bitSize = 0x0d,
                              constValue = 0x1c, lowerBound = 0x22, upperBound = 0x2f, abstractOrigin = 0x31,
                              count = 0x37, dataMemberLocation = 0x38, declaration = 0x3c, encoding = 0x3e,
                              external = 0x3f, declarationRef = 0x47, type = 0x49, dataBitOffset = 0x6b,
                              strOffsetsBase = 0x72, addrBase = 0x73, artificial = 0x34;
}

// Slot of each DW_AT code that later stages read, kNotKept for the others.
inline constexpr std::uint8_t kNotKept = 0xff;
inline constexpr std::size_t kKeptCodes = 20;
constexpr std::array<std::uint8_t, 128> makeKeptSlots() {
    std::array<std::uint8_t, 128> slots{};
    for (auto& s : slots) s = kNotKept;
    // clang-format off
    const std::uint8_t codes[kKeptCodes] = {at::location,
                                            at::name,
                                            at::byteSize,
                                            at::bitOffset,
                                            at::bitSize,
                                            at::constValue,
                                            at::lowerBound,
                                            at::upperBound,
                                            at::abstractOrigin,
                                            at::count,
                                            at::dataMemberLocation,
                                            at::declaration,
                                            at::encoding,
                                            at::external,
                                            at::declarationRef,
                                            at::type,
                                            at::dataBitOffset,
                                            at::strOffsetsBase,
                                            at::addrBase,
                                            at::artificial};
    // clang-format on
    for (std::uint8_t i = 0; i < kKeptCodes; ++i) slots[codes[i]] = i;
    return slots;
}
inline constexpr std::array<std::uint8_t, 128> kKeptSlots = makeKeptSlots();

inline bool isKept(std::uint64_t attr) {
    return attr < kKeptSlots.size() && kKeptSlots[attr] != kNotKept;
}

// An attribute as the type and variable rules read it; converts to false
// when the DIE has no attribute of the code asked for.
struct Attr {
    AttrClass attrClass = AttrClass::None;
    std::uint64_t value = 0;  // for Block and String the offset in .debug_info
    std::uint64_t size = 0;   // bytes of a Block

    explicit operator bool() const { return attrClass != AttrClass::None; }
    bool isConstant() const { return attrClass == AttrClass::Unsigned || attrClass == AttrClass::Signed; }
    // The value as the attribute rules see it: 0 for blocks and strings.
    std::uint64_t number() const {
        return attrClass == AttrClass::Block || attrClass == AttrClass::String ? 0 : value;
    }
};

// The attributes of one DIE that later stages read: for each kept code the
// first value of a class other than None, in the order of the attribute entries.
// Slots are written only when offered: a DIE has a few of the 20 codes, and
// this is made for every DIE a rule looks at.
class DieAttrs {
public:
    Attr get(std::uint8_t code) const {
        const std::uint8_t slot = code < kKeptSlots.size() ? kKeptSlots[code] : kNotKept;
        if (slot == kNotKept || !(present_ & (1u << slot))) return Attr{};
        const Slot& s = slots_[slot];
        return Attr{s.attrClass, s.value, s.size};
    }
    // Sets the slot unless an earlier attribute of the code has.
    void offer(std::uint8_t slot, AttrClass attrClass, std::uint64_t value, std::uint64_t size) {
        if (present_ & (1u << slot)) return;
        present_ |= 1u << slot;
        slots_[slot] = Slot{attrClass, value, size};
    }

private:
    struct Slot {
        AttrClass attrClass;
        std::uint64_t value;
        std::uint64_t size;
    };
    std::uint32_t present_ = 0;
    std::array<Slot, kKeptCodes> slots_;
};

struct Die {
    std::uint32_t unitOffset = 0;  // from the unit's first header byte; ascending within a unit
    std::uint32_t subtreeEnd = 0;  // one past the last descendant
    std::int32_t type = -1;        // the type index built for it, -1 until buildType has
    std::uint16_t tag = 0;         // codes above 0xffff are stored as 0xffff
    std::uint8_t flags = 0;
    std::uint8_t reserved = 0;
};

inline constexpr std::uint8_t kInGlobalScope = 1;  // every ancestor is a unit, namespace or class
inline constexpr std::uint8_t kDeclaration = 2;    // its abbreviation has DW_AT_declaration

class AllocatedRanges;

// Where a location puts a variable; `zeroBase` when the address operand
// itself was 0, as a discarded section's is, whatever offset follows it.
struct FixedLocation {
    std::uint64_t address = 0;
    bool zeroBase = false;
};

class DwarfReader {
public:
    explicit DwarfReader(const ElfFile& file);
    ~DwarfReader();

    bool hasDebugInfo() const { return !info.empty() && !abbrev.empty(); }

    void parseUnits();
    void collectGlobals();
    // Type index built for a DIE (kNoDie gives -1); each DIE is built once.
    std::int32_t buildType(std::uint32_t die);
    // The definition of the structure, union or enumeration that DIE
    // `declaration` only declares, or why there is none.
    Completion completeDeclaration(std::uint32_t declaration);
    // The DIE's name, kept in the result's names.
    std::string_view dieName(std::uint32_t die);
    // The same, starting from the DIE's attributes already decoded.
    std::string_view dieName(std::uint32_t die, const DieAttrs& attrs);
    // The DIE that the attribute refers to, or kNoDie.
    std::uint32_t refTarget(const Attr& a) const;
    std::uint32_t attrRef(std::uint32_t die, std::uint8_t code) const { return refTarget(attr(die, code)); }

    DieAttrs attrsOf(std::uint32_t die) const;
    Attr attr(std::uint32_t die, std::uint8_t code) const { return attrsOf(die).get(code); }
    // The DIE that starts at an offset in .debug_info, or kNoDie: a binary
    // search over the unit starts, then over the unit's ascending DIE offsets.
    std::uint32_t findDie(std::uint64_t offset) const;
    std::size_t unitIndexOf(std::uint32_t die) const;
    const Unit& unitOf(std::uint32_t die) const { return units[unitIndexOf(die)]; }
    std::string_view directName(std::uint32_t die, const DieAttrs& attrs) const;
    std::string_view stringAt(ByteView section, std::uint64_t offset) const;
    // Offset in .debug_str of string-offsets entry `index`; false when it does not fit.
    bool strOffset(const Unit& unit, std::uint64_t index, std::uint64_t& offset) const;
    // A string of the file's sections kept in the result's names, once per
    // place in the file; beyond the budget that debug_info.h documents the
    // load fails.
    std::string_view keepName(std::string_view text);
    // The same for text made here rather than read from the file.
    std::string_view keepMadeName(std::string_view text);

    DebugInfo takeResult();

    const ElfFile& elf;
    ByteView info, abbrev, str, lineStr, strOffsets, addr;
    std::vector<Unit> units;
    std::vector<std::uint32_t> unitFirstDie;  // parallel to units
    std::vector<std::uint64_t> unitStart;     // offset of each unit's header in .debug_info
    std::vector<std::uint32_t> unitAbbrevs;   // index of each unit's table in abbrevTables
    std::deque<AbbrevTable> abbrevTables;     // every table read, each once
    ChunkedVector<Die> dies;
    std::size_t typeDies = 0;              // DIEs whose tag makes a type entry: bounds the type table
    DebugInfo result;

private:
    void readUnit(Cursor& c);
    void readDies(Cursor& c, std::uint64_t unitEnd, std::uint64_t unitOffset);
    std::uint32_t loadAbbrevTable(std::uint64_t offset, const Unit& unit);
    std::string_view attrString(const Unit& unit, const Attr& a) const;
    bool locationAddress(std::uint32_t die, const Attr& location, FixedLocation& where) const;
    bool fixedGlobal(std::uint32_t die, const DieAttrs& attrs, const AllocatedRanges& allocated,
                     FixedLocation& where) const;
    std::vector<NamedPlace> namesAtZero(std::uint32_t first, const AllocatedRanges& allocated);
    void collectAnonymousMembers(std::uint32_t die, const DieAttrs& attrs, std::uint64_t address);
    void collectMembers(std::int32_t aggregate, std::uint64_t address, const GlobalVariable& outer,
                        int depth);
    std::uint32_t declaredType(const DieAttrs& attrs, bool& external) const;

    using AbbrevKey =
        std::tuple<std::uint64_t, std::uint8_t, bool, bool>;  // offset, address size, v2, 64-bit
    std::map<AbbrevKey, std::uint32_t> abbrevIndex_;
    std::uint64_t abbrevBytesLeft_ = 0;  // of .debug_abbrev still to be read, overlaps counted again
    std::uint64_t nameBytesLeft_ = 0;
    KeptNames kept_;
    std::unique_ptr<DefinitionIndex> definitions_;  // made at the first declaration completed
    mutable std::size_t lastUnit_ = 0;              // unitIndexOf: most lookups stay in one unit
    std::vector<std::uint32_t> open_;               // DIE walk: open parents
};

}  // namespace vk::elf
