#include "elf/dwarf_definitions.h"

#include <algorithm>
#include <optional>

#include "elf/dwarf_reader.h"

namespace vk::elf {
namespace {

constexpr std::uint64_t kSeed = 0xcbf29ce484222325ull;  // FNV-1a
constexpr std::uint64_t kPrime = 0x100000001b3ull;
constexpr std::uint64_t kDescentBase = std::uint64_t{1} << 20;
constexpr std::uint64_t kDescentFactor = 8;  // steps per DIE

bool isUnitTag(std::uint16_t tag) {
    return tag == 0x11 || tag == 0x3c;
}

std::uint64_t mixByte(std::uint64_t key, std::uint8_t byte) {
    return (key ^ byte) * kPrime;
}

std::uint64_t mixNumber(std::uint64_t key, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) key = mixByte(key, static_cast<std::uint8_t>(value >> (8 * i)));
    return key;
}

std::uint64_t mixText(std::uint64_t key, std::string_view text) {
    for (char c : text) key = mixByte(key, static_cast<std::uint8_t>(c));
    return mixByte(key, 0);
}

}  // namespace

DwarfReader::~DwarfReader() = default;

Completion DwarfReader::completeDeclaration(std::uint32_t declaration) {
    if (!definitions_) definitions_ = std::make_unique<DefinitionIndex>(*this);
    return definitions_->find(declaration);
}

DefinitionIndex::DefinitionIndex(const DwarfReader& reader)
    : r_(reader), descentLeft_(kDescentBase + kDescentFactor * reader.dies.size()) {
    std::vector<Open> open;
    for (std::size_t unit = 0; unit < r_.units.size(); ++unit) indexUnit(unit, open);
    std::sort(definitions_.begin(), definitions_.end(), [](const Entry& a, const Entry& b) {
        return a.key() != b.key() ? a.key() < b.key() : a.die < b.die;
    });
}

DefinitionIndex::Scope DefinitionIndex::scopeOf(std::uint16_t tag) {
    switch (tag) {
        case 0x39:
            return Scope::Namespace;
        case 0x02:
        case 0x13:
            return Scope::Class;  // class and struct name one kind of type
        case 0x17:
            return Scope::Union;
        case 0x04:
            return Scope::Enum;
        default:
            return Scope::None;
    }
}

std::uint64_t DefinitionIndex::extend(std::uint64_t key, const Part& part) {
    key = mixByte(key, static_cast<std::uint8_t>(part.scope));
    key = mixText(key, part.name);
    return part.name.empty() ? mixNumber(key, part.unit) : key;
}

// Scopes are followed down from the unit's root with the key of the name
// they give; the subtree of anything else (a function, a variable, a member)
// is stepped over whole, as is that of a class without a name.
void DefinitionIndex::indexUnit(std::size_t unit, std::vector<Open>& open) {
    const std::uint32_t first = r_.unitFirstDie[unit];
    const std::uint32_t end =
        unit + 1 < r_.units.size() ? r_.unitFirstDie[unit + 1] : static_cast<std::uint32_t>(r_.dies.size());
    std::vector<Part> parts;
    open.clear();
    for (std::uint32_t i = first; i < end;) {
        while (!open.empty() && open.back().end <= i) open.pop_back();
        const Die& d = r_.dies[i];
        const std::uint32_t next = std::max(d.subtreeEnd, i + 1);
        if (isUnitTag(d.tag)) {
            open.push_back(Open{d.subtreeEnd, kSeed});
            ++i;
            continue;
        }
        const Scope scope = scopeOf(d.tag);
        if (scope == Scope::None) {
            i = next;
            continue;
        }
        const DieAttrs attrs = r_.attrsOf(i);
        std::uint64_t key = open.empty() ? kSeed : open.back().key;
        bool named = false;
        if (r_.refTarget(attrs.get(at::declarationRef)) != kNoDie) {
            // Defined outside the scope that declares it: the declaration names it.
            parts.clear();
            named = qualifiedName(i, parts, 0);
            key = kSeed;
            for (const Part& p : parts) key = extend(key, p);
        } else if (Part part; (named = partOf(i, attrs, part))) {
            key = extend(key, part);
        }
        if (!named) {
            i = next;
            continue;
        }
        if (scope != Scope::Namespace)
            ((d.flags & kDeclaration) ? declarations_ : definitions_).emplace_back(key, i);
        if (next > i + 1 && scope != Scope::Enum) {
            open.push_back(Open{d.subtreeEnd, key});
            ++i;
        } else {
            i = next;
        }
    }
}

bool DefinitionIndex::partOf(std::uint32_t die, const DieAttrs& attrs, Part& part) const {
    part.scope = scopeOf(r_.dies[die].tag);
    part.name = r_.directName(die, attrs);
    part.unit = 0;
    if (!part.name.empty()) return true;
    part.unit = static_cast<std::uint32_t>(r_.unitIndexOf(die));
    return part.scope == Scope::Namespace;
}

