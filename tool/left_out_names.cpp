#include "tool/left_out_names.h"

#include <algorithm>
#include <array>
#include <functional>
#include <optional>
#include <utility>

#include "elf/flatten.h"
#include "tool/identifier.h"
#include "tool/leaf_search.h"

namespace vk::tool {
namespace {

using vk::elf::GlobalVariable;

// The three ways an A2L text may write a flattened name.
std::array<std::string, 3> formsOf(std::string_view name) {
    const std::string exact(name);
    return {exact, flattenIndices(exact), makeA2lIdentifier(exact)};
}

bool isBoundary(char c) {
    return c == '.' || c == '[' || c == '_';
}

// Whether `key` names the value `name`, or (unless the value is whole)
// something under it.
bool names(std::string_view key, std::string_view name, bool whole) {
    for (const std::string& form : formsOf(name)) {
        if (key == form) return true;
        if (!whole && key.size() > form.size() && key.starts_with(form) && isBoundary(key[form.size()]))
            return true;
    }
    return false;
}

}  // namespace

// Every global by each of its forms, sorted, so that the globals a key may
// lie under are found by its prefixes.
class GlobalsByName {
public:
    explicit GlobalsByName(const std::vector<GlobalVariable>& globals) {
        for (std::uint32_t g = 0; g < globals.size(); ++g) {
            const std::string_view name = globals[g].name;
            // Most names are their own alias and identifier.
            if (isA2lIdentifier(name) && name.find_first_of("[]") == std::string_view::npos) {
                entries_.emplace_back(name, g);
                continue;
            }
            const std::array<std::string, 3> forms = formsOf(name);
            for (std::size_t f = 0; f < forms.size(); ++f)
                if (f == 0 || forms[f] != forms[0]) entries_.emplace_back(forms[f], g);
        }
        std::sort(entries_.begin(), entries_.end());
        entries_.erase(std::unique(entries_.begin(), entries_.end()), entries_.end());
    }

    // The globals named by a prefix of the key that ends at a boundary, or
    // by the whole key, in the order of the debug information.
    std::vector<std::uint32_t> under(std::string_view key) const {
        std::vector<std::uint32_t> found;
        for (std::size_t end = 1; end <= key.size(); ++end) {
            if (end < key.size() && !isBoundary(key[end])) continue;
            const std::string prefix(key.substr(0, end));
            auto it = std::lower_bound(entries_.begin(), entries_.end(), std::make_pair(prefix, 0u));
            for (; it != entries_.end() && it->first == prefix; ++it) found.push_back(it->second);
        }
        std::sort(found.begin(), found.end());
        found.erase(std::unique(found.begin(), found.end()), found.end());
        return found;
    }

private:
    std::vector<std::pair<std::string, std::uint32_t>> entries_;
};

namespace {

// The warning of the first value left out under `global` that the key
// names; only the path to the key is expanded, elements however far out.
std::optional<std::string> leftOutUnder(const vk::elf::DebugInfo& debug, const GlobalVariable& global,
                                        std::string_view key, vk::elf::ExpansionBudget& budget) {
    const vk::elf::WantedPrefix wanted = [key](std::string_view prefix) {
        for (const std::string& form : formsOf(prefix))
            if (key.starts_with(form)) return true;
        return false;
    };
    std::vector<std::string> warnings;
    vk::elf::forEachLeaf(
        debug, global, ~std::uint64_t{0}, [](const vk::elf::Variable&) {}, &budget, &warnings, &wanted);
    for (std::string& warning : warnings) {
        const std::optional<vk::elf::LeftOutValue> value = vk::elf::leftOutValue(warning);
        if (value && names(key, value->name, value->whole)) return std::move(warning);
    }
    return std::nullopt;
}

}  // namespace

LeftOutNames::LeftOutNames(const vk::elf::ElfFile& elf, const vk::elf::DebugInfo& debug)
    : debug_(debug), budget_(vk::elf::expansionBudget(elf)) {}

LeftOutNames::~LeftOutNames() = default;

std::string LeftOutNames::warningFor(std::string_view name) {
    if (!globals_) globals_ = std::make_unique<GlobalsByName>(debug_.globals);
    for (std::uint32_t g : globals_->under(name)) {
        if (budget_.reached) break;
        if (std::optional<std::string> warning = leftOutUnder(debug_, debug_.globals[g], name, budget_))
            return std::move(*warning);
    }
    return {};
}

}  // namespace vk::tool
