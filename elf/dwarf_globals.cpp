// Collecting the global variables that live at one fixed address.
#include <algorithm>
#include <numeric>
#include <optional>
#include <string>
#include <utility>

#include "elf/dwarf_reader.h"
#include "elf/objects_at_zero.h"

namespace vk::elf {
namespace {

constexpr std::uint64_t SHF_ALLOC = 0x2;
// Type entries (128 bytes each) and addresses reserved at most ahead: beyond
// it the tables grow as they do.
constexpr std::size_t kTypeReserveLimit = std::size_t{1} << 23;

}  // namespace

// The address ranges of the image's allocated sections, sorted and merged.
// A linker that discards a variable's section (--gc-sections) leaves its
// location at 0 or another address outside them; such a variable is not in
// the image.
class AllocatedRanges {
public:
    explicit AllocatedRanges(const ElfFile& file) {
        for (const Section& s : file.sections) {
            if (!(s.flags & SHF_ALLOC) || s.size == 0) continue;
            const std::uint64_t end = s.addr + s.size < s.addr ? ~std::uint64_t{0} : s.addr + s.size;
            ranges_.emplace_back(s.addr, end);
        }
        std::sort(ranges_.begin(), ranges_.end());
        std::vector<std::pair<std::uint64_t, std::uint64_t>> merged;
        for (const auto& r : ranges_) {
            if (!merged.empty() && r.first <= merged.back().second)
                merged.back().second = std::max(merged.back().second, r.second);
            else
                merged.push_back(r);
        }
        ranges_ = std::move(merged);
    }

    bool contains(std::uint64_t address) const {
        auto it =
            std::upper_bound(ranges_.begin(), ranges_.end(), std::make_pair(address, ~std::uint64_t{0}));
        if (it == ranges_.begin()) return false;
        --it;
        return address >= it->first && address < it->second;
    }

private:
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges_;
};

namespace {

// One variable emitted by several units is collected once, the first of its
// name at its address; distinct variables may share an address (zero-size
// objects, the members of an anonymous union). Sorted afterwards rather than
// hashed while collecting: the globals' order stays, and no set of them is
// held meanwhile.
void keepFirstOfEachPlace(std::vector<GlobalVariable>& globals) {
    std::vector<std::uint32_t> order(globals.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const GlobalVariable& x = globals[a];
        const GlobalVariable& y = globals[b];
        if (x.address != y.address) return x.address < y.address;
        return x.name != y.name ? x.name < y.name : a < b;
    });
    std::vector<bool> repeated(globals.size());
    for (std::size_t k = 1; k < order.size(); ++k) {
        const GlobalVariable& previous = globals[order[k - 1]];
        const GlobalVariable& g = globals[order[k]];
        repeated[order[k]] = g.address == previous.address && g.name == previous.name;
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < globals.size(); ++i)
        if (!repeated[i]) globals[kept++] = std::move(globals[i]);
    globals.resize(kept);
}

}  // namespace

// True when the location is exactly one operation giving an address, or
// that operation and one DW_OP_plus_uconst giving an offset from it. An
// operand cut short by the block's end fails with "DWARF data truncated".
bool DwarfReader::locationAddress(std::uint32_t die, const Attr& a, FixedLocation& where) const {
    if (a.attrClass != AttrClass::Block || a.size == 0) return false;
    const Unit& unit = unitOf(die);
    Cursor c{info.data() + a.value, a.size, elf.littleEndian, 0};
    const std::uint8_t op = c.readU8();
    std::uint64_t& address = where.address;
    if (op == 0x03) {  // DW_OP_addr
        address = c.readUnsigned(unit.addressSize);
    } else if (op == 0xa1 || op == 0xfb) {  // DW_OP_addrx, DW_OP_GNU_addr_index
        const std::uint64_t index = c.readUleb();
        const std::uint64_t base = unit.addrBase != 0 ? unit.addrBase : 8;
        const std::uint64_t size = unit.addressSize;
        if (base > addr.size()) return false;
        const std::uint64_t room = addr.size() - base;
        if (size != 0 && index >= room / size) return false;
        Cursor entry{addr.data(), addr.size(), elf.littleEndian, base + index * size};
        address = entry.readUnsigned(size);
    } else {
        return false;
    }
    where.zeroBase = address == 0;
    // Merged globals (clang at -Oz) are placed by an offset into their block.
    if (c.pos < c.size && c.data[c.pos] == 0x23) {  // DW_OP_plus_uconst
        ++c.pos;
        address += c.readUleb();
    }
    return c.pos == c.size;
}

// The type DIE of a variable, and whether it is external: its own, else
// those of its declaration (DW_AT_specification). A definition with neither
// (gcc's link-time optimisation) has them through its abstract origin, by the
// same rule, as its name; such chains end after as many links as names do.
std::uint32_t DwarfReader::declaredType(const DieAttrs& attrs, bool& external) const {
    external = static_cast<bool>(attrs.get(at::external));
    DieAttrs current = attrs;
    for (int link = 0; link <= kMaxNameLinks; ++link) {
        const std::uint32_t type = refTarget(current.get(at::type));
        const std::uint32_t declaration = refTarget(current.get(at::declarationRef));
        if (declaration != kNoDie) {
            const DieAttrs declared = attrsOf(declaration);
            external = external || declared.get(at::external);
            return type != kNoDie ? type : refTarget(declared.get(at::type));
        }
        if (type != kNoDie) return type;
        const std::uint32_t origin = refTarget(current.get(at::abstractOrigin));
        if (origin == kNoDie) return kNoDie;
        current = attrsOf(origin);
        external = external || current.get(at::external);
    }
    return kNoDie;
}

