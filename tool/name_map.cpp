#include "tool/name_map.h"

#include <algorithm>
#include <utility>

#include "tool/leaf_search.h"

namespace vk::tool {
namespace {

constexpr std::uint16_t kUndefinedSection = 0;  // a symbol that names no address here

}  // namespace

NameMap::NameMap(const vk::elf::DebugInfo& debug, const std::vector<vk::elf::Symbol>& symbols,
                 std::vector<std::string_view> names)
    : keys_(std::move(names)) {
    std::sort(keys_.begin(), keys_.end());
    keys_.erase(std::unique(keys_.begin(), keys_.end()), keys_.end());
    LeafMatches matches = findLeaves(debug, keys_, kUpdateArrayLimit);
    leaves_ = std::move(matches.leaves);
    entries_.assign(keys_.size(), AddressEntry{});
    found_.assign(keys_.size(), false);
    // Exact names before aliases before symbols, whatever order they were found in.
    for (std::size_t k = 0; k < keys_.size(); ++k) {
        const std::size_t leaf = matches.exact[k] != kNoLeaf ? matches.exact[k] : matches.alias[k];
        if (leaf == kNoLeaf) continue;
        const vk::elf::Variable& v = leaves_[leaf];
        entries_[k] = AddressEntry{&v, v.address, v.size};
        found_[k] = true;
    }
    // An exact name outranks an alias: the variable buf_2 is what buf_2 names,
    // not the element buf[2], so only the deciding kind of leaf counts.
    elsewhere_ = std::move(matches.exactElsewhere);
    for (const auto& [k, address] : matches.aliasElsewhere)
        if (matches.exact[k] == kNoLeaf) elsewhere_.emplace_back(k, address);
    for (const vk::elf::Symbol& symbol : symbols) {
        if (symbol.type != vk::elf::STT_OBJECT || symbol.name.empty()) continue;
        auto it = std::lower_bound(keys_.begin(), keys_.end(), std::string_view(symbol.name));
        if (it == keys_.end() || *it != symbol.name) continue;
        const auto k = static_cast<std::size_t>(it - keys_.begin());
        if (!found_[k]) {
            entries_[k] = AddressEntry{nullptr, symbol.value, symbol.size};
            found_[k] = true;
        } else if (symbol.shndx != kUndefinedSection && symbol.value != entries_[k].address) {
            elsewhere_.emplace_back(k, symbol.value);
        }
    }
    std::sort(elsewhere_.begin(), elsewhere_.end());
    elsewhere_.erase(std::unique(elsewhere_.begin(), elsewhere_.end()), elsewhere_.end());
}

std::optional<std::size_t> NameMap::keyOf(std::string_view name) const {
    auto it = std::lower_bound(keys_.begin(), keys_.end(), name);
    if (it == keys_.end() || *it != name) return std::nullopt;
    const auto k = static_cast<std::size_t>(it - keys_.begin());
    if (!found_[k]) return std::nullopt;
    return k;
}

const AddressEntry* NameMap::find(std::string_view name) const {
    const std::optional<std::size_t> k = keyOf(name);
    return k ? &entries_[*k] : nullptr;
}

std::vector<std::uint64_t> NameMap::ambiguousAddresses(std::string_view name) const {
    if (elsewhere_.empty()) return {};
    const std::optional<std::size_t> key = keyOf(name);
    if (!key) return {};
    const std::size_t k = *key;
    const AddressEntry* entry = &entries_[k];
    auto it = std::lower_bound(elsewhere_.begin(), elsewhere_.end(), std::make_pair(k, std::uint64_t{0}));
    if (it == elsewhere_.end() || it->first != k) return {};
    std::vector<std::uint64_t> addresses{entry->address};
    for (; it != elsewhere_.end() && it->first == k; ++it) addresses.push_back(it->second);
    std::sort(addresses.begin(), addresses.end());
    return addresses;
}

}  // namespace vk::tool
