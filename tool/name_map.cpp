#include "tool/name_map.h"

#include <algorithm>
#include <unordered_map>
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
    // Exact names before aliases before identifiers before symbols, whatever
    // order they were found in; every address a name leads to is kept, since
    // none of these ways outranks another: buf_2 may be the variable buf_2 or
    // the element buf[2], a_b the variable a_b or the identifier of a$b.
    // Each kind is taken for every key before the next, so that a key's entry
    // is settled before any address is compared with it.
    auto note = [this](std::size_t k, std::uint64_t address) {
        if (address != entries_[k].address) elsewhere_.emplace_back(k, address);
    };
    auto take = [&](std::size_t k, std::size_t leaf) {
        const vk::elf::Variable& v = leaves_[leaf];
        if (!found_[k]) entries_[k] = AddressEntry{&v, v.address, v.size};
        found_[k] = true;
        note(k, v.address);
    };
    for (const std::vector<std::size_t>* first : {&matches.exact, &matches.alias})
        for (std::size_t k = 0; k < keys_.size(); ++k)
            if ((*first)[k] != kNoLeaf) take(k, (*first)[k]);
    for (const auto& [k, leaf] : matches.identifier) take(k, leaf);
    for (const auto* later : {&matches.exactElsewhere, &matches.aliasElsewhere, &matches.identifierElsewhere})
        for (const auto& [k, address] : *later) note(k, address);
    std::vector<std::size_t> symbolOnly;
    for (const vk::elf::Symbol& symbol : symbols) {
        if (symbol.type != vk::elf::STT_OBJECT || symbol.name.empty()) continue;
        auto it = std::lower_bound(keys_.begin(), keys_.end(), std::string_view(symbol.name));
        if (it == keys_.end() || *it != symbol.name) continue;
        const auto k = static_cast<std::size_t>(it - keys_.begin());
        if (!found_[k]) {
            entries_[k] = AddressEntry{nullptr, symbol.value, symbol.size};
            found_[k] = true;
            symbolOnly.push_back(k);
        } else if (symbol.shndx != kUndefinedSection) {
            note(k, symbol.value);
        }
    }
    std::sort(elsewhere_.begin(), elsewhere_.end());
    elsewhere_.erase(std::unique(elsewhere_.begin(), elsewhere_.end()), elsewhere_.end());
    findSymbolVariables(debug, symbolOnly);
}

// One look at each global, and only when some name is a symbol alone.
void NameMap::findSymbolVariables(const vk::elf::DebugInfo& debug,
                                  const std::vector<std::size_t>& symbolOnly) {
    if (symbolOnly.empty()) return;
    std::unordered_map<std::string_view, std::size_t> wanted;
    for (std::size_t k : symbolOnly) wanted.emplace(keys_[k], k);
    for (const vk::elf::GlobalVariable& global : debug.globals) {
        auto it = wanted.find(global.name);
        if (it == wanted.end() || global.address != entries_[it->second].address) continue;
        symbolVariables_.emplace_back(it->second, &global);
        wanted.erase(it);
    }
    std::sort(symbolVariables_.begin(), symbolVariables_.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
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

const vk::elf::GlobalVariable* NameMap::symbolVariable(std::string_view name) const {
    const std::optional<std::size_t> k = keyOf(name);
    if (!k) return nullptr;
    auto it = std::lower_bound(symbolVariables_.begin(), symbolVariables_.end(), *k,
                               [](const auto& entry, std::size_t key) { return entry.first < key; });
    return it != symbolVariables_.end() && it->first == *k ? it->second : nullptr;
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