// Whether a variable DIE of global scope is a definition at one fixed
// address inside the image; tested before its name is read.
bool DwarfReader::fixedGlobal(std::uint32_t die, const DieAttrs& attrs, const AllocatedRanges& allocated,
                              FixedLocation& where) const {
    if (attrs.get(at::declaration)) return false;
    return locationAddress(die, attrs.get(at::location), where) && allocated.contains(where.address);
}

// The names and addresses of the variables whose address operand is 0, from
// DIE `first` on, which the symbols are searched for all at once.
std::vector<NamedPlace> DwarfReader::namesAtZero(std::uint32_t first, const AllocatedRanges& allocated) {
    std::vector<NamedPlace> places;
    for (std::uint32_t i = first; i < dies.size(); ++i) {
        if (dies[i].tag != 0x34 || !(dies[i].flags & kInGlobalScope)) continue;
        const DieAttrs attrs = attrsOf(i);
        FixedLocation where;
        if (fixedGlobal(i, attrs, allocated, where) && where.zeroBase)
            places.push_back(NamedPlace{dieName(i, attrs), where.address});
    }
    return places;
}

// A variable without a name whose type is an anonymous union or structure
// (g++'s namespace-scope anonymous union) stands for its members, which the
// code names directly. Structured bindings are artificial and stay out.
void DwarfReader::collectAnonymousMembers(std::uint32_t die, const DieAttrs& attrs, std::uint64_t address) {
    if (attrs.get(at::artificial)) return;
    GlobalVariable outer;
    const std::int32_t type = resolveAlias(result.types, buildType(declaredType(attrs, outer.external)));
    if (type < 0) return;
    const TypeInfo& t = result.types[static_cast<std::size_t>(type)];
    if ((t.kind != TypeKind::Struct && t.kind != TypeKind::Union) || !t.name.empty()) return;
    outer.unitName = unitOf(die).name;
    collectMembers(type, address, outer, 0);
}

// Each named member becomes a variable at its address; a bit field gets a
// structure of its own holding just that field, which the flattening names
// after the variable. Unnamed members give their own members.
void DwarfReader::collectMembers(std::int32_t aggregate, std::uint64_t address, const GlobalVariable& outer,
                                 int depth) {
    const std::size_t count = result.types[static_cast<std::size_t>(aggregate)].members.size();
    for (std::size_t k = 0; k < count; ++k) {
        // Copied: a bit field's own structure may move the table.
        const Member m = result.types[static_cast<std::size_t>(aggregate)].members[k];
        if (m.name.empty()) {
            const std::int32_t inner = resolveAlias(result.types, m.type);
            if (m.bitSize != 0 || inner < 0 || depth >= kMaxNameLinks) continue;
            const TypeKind kind = result.types[static_cast<std::size_t>(inner)].kind;
            if (kind == TypeKind::Struct || kind == TypeKind::Union)
                collectMembers(inner, address + m.offset, outer, depth + 1);
            continue;
        }
        GlobalVariable g = outer;
        g.name = m.name;
        g.address = address + m.offset;
        g.typeIndex = m.type;
        if (m.bitSize != 0) {
            TypeInfo field;
            field.kind = TypeKind::Struct;
            field.byteSize = byteSize(result.types, m.type);
            field.members.push_back(m);
            field.members.back().name = {};
            field.members.back().offset = 0;
            g.typeIndex = static_cast<std::int32_t>(result.types.size());
            result.types.push_back(std::move(field));
        }
        result.globals.push_back(g);
    }
}

void DwarfReader::collectGlobals() {
    const AllocatedRanges allocated(elf);
    std::optional<ObjectsAtZero> atZero;  // searched at the first variable at 0
    // Entries are reserved up to the type DIEs' count: the table then never
    // moves while it grows, and pages it does not reach cost no memory.
    result.types.reserve(std::min(typeDies, kTypeReserveLimit));
    for (std::uint32_t i = 0; i < dies.size(); ++i) {
        const Die& d = dies[i];
        if (d.tag != 0x34 || !(d.flags & kInGlobalScope)) continue;
        const DieAttrs attrs = attrsOf(i);
        FixedLocation where;
        if (!fixedGlobal(i, attrs, allocated, where)) continue;
        GlobalVariable g;
        g.name = dieName(i, attrs);
        if (g.name.empty()) {
            // Without a name no symbol can show that a block at 0 is live.
            if (!where.zeroBase) collectAnonymousMembers(i, attrs, where.address);
            continue;
        }
        if (where.zeroBase) {
            if (!atZero) atZero.emplace(elf, namesAtZero(i, allocated));
            if (!atZero->holds(g.name, where.address)) continue;
        }

        g.typeIndex = buildType(declaredType(attrs, g.external));
        g.address = where.address;
        g.unitName = unitOf(i).name;
        result.globals.push_back(std::move(g));
    }
    keepFirstOfEachPlace(result.globals);
}

}  // namespace vk::elf
