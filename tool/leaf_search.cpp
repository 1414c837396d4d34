#include "tool/leaf_search.h"

#include <algorithm>
#include <limits>
#include <unordered_map>
#include <utility>

#include "tool/identifier.h"

namespace vk::tool {
namespace {

using vk::elf::DebugInfo;
using vk::elf::Member;
using vk::elf::TypeInfo;
using vk::elf::TypeKind;
using vk::elf::Variable;

constexpr std::int32_t kMaxDepth = 16;  // as deep as flattening goes
constexpr std::uint64_t kAll = std::numeric_limits<std::uint64_t>::max();
// Arrays this small are tried element by element instead of by reading indices
// out of the keys.
constexpr std::uint64_t kScanElements = 64;

std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
    return a > kAll - b ? kAll : a + b;
}
std::uint64_t saturatingMul(std::uint64_t a, std::uint64_t b) {
    if (a == 0 || b == 0) return 0;
    return a > kAll / b ? kAll : a * b;
}

// "[i][j]..." for the element at a row-major position, exactly as flattening
// writes it.
std::string indexText(const std::vector<std::uint64_t>& dims, std::uint64_t count, std::uint64_t position) {
    std::string text;
    vk::elf::appendIndexText(text, dims, count, position);
    return text;
}

// Reads one index written as open + decimal digits (+ close) at `pos`, in the
// canonical form flattening writes (no sign, no leading zero). False otherwise.
bool readIndex(std::string_view key, std::size_t& pos, char open, char close, std::uint64_t& value) {
    if (pos >= key.size() || key[pos] != open) return false;
    std::size_t p = pos + 1;
    const std::size_t first = p;
    value = 0;
    while (p < key.size() && key[p] >= '0' && key[p] <= '9') {
        const std::uint64_t digit = static_cast<std::uint64_t>(key[p] - '0');
        if (value > (kAll - digit) / 10) return false;
        value = value * 10 + digit;
        ++p;
    }
    if (p == first || (key[first] == '0' && p - first > 1)) return false;
    if (close != 0) {
        if (p >= key.size() || key[p] != close) return false;
        ++p;
    }
    pos = p;
    return true;
}

// The identifier the generator gives a value's name, or "" where that is the
// name itself, as it is for most. Identifiers are made byte by byte, so a
// value's identifier begins every identifier below it.
std::string identifierOf(const std::string& name) {
    return isA2lIdentifier(name) ? std::string() : makeA2lIdentifier(name);
}

// The position of each key by its hash: open addressing over a table of
// positions, a fraction of the size of a map with a node per key.
class KeyTable {
public:
    explicit KeyTable(const std::vector<std::string_view>& keys) : keys_(keys) {
        std::size_t size = 2;
        while (size < 2 * keys.size()) size <<= 1;
        slots_.assign(size, kNoLeaf);
        mask_ = size - 1;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            std::size_t slot = hash(keys[i]);
            while (slots_[slot] != kNoLeaf) slot = (slot + 1) & mask_;
            slots_[slot] = i;
        }
    }

    std::size_t find(std::string_view key) const {
        for (std::size_t slot = hash(key); slots_[slot] != kNoLeaf; slot = (slot + 1) & mask_)
            if (keys_[slots_[slot]] == key) return slots_[slot];
        return kNoLeaf;
    }

private:
    std::size_t hash(std::string_view key) const {
        const std::size_t value = std::hash<std::string_view>{}(key);
        return value & mask_;
    }

    const std::vector<std::string_view>& keys_;
    std::vector<std::size_t> slots_;
    std::size_t mask_ = 0;
};

// A virtual base: only the running program places its members, and
// flattening leaves them out.
bool unplaced(const Member& member) {
    return member.bitSize == 0 && member.storageSize == vk::elf::kVirtualBase;
}

class LeafSearch {
public:
    LeafSearch(const DebugInfo& debug, const std::vector<std::string_view>& keys, std::uint64_t arrayLimit,
               std::uint64_t wholeLeaves)
        : debug_(debug),
          keys_(keys),
          keyTable_(keys),
          limit_(arrayLimit),
          whole_(std::max<std::uint64_t>(wholeLeaves, 1)) {
        result_.exact.assign(keys.size(), kNoLeaf);
        result_.alias.assign(keys.size(), kNoLeaf);
    }

