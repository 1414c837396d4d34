// Unit headers and the DIE walk over .debug_info.
#include <span>
#include <string>

#include "elf/dwarf_error.h"
#include "elf/dwarf_reader.h"

namespace vk::elf {
namespace {

bool isUnitTag(std::uint64_t tag) {
    return tag == 0x11 || tag == 0x3c;
}

// Scopes whose variables still live at one fixed address.
bool isGlobalScopeTag(std::uint16_t tag) {
    return tag == 0x02 || tag == 0x11 || tag == 0x13 || tag == 0x39 || tag == 0x3c;
}

// Tags that buildType gives a kind other than Other.
bool isTypeTag(std::uint16_t tag) {
    switch (tag) {
        case 0x01:
        case 0x02:
        case 0x04:
        case 0x0f:
        case 0x10:
        case 0x13:
        case 0x15:
        case 0x16:
        case 0x17:
        case 0x24:
        case 0x26:
        case 0x35:
        case 0x37:
        case 0x3b:
        case 0x42:
        case 0x47:
            return true;
        default:
            return false;
    }
}

constexpr std::uint64_t kDwoName = 0x76, kGnuDwoName = 0x2130;

// Type units hold the types that the variables of other units refer to, and
// a skeleton's variables are in its .dwo file: read alone, either gives a
// list that is short without a word.
void refuseUnitType(std::uint8_t unitType) {
    switch (unitType) {
        case 2:
            throw UnreadForm(typeUnitsText("DW_UT_type"));
        case 6:
            throw UnreadForm(typeUnitsText("DW_UT_split_type"));
        case 4:
            throw UnreadForm(splitDwarfText("DW_UT_skeleton"));
        case 5:
            throw UnreadForm(splitDwarfText("DW_UT_split_compile"));
        default:
            return;
    }
}

// A DWARF 4 skeleton is a plain compile unit that names its .dwo file.
void refuseSkeleton(std::span<const AttrSpec> specs) {
    for (const AttrSpec& spec : specs) {
        if (spec.attr == kDwoName) throw UnreadForm(splitDwarfText("DW_AT_dwo_name"));
        if (spec.attr == kGnuDwoName) throw UnreadForm(splitDwarfText("DW_AT_GNU_dwo_name"));
    }
}

// Tables that overlap (units whose abbreviation offsets point into one
// another's tables) are read once per offset; this bounds the bytes read
// over all of them, so that such a file cannot take time quadratic in its size.
constexpr std::uint64_t kAbbrevReadFactor = 4;
constexpr std::uint64_t kAbbrevReadBase = std::uint64_t{1} << 20;

}  // namespace

DwarfReader::DwarfReader(const ElfFile& file)
    : elf(file),
      info(sectionData(file, ".debug_info")),
      abbrev(sectionData(file, ".debug_abbrev")),
      str(sectionData(file, ".debug_str")),
      lineStr(sectionData(file, ".debug_line_str")),
      strOffsets(sectionData(file, ".debug_str_offsets")),
      addr(sectionData(file, ".debug_addr")),
      abbrevBytesLeft_(kAbbrevReadBase + kAbbrevReadFactor * abbrev.size()),
      nameBytesLeft_(kDwarfNameBudgetBase +
                     kDwarfNameBudgetFactor * (info.size() + str.size() + lineStr.size())) {}

void DwarfReader::parseUnits() {
    Cursor c{info.data(), info.size(), elf.littleEndian, 0};
    while (c.pos < c.size) readUnit(c);
}

void DwarfReader::readUnit(Cursor& c) {
    const std::uint64_t unitOffset = c.pos;
    Unit unit;
    std::uint64_t length = c.readU32();
    if (length == 0xffffffffu) {
        length = c.readU64();
        unit.dwarf64 = true;
    }
    const std::uint64_t afterLength = c.pos;
    unit.version = c.readU16();
    if (unit.version < 2) throw ParseError("unsupported DWARF version " + std::to_string(unit.version));
    std::uint64_t abbrevOffset = 0;
    if (unit.version <= 4) {
        abbrevOffset = c.readUnsigned(unit.offsetSize());
        unit.addressSize = c.readU8();
    } else {
        const std::uint8_t unitType = c.readU8();
        unit.addressSize = c.readU8();
        abbrevOffset = c.readUnsigned(unit.offsetSize());
        refuseUnitType(unitType);
    }
    if (length > c.size - afterLength) throw ParseError("DWARF unit outside .debug_info");
    const std::uint64_t unitEnd = afterLength + length;
    result.addressSize = unit.addressSize;
    const std::uint32_t table = loadAbbrevTable(abbrevOffset, unit);
    units.push_back(std::move(unit));
    unitFirstDie.push_back(static_cast<std::uint32_t>(dies.size()));
    unitStart.push_back(unitOffset);
    unitAbbrevs.push_back(table);
    readDies(c, unitEnd, unitOffset);
    c.pos = unitEnd;
}

std::uint32_t DwarfReader::loadAbbrevTable(std::uint64_t offset, const Unit& unit) {
    // Units often share one table; it reads the same for the same unit shape.
    const AbbrevKey key{offset, unit.addressSize, unit.version <= 2, unit.dwarf64};
    const auto found = abbrevIndex_.find(key);
    if (found != abbrevIndex_.end()) return found->second;
    const AbbrevUnitShape shape{unit.addressSize, unit.version, static_cast<std::uint8_t>(unit.offsetSize())};
    AbbrevTable& table = abbrevTables.emplace_back();
    const std::uint64_t bytes =
        table.read(abbrev.data(), abbrev.size(), elf.littleEndian, offset, shape, isKept);
    if (bytes > abbrevBytesLeft_) throw ParseError("DWARF data too large");
    abbrevBytesLeft_ -= bytes;
    const auto index = static_cast<std::uint32_t>(abbrevTables.size() - 1);
    abbrevIndex_.emplace(key, index);
    return index;
}

void DwarfReader::readDies(Cursor& c, std::uint64_t unitEnd, std::uint64_t unitOffset) {
    Unit& unit = units.back();
    const AbbrevTable& table = abbrevTables[unitAbbrevs.back()];
    std::uint32_t lastUnitDie = kNoDie;
    open_.clear();
    while (c.pos < unitEnd) {
        const std::uint64_t dieOffset = c.pos;
        const std::uint64_t code = c.readUleb();
        if (code == 0) {
            if (!open_.empty()) {
                dies[open_.back()].subtreeEnd = static_cast<std::uint32_t>(dies.size());
                open_.pop_back();
            }
            continue;
        }
        const Abbrev* a = table.find(code);
        if (!a) throw ParseError("unknown DWARF abbreviation code");
        if (dies.size() >= kNoDie - 1 || dieOffset - unitOffset > 0xffffffffu)
            throw ParseError("DWARF data too large");

        const std::uint32_t parent = open_.empty() ? kNoDie : open_.back();
        Die d;
        d.unitOffset = static_cast<std::uint32_t>(dieOffset - unitOffset);
        d.subtreeEnd = static_cast<std::uint32_t>(dies.size()) + 1;
        d.tag = a->tag > 0xffff ? 0xffff : static_cast<std::uint16_t>(a->tag);
        if (a->declaration) d.flags = kDeclaration;
        if (parent == kNoDie || (isGlobalScopeTag(dies[parent].tag) && (dies[parent].flags & kInGlobalScope)))
            d.flags |= kInGlobalScope;
        typeDies += isTypeTag(d.tag);

        // Values are only stepped over here; attrsOf decodes them when a rule asks.
        if (a->fixedSize != Abbrev::kVariableSize) {
            c.skip(a->fixedSize);
        } else {
            for (const AttrSpec& spec : table.specsOf(*a))
                readAttributeValue(c, spec.form, unit, unitOffset, spec.implicitConst);
        }

        const std::uint32_t index = static_cast<std::uint32_t>(dies.size());
        dies.push_back(d);
        if (isUnitTag(a->tag)) {
            refuseSkeleton(table.specsOf(*a));
            lastUnitDie = index;
            const DieAttrs attrs = attrsOf(index);
            const Attr s = attrs.get(at::strOffsetsBase);
            unit.strOffsetsBase = s.isConstant() ? s.value : 0;
            const Attr b = attrs.get(at::addrBase);
            unit.addrBase = b.isConstant() ? b.value : 0;
        }
        if (a->hasChildren) open_.push_back(index);
    }
    for (std::uint32_t parent : open_) dies[parent].subtreeEnd = static_cast<std::uint32_t>(dies.size());
    open_.clear();

    if (lastUnitDie != kNoDie) unit.name = keepName(directName(lastUnitDie, attrsOf(lastUnitDie)));
}

}  // namespace vk::elf
