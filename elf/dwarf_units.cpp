// Unit headers and the DIE walk over .debug_info.
#include <array>
#include <string>

#include "elf/dwarf_reader.h"

namespace vk::elf {
namespace {

// Bit per kept DW_AT code (0 for codes that nothing reads), so that a DIE
// keeps only the first attribute of each code.
constexpr std::array<std::uint32_t, 128> makeKeepBits() {
    std::array<std::uint32_t, 128> bits{};
    const std::uint8_t codes[] = {at::location,
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
                                  at::specification,
                                  at::type,
                                  at::dataBitOffset,
                                  at::strOffsetsBase,
                                  at::addrBase};
    std::uint32_t bit = 1;
    for (std::uint8_t code : codes) {
        bits[code] = bit;
        bit <<= 1;
    }
    return bits;
}
constexpr std::array<std::uint32_t, 128> kKeepBits = makeKeepBits();

bool isKept(std::uint64_t attr) {
    return attr < kKeepBits.size() && kKeepBits[attr] != 0;
}

bool isUnitTag(std::uint64_t tag) {
    return tag == 0x11 || tag == 0x3c;
}

// Scopes whose variables still live at one fixed address.
bool isGlobalScopeTag(std::uint16_t tag) {
    return tag == 0x02 || tag == 0x11 || tag == 0x13 || tag == 0x39 || tag == 0x3c;
}

}  // namespace

DwarfReader::DwarfReader(const ElfFile& file)
    : elf(file),
      info(sectionData(file, ".debug_info")),
      abbrev(sectionData(file, ".debug_abbrev")),
      str(sectionData(file, ".debug_str")),
      lineStr(sectionData(file, ".debug_line_str")),
      strOffsets(sectionData(file, ".debug_str_offsets")),
      addr(sectionData(file, ".debug_addr")) {}

void DwarfReader::keep(const AttrValue& v, std::uint8_t code) {
    std::uint64_t value = v.value;
    std::uint32_t size = 0;
    if (v.attrClass == AttrClass::Block || v.attrClass == AttrClass::String) {
        value = static_cast<std::uint64_t>(v.block - info.data());
        if (v.attrClass == AttrClass::Block)
            size = v.blockSize > Attribute::kMaxBlock ? Attribute::kMaxBlock
                                                      : static_cast<std::uint32_t>(v.blockSize);
    }
    Attribute a;
    a.meta = static_cast<std::uint32_t>(v.attrClass) | std::uint32_t{code} << 4 | size << 13;
    if (value <= 0xffffffffu) {
        a.low = static_cast<std::uint32_t>(value);
    } else if (value >= 0xffffffff80000000u) {
        a.low = static_cast<std::uint32_t>(value);
        a.meta |= 1u << 12;
    } else {
        a.low = static_cast<std::uint32_t>(wide.size());
        a.meta |= 1u << 11;
        wide.push_back(value);
    }
    attrs.push_back(a);
}

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
        if (unitType == 4 || unitType == 5) {
            c.skip(8);  // dwo_id
        } else if (unitType == 2 || unitType == 6) {
            c.skip(8);  // type signature
            c.readUnsigned(unit.offsetSize());
        }
    }
    if (length > c.size - afterLength) throw ParseError("DWARF unit outside .debug_info");
    const std::uint64_t unitEnd = afterLength + length;
    result.addressSize = unit.addressSize;
    loadAbbrevTable(abbrevOffset, unit);
    units.push_back(std::move(unit));
    unitFirstDie.push_back(static_cast<std::uint32_t>(dies.size()));
    unitStart.push_back(unitOffset);
    readDies(c, unitEnd, unitOffset);
    c.pos = unitEnd;
}

void DwarfReader::loadAbbrevTable(std::uint64_t offset, const Unit& unit) {
    // Consecutive units often share one table; it reads the same each time.
    const std::uint64_t key[3] = {offset, unit.addressSize, unit.version <= 2 ? 2u : 3u};
    if (key[0] == abbrevKey_[0] && key[1] == abbrevKey_[1] && key[2] == abbrevKey_[2]) return;
    abbrevKey_[0] = ~0ull;
    abbrevTable_.read(abbrev.data(), abbrev.size(), elf.littleEndian, offset, unit.addressSize, unit.version,
                      isKept);
    for (int i = 0; i < 3; ++i) abbrevKey_[i] = key[i];
}

void DwarfReader::readDies(Cursor& c, std::uint64_t unitEnd, std::uint64_t unitOffset) {
    Unit& unit = units.back();
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
        const Abbrev* a = abbrevTable_.find(code);
        if (!a) throw ParseError("unknown DWARF abbreviation code");
        if (dies.size() >= kNoDie - 1 || attrs.size() > 0xffffffffu - 128 ||
            dieOffset - unitOffset > 0xffffffffu)
            throw ParseError("DWARF data too large");

        const std::uint32_t parent = open_.empty() ? kNoDie : open_.back();
        Die d;
        d.unitOffset = static_cast<std::uint32_t>(dieOffset - unitOffset);
        d.attrBegin = static_cast<std::uint32_t>(attrs.size());
        d.subtreeEnd = static_cast<std::uint32_t>(dies.size()) + 1;
        d.tag = a->tag > 0xffff ? 0xffff : static_cast<std::uint16_t>(a->tag);
        if (parent == kNoDie || (isGlobalScopeTag(dies[parent].tag) && (dies[parent].flags & kInGlobalScope)))
            d.flags |= kInGlobalScope;
        // Locations matter only for variables that can be global.
        const bool wantsLocation = d.tag == 0x34 && (d.flags & kInGlobalScope);

        std::uint32_t seen = 0;
        for (const AttrSpec& spec : abbrevTable_.specsOf(*a)) {
            const AttrValue v = readAttributeValue(c, spec.form, unit, unitOffset, spec.implicitConst);
            if (v.attrClass == AttrClass::None || !isKept(spec.attr)) continue;
            const std::uint32_t bit = kKeepBits[spec.attr];
            if ((seen & bit) || (spec.attr == at::location && !wantsLocation)) continue;
            seen |= bit;
            keep(v, static_cast<std::uint8_t>(spec.attr));
            ++d.attrCount;
        }

        const std::uint32_t index = static_cast<std::uint32_t>(dies.size());
        dies.push_back(d);
        if (isUnitTag(a->tag)) {
            lastUnitDie = index;
            const Attr s = attr(index, at::strOffsetsBase);
            unit.strOffsetsBase = s.isConstant() ? s.value : 0;
            const Attr b = attr(index, at::addrBase);
            unit.addrBase = b.isConstant() ? b.value : 0;
        }
        if (a->hasChildren) open_.push_back(index);
    }
    for (std::uint32_t parent : open_) dies[parent].subtreeEnd = static_cast<std::uint32_t>(dies.size());
    open_.clear();

    if (lastUnitDie != kNoDie) unit.name = std::string(directName(lastUnitDie));
}

}  // namespace vk::elf
