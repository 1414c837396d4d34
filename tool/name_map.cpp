#include "tool/name_map.h"

#include <algorithm>
#include <utility>

#include "tool/leaf_search.h"

namespace vk::tool {

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
    for (const vk::elf::Symbol& symbol : symbols) {
        if (symbol.type != vk::elf::STT_OBJECT || symbol.name.empty()) continue;
        auto it = std::lower_bound(keys_.begin(), keys_.end(), std::string_view(symbol.name));
        if (it == keys_.end() || *it != symbol.name) continue;
        const auto k = static_cast<std::size_t>(it - keys_.begin());
        if (found_[k]) continue;
        entries_[k] = AddressEntry{nullptr, symbol.value, symbol.size};
        found_[k] = true;
    }
}

const AddressEntry* NameMap::find(std::string_view name) const {
    auto it = std::lower_bound(keys_.begin(), keys_.end(), name);
    if (it == keys_.end() || *it != name) return nullptr;
    const auto k = static_cast<std::size_t>(it - keys_.begin());
    return found_[k] ? &entries_[k] : nullptr;
}

}  // namespace vk::tool