    LeafMatches run() {
        for (const auto& global : debug_.globals) {
            const std::string name(global.name);
            visit(name, flattenIndices(name), identifierOf(name), global.address, global.typeIndex, 0);
        }
        return std::move(result_);
    }

private:
    const TypeInfo* entryAt(std::int32_t index) const {
        if (index < 0 || static_cast<std::size_t>(index) >= debug_.types.size()) return nullptr;
        return &debug_.types[static_cast<std::size_t>(index)];
    }

    // The entry flattening expands for a declared type at a depth, or null where
    // it yields nothing before looking at the kind.
    const TypeInfo* expanded(std::int32_t type, std::int32_t depth) const {
        if (entryAt(type) == nullptr || depth > kMaxDepth) return nullptr;
        return entryAt(vk::elf::resolveAlias(debug_.types, type));
    }

    bool hasKeyWithPrefix(std::string_view prefix) const {
        auto it = std::lower_bound(keys_.begin(), keys_.end(), prefix);
        return it != keys_.end() && it->starts_with(prefix);
    }

    // Whether some leaf below a value of this name could carry a wanted key.
    bool viable(std::string_view name, std::string_view alias, std::string_view identifier) const {
        return hasKeyWithPrefix(name) || (alias != name && hasKeyWithPrefix(alias)) ||
               (!identifier.empty() && hasKeyWithPrefix(identifier));
    }

