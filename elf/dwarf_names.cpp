// Lookups over the DIE table: attributes, references, units and names.
#include <algorithm>
#include <cstring>

#include "elf/dwarf_reader.h"

namespace vk::elf {
namespace {

// Bounds a chain of nameless DIEs linked by specification or abstract origin;
// a chain that loops back ends here with an empty name.
constexpr int kMaxNameLinks = 64;

}  // namespace

Attr DwarfReader::attr(std::uint32_t die, std::uint8_t code) const {
    const Die& d = dies[die];
    for (std::uint32_t i = d.attrBegin, end = d.attrBegin + d.attrCount; i < end; ++i) {
        const Attribute& a = attrs[i];
        if (a.code() != code) continue;
        Attr out;
        out.attrClass = a.attrClass();
        out.size = a.blockSize();
        if (a.wide())
            out.value = wide[a.low];
        else if (a.signExtended())
            out.value =
                static_cast<std::uint64_t>(static_cast<std::int64_t>(static_cast<std::int32_t>(a.low)));
        else
            out.value = a.low;
        return out;
    }
    return Attr{};
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

const Unit& DwarfReader::unitOf(std::uint32_t die) const {
    const auto it = std::upper_bound(unitFirstDie.begin(), unitFirstDie.end(), die);
    return units[static_cast<std::size_t>(it - unitFirstDie.begin()) - 1];
}

std::uint32_t DwarfReader::attrRef(std::uint32_t die, std::uint8_t code) const {
    const Attr a = attr(die, code);
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

std::string_view DwarfReader::directName(std::uint32_t die) const {
    const Attr a = attr(die, at::name);
    return a ? attrString(unitOf(die), a) : std::string_view{};
}

std::string DwarfReader::dieName(std::uint32_t die) const {
    for (int link = 0; link <= kMaxNameLinks; ++link) {
        const std::string_view name = directName(die);
        if (!name.empty()) return std::string(name);
        std::uint32_t next = attrRef(die, at::specification);
        if (next == kNoDie) next = attrRef(die, at::abstractOrigin);
        if (next == kNoDie) return {};
        die = next;
    }
    return {};
}

DebugInfo DwarfReader::takeResult() {
    return std::move(result);
}

}  // namespace vk::elf
