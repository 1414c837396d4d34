// Lookups over the DIE table: attributes, references, units and names.
#include <algorithm>
#include <cstring>

#include "elf/dwarf_reader.h"

namespace vk::elf {

DieAttrs DwarfReader::attrsOf(std::uint32_t die) const {
    DieAttrs out;
    const std::size_t u = unitIndexOf(die);
    const Unit& unit = units[u];
    const std::uint64_t unitOffset = unitStart[u];
    // The walk has read these bytes with this table already: the decode
    // below meets the same values and cannot fail.
    Cursor c{info.data(), info.size(), elf.littleEndian, unitOffset + dies[die].unitOffset};
    const AbbrevTable& table = abbrevTables[unitAbbrevs[u]];
    const Abbrev* a = table.find(c.readUleb());
    if (a == nullptr) return out;
    for (const AttrSpec& spec : table.specsOf(*a)) {
        const AttrValue v = readAttributeValue(c, spec.form, unit, unitOffset, spec.implicitConst);
        if (v.attrClass == AttrClass::None || !isKept(spec.attr)) continue;
        std::uint64_t value = v.value;
        std::uint64_t size = 0;
        if (v.attrClass == AttrClass::Block || v.attrClass == AttrClass::String) {
            value = static_cast<std::uint64_t>(v.block - info.data());
            if (v.attrClass == AttrClass::Block) size = v.blockSize;
        }
        out.offer(kKeptSlots[spec.attr], v.attrClass, value, size);
    }
    return out;
}

std::uint32_t DwarfReader::findDie(std::uint64_t offset) const {
    const auto unitIt = std::upper_bound(unitStart.begin(), unitStart.end(), offset);
    if (unitIt == unitStart.begin()) return kNoDie;
    const std::size_t unit = static_cast<std::size_t>(unitIt - unitStart.begin()) - 1;
    const std::uint64_t relative = offset - unitStart[unit];
    if (relative > 0xffffffffu) return kNoDie;
    const std::size_t end = unit + 1 < unitFirstDie.size() ? unitFirstDie[unit + 1] : dies.size();
    std::size_t low = unitFirstDie[unit];
    std::size_t high = end;
    while (low < high) {
        const std::size_t mid = low + (high - low) / 2;
        if (dies[mid].unitOffset < relative)
            low = mid + 1;
        else
            high = mid;
    }
    return low < end && dies[low].unitOffset == relative ? static_cast<std::uint32_t>(low) : kNoDie;
}

std::size_t DwarfReader::unitIndexOf(std::uint32_t die) const {
    const std::size_t last = lastUnit_;
    if (last < units.size() && unitFirstDie[last] <= die &&
        (last + 1 == units.size() || die < unitFirstDie[last + 1]))
        return last;
    const auto it = std::upper_bound(unitFirstDie.begin(), unitFirstDie.end(), die);
    lastUnit_ = static_cast<std::size_t>(it - unitFirstDie.begin()) - 1;
    return lastUnit_;
}

std::uint32_t DwarfReader::refTarget(const Attr& a) const {
    if (a.attrClass != AttrClass::Reference) return kNoDie;
    return findDie(a.value);
}

std::string_view DwarfReader::stringAt(ByteView section, std::uint64_t offset) const {
    if (offset >= section.size()) return {};
    const char* begin = reinterpret_cast<const char*>(section.data() + offset);
    const std::size_t limit = static_cast<std::size_t>(section.size() - offset);
    const void* nul = std::memchr(begin, 0, limit);
    return std::string_view(begin,
                            nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - begin) : limit);
}

bool DwarfReader::strOffset(const Unit& unit, std::uint64_t index, std::uint64_t& offset) const {
    const std::uint64_t entrySize = unit.offsetSize();
    const std::uint64_t base = unit.strOffsetsBase != 0 ? unit.strOffsetsBase : (unit.version >= 5 ? 8 : 0);
    const std::uint64_t size = strOffsets.size();
    if (base > size || index >= (size - base) / entrySize) return false;
    offset =
        readUnsigned(elf, strOffsets.data() + base + index * entrySize, static_cast<std::size_t>(entrySize));
    return true;
}

std::string_view DwarfReader::attrString(const Unit& unit, const Attr& a) const {
    switch (a.attrClass) {
        case AttrClass::String:
            return stringAt(info, a.value);  // its NUL is inside .debug_info
        case AttrClass::Strp:
            return stringAt(str, a.value);
        case AttrClass::LineStrp:
            return stringAt(lineStr, a.value);
        case AttrClass::Strx: {
            std::uint64_t offset = 0;
            return strOffset(unit, a.value, offset) ? stringAt(str, offset) : std::string_view{};
        }
        default:
            return {};
    }
}

std::string_view DwarfReader::directName(std::uint32_t die, const DieAttrs& attrs) const {
    const Attr a = attrs.get(at::name);
    return a ? attrString(unitOf(die), a) : std::string_view{};
}

std::string_view DwarfReader::dieName(std::uint32_t die) {
    return dieName(die, attrsOf(die));
}

std::string_view DwarfReader::dieName(std::uint32_t die, const DieAttrs& attrs) {
    DieAttrs linked;
    const DieAttrs* current = &attrs;
    for (int link = 0; link <= kMaxNameLinks; ++link) {
        const std::string_view name = directName(die, *current);
        if (!name.empty()) return keepName(name);
        std::uint32_t next = refTarget(current->get(at::declarationRef));
        if (next == kNoDie) next = refTarget(current->get(at::abstractOrigin));
        if (next == kNoDie) return {};
        die = next;
        linked = attrsOf(die);
        current = &linked;
    }
    return {};
}

std::string_view DwarfReader::keepName(std::string_view text) {
    if (text.empty()) return {};
    // Sections may overlap in a malformed file: one first byte can then
    // start texts of two lengths, and only an equal one is shared.
    const std::string_view* found = kept_.find(text.data());
    if (found != nullptr && found->size() == text.size()) return *found;
    if (text.size() > nameBytesLeft_) throw ParseError("DWARF data too large");
    nameBytesLeft_ -= text.size();
    const std::string_view kept = result.names.keep(text);
    if (found == nullptr) kept_.insert(text.data(), kept);
    return kept;
}

std::string_view DwarfReader::keepMadeName(std::string_view text) {
    if (text.size() > nameBytesLeft_) throw ParseError("DWARF data too large");
    nameBytesLeft_ -= text.size();
    return result.names.keep(text);
}

DebugInfo DwarfReader::takeResult() {
    return std::move(result);
}

}  // namespace vk::elf