// The scopes that enclose `die`, outermost first, then `die` itself; false
// when one of them is not a namespace or a named class, union or
// enumeration, or the descents have used up their steps.
bool DefinitionIndex::qualifiedName(std::uint32_t die, std::vector<Part>& parts, int links) const {
    if (links > kMaxNameLinks || scopeOf(r_.dies[die].tag) == Scope::None) return false;
    const DieAttrs attrs = r_.attrsOf(die);
    const std::uint32_t specified = r_.refTarget(attrs.get(at::declarationRef));
    if (specified != kNoDie) return qualifiedName(specified, parts, links + 1);
    const std::uint32_t parent = parentOf(die);
    if (parent == kNoDie) return false;
    if (!isUnitTag(r_.dies[parent].tag) && !qualifiedName(parent, parts, links + 1)) return false;
    Part part;
    if (!partOf(die, attrs, part)) return false;
    parts.push_back(part);
    return true;
}

// The DIE table keeps no parents: the one of `die` is found by descending
// from its unit's first DIE through the subtrees that hold it. kNoDie when
// there is none, or no steps are left.
std::uint32_t DefinitionIndex::parentOf(std::uint32_t die) const {
    std::uint32_t i = r_.unitFirstDie[r_.unitIndexOf(die)];
    std::uint32_t parent = kNoDie;
    while (i < die) {
        if (descentLeft_ == 0) return kNoDie;
        --descentLeft_;
        if (r_.dies[i].subtreeEnd > die) {
            parent = i;
            ++i;
        } else {
            i = std::max(r_.dies[i].subtreeEnd, i + 1);
        }
    }
    return i == die ? parent : kNoDie;
}

// What two definitions of one name must share to be taken as one: the size,
// and each data member's name and place, or each enumerator's name and value.
std::uint64_t DefinitionIndex::fingerprint(std::uint32_t die) const {
    std::uint64_t key = mixNumber(kSeed, r_.attr(die, at::byteSize).number());
    for (std::uint32_t c = die + 1; c < r_.dies[die].subtreeEnd; c = std::max(r_.dies[c].subtreeEnd, c + 1)) {
        const std::uint16_t tag = r_.dies[c].tag;
        if (tag != 0x0d && tag != 0x1c && tag != 0x28) continue;
        const DieAttrs attrs = r_.attrsOf(c);
        if (tag != 0x28 && (attrs.get(at::declaration) || attrs.get(at::external))) continue;
        key = mixNumber(key, tag);
        key = mixText(key, r_.directName(c, attrs));
        for (std::uint8_t code : {at::dataMemberLocation, at::bitSize, at::dataBitOffset, at::bitOffset,
                                  at::byteSize, at::constValue}) {
            const Attr a = attrs.get(code);
            key = mixByte(key, static_cast<std::uint8_t>(a.attrClass));
            if (a.attrClass != AttrClass::Block) {
                key = mixNumber(key, a.number());
                continue;
            }
            const std::uint8_t* bytes = r_.info.data() + a.value;
            for (std::uint64_t k = 0; k < a.size; ++k) key = mixByte(key, bytes[k]);
        }
    }
    return key;
}

// "a::Cfg" for the warning, or the short name where the scopes are not found.
std::string DefinitionIndex::displayName(std::uint32_t die) const {
    std::vector<Part> parts;
    if (!qualifiedName(die, parts, 0)) return std::string(r_.directName(die, r_.attrsOf(die)));
    std::string name;
    for (const Part& p : parts) {
        if (!name.empty()) name += "::";
        name += p.name.empty() ? std::string_view("(anonymous namespace)") : p.name;
    }
    return name;
}

Completion DefinitionIndex::find(std::uint32_t declaration) {
    const auto declared = std::lower_bound(declarations_.begin(), declarations_.end(), declaration,
                                           [](const Entry& e, std::uint32_t die) { return e.die < die; });
    if (declared == declarations_.end() || declared->die != declaration) {
        Completion none;
        none.qualifiedName = displayName(declaration);
        return none;
    }
    const std::uint64_t key = declared->key();
    const auto [slot, fresh] = found_.try_emplace(key);
    Completion& c = slot->second;
    if (!fresh) return c;
    auto it = std::lower_bound(definitions_.begin(), definitions_.end(), key,
                               [](const Entry& e, std::uint64_t k) { return e.key() < k; });
    if (it != definitions_.end() && it->key() == key) {
        c.outcome = Definition::Found;
        c.definition = it->die;
        std::optional<std::uint64_t> first;  // of the first definition, once there is a second
        for (++it; it != definitions_.end() && it->key() == key; ++it) {
            if (!first) first = fingerprint(c.definition);
            if (fingerprint(it->die) == *first) continue;
            c.outcome = Definition::Conflicting;
            c.definition = kNoDie;
            break;
        }
    }
    if (c.outcome != Definition::Found) c.qualifiedName = displayName(declaration);
    return c;
}

}  // namespace vk::elf
