#include "tool/selection.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <unordered_map>

#include "elf/flatten.h"
#include "tool/a2l_datatype.h"
#include "tool/a2l_format.h"
#include "tool/identifier.h"
#include "tool/pattern.h"

namespace vk::tool {
namespace {

using vk::elf::Variable;

// The scalars an entry matched after an earlier entry had taken them: its
// warning names the first few.
struct Shadowed {
    std::uint64_t count = 0;
    std::vector<std::string> names;
};
constexpr std::size_t kShadowedNamesShown = 3;

// 32 bits each keep a node of the identifier table in the allocation size
// that the identifier alone needs.
struct IdentifierOwner {
    std::uint32_t item = 0;
    std::uint32_t global = 0;
};

struct SelectionState {
    const vk::elf::DebugInfo& debug;
    const std::vector<VariableSpec>& specs;
    std::vector<bool> used;
    std::vector<Shadowed> shadowed;
    std::unordered_map<std::string, IdentifierOwner> identifiers;
    std::size_t global = 0;  // the position of the global being selected from
    Selection result;
};

const vk::elf::TypeInfo* typeEntry(const vk::elf::DebugInfo& debug, std::int32_t type) {
    if (type < 0 || static_cast<std::size_t>(type) >= debug.types.size()) return nullptr;
    return &debug.types[static_cast<std::size_t>(type)];
}

// The ECU address fields hold 32 bits; a wider address would be written in
// full and then cut by every reader.
bool addressFits(std::uint64_t address) {
    return address <= std::numeric_limits<std::uint32_t>::max();
}

void selectScalar(SelectionState& state, const Variable& scalar, const VariableSpec& spec) {
    const vk::elf::TypeInfo* type = typeEntry(state.debug, scalar.type);
    const std::optional<DatatypeLimits> limits =
        type != nullptr ? a2lDatatypeFor(*type, scalar.size) : std::nullopt;
    if (!limits) {
        state.result.warnings.push_back(scalar.name + ": type " +
                                        vk::elf::typeName(state.debug, scalar.type) + " skipped");
        return;
    }
    if (type->kind == vk::elf::TypeKind::Pointer && !spec.entry.value("pointer", false)) return;
    if (!addressFits(scalar.address)) {
        state.result.warnings.push_back(scalar.name + ": address " + hexAddress(scalar.address) +
                                        " does not fit 32 bits, skipped");
        return;
    }
    std::string identifier = makeA2lIdentifier(scalar.name);
    const auto [owner, fresh] = state.identifiers.try_emplace(
        identifier, IdentifierOwner{static_cast<std::uint32_t>(state.result.items.size()),
                                    static_cast<std::uint32_t>(state.global)});
    if (!fresh) {
        // Names carry no namespace, class or unit: two variables may well share one.
        if (owner->second.global != state.global) {
            const A2lItem& first = state.result.items[owner->second.item];
            state.result.warnings.push_back(
                scalar.name + ": A2L identifier " + identifier + " already taken by " + first.name + " at " +
                hexAddress(first.address) + ", this one at " + hexAddress(scalar.address) + " skipped");
        }
        return;
    }

    A2lItem item;
    item.identifier = std::move(identifier);
    item.name = scalar.name;
    item.address = scalar.address;
    item.type = scalar.type;
    item.size = scalar.size;
    item.bitMask = scalar.bitMask;
    item.isBitField = scalar.isBitField;
    item.typedefNames = scalar.typedefNames;
    item.entry = &spec.entry;
    item.dataType = std::string(limits->keyword);
    item.lower = limits->lower;
    item.upper = limits->upper;
    item.isFloat = limits->isFloat;
    state.result.items.push_back(std::move(item));
}

// Each later entry not used so far that matches the scalar an earlier entry took.
void noteShadowed(SelectionState& state, std::size_t after, const std::string& name) {
    for (std::size_t j = after + 1; j < state.specs.size(); ++j) {
        if (state.used[j] || !entryMatches(state.specs[j].pattern, name)) continue;
        Shadowed& shadowed = state.shadowed[j];
        if (shadowed.names.size() < kShadowedNamesShown) shadowed.names.push_back(name);
        ++shadowed.count;
    }
}

// Returns whether any scalar of the global matched an entry.
bool selectGlobal(SelectionState& state, const std::vector<Variable>& scalars) {
    bool matched = false;
    for (const Variable& scalar : scalars) {
        for (std::size_t i = 0; i < state.specs.size(); ++i) {
            if (!entryMatches(state.specs[i].pattern, scalar.name)) continue;
            state.used[i] = true;
            matched = true;
            noteShadowed(state, i, scalar.name);
            selectScalar(state, scalar, state.specs[i]);
            break;
        }
    }
    return matched;
}

// A value that no scalar can describe answers the entries that name it, or
// something under it: they get its warning rather than "matches no
// variable". Returns whether the warning is of such a value and an entry
// named it.
bool claimLeftOutValue(SelectionState& state, std::string_view warning) {
    const std::optional<vk::elf::LeftOutValue> value = vk::elf::leftOutValue(warning);
    if (!value) return false;
    const std::string name(value->name);
    bool claimed = false;
    for (std::size_t i = 0; i < state.specs.size(); ++i) {
        const std::string& pattern = state.specs[i].pattern;
        const bool names = entryMatches(pattern, name) ||
                           (!value->whole && (entryMaySelectWithin(pattern, name + ".") ||
                                              entryMaySelectWithin(pattern, name + "[")));
        if (!names) continue;
        state.used[i] = true;
        claimed = true;
    }
    return claimed;
}

// What the entries may select, for the expansion to leave the rest out; null
// when an entry's pattern begins with a star, which every name can match.
const vk::elf::WantedPrefix* wantedOf(const std::vector<VariableSpec>& specs, vk::elf::WantedPrefix& wanted) {
    for (const VariableSpec& spec : specs) {
        if (!spec.pattern.empty() && spec.pattern[0] == '*') return nullptr;
    }
    wanted = [&specs](std::string_view prefix) {
        return std::any_of(specs.begin(), specs.end(), [prefix](const VariableSpec& spec) {
            return entryMaySelectWithin(spec.pattern, prefix);
        });
    };
    return &wanted;
}

// For an entry that selected nothing: where an expansion stopped early, what
// it names may lie beyond, and "matches no variable" would be untrue.
std::string unmatchedWarning(const std::string& pattern, const std::vector<std::string_view>& stopped) {
    for (std::string_view global : stopped) {
        if (entryMaySelectWithin(pattern, global)) {
            return "'" + pattern + "' matches no variable up to where the expansion of " +
                   std::string(global) + " stopped; what it names may lie beyond";
        }
    }
    return "'" + pattern + "' matches no variable in the ELF file";
}

std::string unusedEntryWarning(const std::string& pattern, const Shadowed& shadowed,
                               const std::vector<std::string_view>& stopped) {
    if (shadowed.count == 0) return unmatchedWarning(pattern, stopped);
    std::string names;
    for (const std::string& name : shadowed.names) names += (names.empty() ? "" : ", ") + name;
    if (shadowed.count > shadowed.names.size())
        names += " and " + std::to_string(shadowed.count - shadowed.names.size()) + " more";
    return "'" + pattern + "': every match already taken by an earlier entry (" + names + ")";
}

}  // namespace

bool entryMatches(std::string_view pattern, std::string_view name) {
    if (name == pattern || matchPattern(pattern, name)) return true;
    return pattern.size() < name.size() && name.substr(0, pattern.size()) == pattern &&
           (name[pattern.size()] == '.' || name[pattern.size()] == '[');
}

bool entryMaySelectWithin(std::string_view pattern, std::string_view prefix) {
    return prefixCanMatch(pattern, prefix) || entryMatches(pattern, prefix);
}

Selection selectItems(const vk::elf::DebugInfo& debug, const std::vector<VariableSpec>& specs,
                      std::uint64_t arrayLimit, vk::elf::ExpansionBudget* run) {
    SelectionState state{
        debug, specs, std::vector<bool>(specs.size(), false), std::vector<Shadowed>(specs.size()), {}, 0, {}};
    vk::elf::ExpansionBudget unbounded{~std::uint64_t{0}, ~std::uint64_t{0}, ~std::uint64_t{0}, false};
    if (run == nullptr) run = &unbounded;
    vk::elf::WantedPrefix wantedStore;
    const vk::elf::WantedPrefix* wanted = wantedOf(specs, wantedStore);
    std::vector<std::string_view> stopped;  // globals whose expansion ended early
    for (const vk::elf::GlobalVariable& global : debug.globals) {
        std::vector<std::string> flattenWarnings;
        const std::vector<Variable> scalars =
            vk::elf::flattenVariable(debug, global, arrayLimit, &flattenWarnings, run, wanted);
        if (run->lastStopped) stopped.push_back(global.name);
        const bool matched = selectGlobal(state, scalars);
        for (std::string& warning : flattenWarnings) {
            if (claimLeftOutValue(state, warning) || matched)
                state.result.warnings.push_back(std::move(warning));
        }
        ++state.global;
    }
    if (run->reached) state.result.warnings.push_back(vk::elf::budgetReachedMessage(*run));
    for (std::size_t i = 0; i < specs.size(); ++i) {
        if (!state.used[i]) {
            state.result.warnings.push_back(unusedEntryWarning(specs[i].pattern, state.shadowed[i], stopped));
        }
    }
    return std::move(state.result);
}

}  // namespace vk::tool