    // How many leaves flattening gives for a value (saturating), memoised per
    // declared type and depth; the depth bound keeps cyclic type tables finite.
    std::uint64_t leafCount(std::int32_t type, std::int32_t depth) {
        const TypeInfo* entry = expanded(type, depth);
        if (entry == nullptr) return 0;
        const std::uint64_t memoKey = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(type)) << 8) |
                                      static_cast<std::uint64_t>(depth);
        if (auto it = counts_.find(memoKey); it != counts_.end()) return it->second;
        std::uint64_t count = 0;
        switch (entry->kind) {
            case TypeKind::Base:
            case TypeKind::Enum:
            case TypeKind::Pointer:
                count = 1;
                break;
            case TypeKind::Array:
                count = saturatingMul(std::min(limit_, elementCount(*entry)),
                                      leafCount(entry->target, depth + 1));
                break;
            case TypeKind::Struct:
            case TypeKind::Union:
                for (const Member& member : entry->members)
                    if (!unplaced(member))
                        count =
                            saturatingAdd(count, member.bitSize != 0 ? 1 : leafCount(member.type, depth + 1));
                break;
            default:
                break;
        }
        counts_.emplace(memoKey, count);
        return count;
    }

    // The element count as flattening computes it: 1 without dimensions, and
    // none where the product does not fit 64 bits (flattening leaves such an
    // array out, its index texts would repeat).
    static std::uint64_t elementCount(const TypeInfo& array) {
        std::uint64_t count = 1;
        for (std::uint64_t dim : array.dims) {
            if (dim != 0 && count > kAll / dim) return 0;
            count *= dim;
        }
        return count;
    }

    // `identifier` as identifierOf gives it.
    void visit(const std::string& name, const std::string& alias, const std::string& identifier,
               std::uint64_t address, std::int32_t type, std::int32_t depth) {
        const std::uint64_t count = leafCount(type, depth);
        if (count == 0 || !viable(name, alias, identifier)) return;
        if (count <= whole_) {
            std::vector<Variable> part;
            vk::elf::flattenInto(debug_, name, address, type, limit_, part, nullptr, depth);
            for (Variable& leaf : part) offer(std::move(leaf), identifier.empty() ? name.size() : 0);
            return;
        }
        const TypeInfo& entry = *expanded(type, depth);
        if (entry.kind == TypeKind::Array) {
            visitArray(name, alias, identifier, address, entry, depth);
        } else {
            visitMembers(name, alias, identifier, address, entry, depth);
        }
    }

    void visitMembers(const std::string& name, const std::string& alias, const std::string& identifier,
                      std::uint64_t address, const TypeInfo& aggregate, std::int32_t depth) {
        for (const Member& member : aggregate.members) {
            if (unplaced(member)) continue;
            // Unnamed members and base classes put their members under the enclosing name.
            const std::string memberName = member.name.empty() ? name : name + "." + std::string(member.name);
            const std::string memberAlias =
                member.name.empty() ? alias : alias + "." + flattenIndices(member.name);
            const std::string memberIdentifier =
                member.name.empty() || (identifier.empty() && keepsEveryByte(member.name))
                    ? identifier
                    : identifierOf(memberName);
            if (member.bitSize == 0) {
                visit(memberName, memberAlias, memberIdentifier, address + member.offset, member.type,
                      depth + 1);
            } else if (member.storageSize != vk::elf::kNoBitWindow &&
                       viable(memberName, memberAlias, memberIdentifier)) {
                offer(bitField(memberName, address + member.offset, member),
                      memberIdentifier.empty() ? memberName.size() : 0);
            }
        }
    }

    // A bit-field leaf built as flattening builds it (its typedef names aside,
    // which the updater does not read).
    Variable bitField(const std::string& name, std::uint64_t address, const Member& member) const {
        Variable leaf;
        leaf.name = name;
        leaf.address = address;
        leaf.type = entryAt(member.type) ? vk::elf::resolveAlias(debug_.types, member.type) : -1;
        leaf.size = vk::elf::bitFieldSize(debug_, leaf.type, member);
        leaf.bitMask = vk::elf::bitFieldMask(member);
        leaf.isBitField = true;
        return leaf;
    }

    void visitArray(const std::string& name, const std::string& alias, const std::string& identifier,
                    std::uint64_t address, const TypeInfo& array, std::int32_t depth) {
        const std::uint64_t count = elementCount(array);
        const std::uint64_t taken = std::min(limit_, count);
        const std::uint64_t stride = vk::elf::byteSize(debug_.types, array.target);
        for (std::uint64_t i : candidates(name, alias, identifier, array.dims, count, taken)) {
            const std::string text = indexText(array.dims, count, i);
            visit(name + text, alias + flattenIndices(text),
                  identifier.empty() ? identifier : identifier + text, address + i * stride, array.target,
                  depth + 1);
        }
    }

    // The element positions, ascending, that some key may name, read out of the
    // keys that continue the array's name, alias or identifier with an index text.
    std::vector<std::uint64_t> candidates(const std::string& name, const std::string& alias,
                                          const std::string& identifier,
                                          const std::vector<std::uint64_t>& dims, std::uint64_t count,
                                          std::uint64_t taken) const {
        std::vector<std::uint64_t> positions;
        if (dims.empty() || taken <= kScanElements) {
            positions.resize(taken);
            for (std::uint64_t i = 0; i < taken; ++i) positions[i] = i;
            return positions;
        }
        collectPositions(name + "[", '[', ']', dims, count, taken, positions);
        collectPositions(alias + "_", '_', 0, dims, count, taken, positions);
        if (!identifier.empty()) collectPositions(identifier + "[", '[', ']', dims, count, taken, positions);
        std::sort(positions.begin(), positions.end());
        positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
        return positions;
    }

    // The first position whose index text each key starts with. Index texts are
    // written with strides that depend only on the dimensions: where the product
    // wrapped, a dimension larger than what is left of the stride, and every one
    // after it, is always index 0, and a run of positions shares one text. So the
    // first position of a text is the sum of its indices times their strides,
    // confirmed by writing its text again.
    void collectPositions(const std::string& prefix, char open, char close,
                          const std::vector<std::uint64_t>& dims, std::uint64_t count, std::uint64_t taken,
                          std::vector<std::uint64_t>& positions) const {
        std::vector<std::uint64_t> strides;  // 0: always index 0
        std::uint64_t remaining = count;
        for (std::uint64_t dim : dims) {
            remaining = dim > remaining ? 0 : remaining / dim;
            strides.push_back(remaining);
        }
        const std::size_t start = prefix.size() - 1;  // at the first opening character
        auto it = std::lower_bound(keys_.begin(), keys_.end(), std::string_view(prefix));
        for (; it != keys_.end() && it->starts_with(prefix); ++it) {
            std::size_t pos = start;
            std::uint64_t position = 0;
            bool ok = true;
            for (std::uint64_t stride : strides) {
                std::uint64_t index = 0;
                ok = readIndex(*it, pos, open, close, index) && (stride != 0 || index == 0) &&
                     (stride == 0 || index <= (kAll - position) / stride);
                if (!ok) break;
                position += index * stride;
            }
            if (!ok || position >= taken) continue;
            const std::string text = indexText(dims, count, position);
            if (it->substr(start, pos - start) == (close != 0 ? text : flattenIndices(text)))
                positions.push_back(position);
        }
    }

    // The first `ownIdentifier` bytes of the leaf's name are known to be their
    // own identifier (a non-empty name), so only the rest needs a look.
    void offer(Variable&& leaf, std::size_t ownIdentifier) {
        const std::size_t exact = keyOf(leaf.name);
        const bool plain =
            leaf.name.find('[') == std::string::npos && leaf.name.find(']') == std::string::npos;
        const std::size_t alias = plain ? exact : keyOf(flattenIndices(leaf.name));
        const std::size_t identifier =
            (ownIdentifier > 0 ? keepsEveryByte(std::string_view(leaf.name).substr(ownIdentifier))
                               : isA2lIdentifier(leaf.name))
                ? kNoLeaf
                : keyOf(makeA2lIdentifier(leaf.name));
        std::size_t* exactFirst = exact == kNoLeaf ? nullptr : &result_.exact[exact];
        std::size_t* aliasFirst = alias == kNoLeaf ? nullptr : &result_.alias[alias];
        // A map's values stay where they are while it grows.
        std::size_t* identifierFirst =
            identifier == kNoLeaf ? nullptr
                                  : &result_.identifier.try_emplace(identifier, kNoLeaf).first->second;
        const bool takeExact = take(exactFirst, exact, result_.exactElsewhere, leaf.address);
        const bool takeAlias = take(aliasFirst, alias, result_.aliasElsewhere, leaf.address);
        const bool takeIdentifier =
            take(identifierFirst, identifier, result_.identifierElsewhere, leaf.address);
        if (!takeExact && !takeAlias && !takeIdentifier) return;
        leaf.typedefNames = {};  // not read by the updater; a heap block per leaf
        result_.leaves.push_back(std::move(leaf));
        const std::size_t taken = result_.leaves.size() - 1;
        if (takeExact) *exactFirst = taken;
        if (takeAlias) *aliasFirst = taken;
        if (takeIdentifier) *identifierFirst = taken;
    }

    // Whether the leaf is the key's first of a kind; a later one at another
    // address is noted.
    bool take(const std::size_t* first, std::size_t key,
              std::vector<std::pair<std::size_t, std::uint64_t>>& elsewhere, std::uint64_t address) {
        if (first == nullptr) return false;
        if (*first == kNoLeaf) return true;
        if (result_.leaves[*first].address != address) elsewhere.emplace_back(key, address);
        return false;
    }

    std::size_t keyOf(std::string_view name) const { return keyTable_.find(name); }

    const DebugInfo& debug_;
    const std::vector<std::string_view>& keys_;
    const KeyTable keyTable_;
    const std::uint64_t limit_;
    const std::uint64_t whole_;
    std::unordered_map<std::uint64_t, std::uint64_t> counts_;
    LeafMatches result_;
};

}  // namespace

std::string flattenIndices(std::string_view name) {
    std::string alias;
    alias.reserve(name.size());
    for (char c : name) {
        if (c == '[') {
            alias += '_';
        } else if (c != ']') {
            alias += c;
        }
    }
    return alias;
}

LeafMatches findLeaves(const vk::elf::DebugInfo& debug, const std::vector<std::string_view>& keys,
                       std::uint64_t arrayLimit, std::uint64_t wholeLeaves) {
    return LeafSearch(debug, keys, arrayLimit, wholeLeaves).run();
}

}  // namespace vk::tool
