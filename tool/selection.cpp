#include "tool/selection.h"

#include <algorithm>
#include <functional>
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

struct SelectionState {
    const vk::elf::DebugInfo& debug;
    const std::vector<VariableSpec>& specs;
    std::uint64_t arrayLimit = 0;
    std::vector<bool> used;
    std::vector<Shadowed> shadowed;
    // Per identifier the item that holds it; 32 bits keep a node of the table
    // in the allocation size that the identifier alone needs.
    std::unordered_map<std::string, std::uint32_t> identifiers;
    std::size_t global = 0;               // the position of the global being selected from
    std::vector<std::size_t> cutGlobals;  // those in which the limit cut an array short
    vk::elf::ExpansionBudget recheck;     // for looking past the array limit
    Selection result;
};

const vk::elf::TypeInfo* typeEntry(const vk::elf::DebugInfo& debug, std::int32_t type) {
    if (type < 0 || static_cast<std::size_t>(type) >= debug.types.size()) return nullptr;
    return &debug.types[static_cast<std::size_t>(type)];
}

// Each item's conversion is named CM_ and its identifier, its verbal table VT_
// and the identifier.
constexpr std::size_t kConversionPrefix = 3;

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
    if (identifier.size() + kConversionPrefix > kMaxA2lIdentifier) {
        state.result.warnings.push_back(
            scalar.name + ": skipped: its A2L identifier of " + std::to_string(identifier.size()) +
            " characters, or the name of its conversion, would exceed the " +
            std::to_string(kMaxA2lIdentifier) + " characters an A2L identifier holds");
        return;
    }
    const auto [owner, fresh] =
        state.identifiers.try_emplace(identifier, static_cast<std::uint32_t>(state.result.items.size()));
    if (!fresh) {
        // Names carry no namespace, class or unit: two variables may well share
        // one, and so may two members of one variable (a derived class's member
        // over its base's, names that differ only in bytes an identifier cannot hold).
        const A2lItem& first = state.result.items[owner->second];
        state.result.warnings.push_back(
            scalar.name + ": A2L identifier " + identifier + " already taken by " + first.name + " at " +
            hexAddress(first.address) + ", this one at " + hexAddress(scalar.address) + " skipped");
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
        const bool names =
            entryMatches(pattern, name) || (!value->whole && (entryMaySelectWithin(pattern, name + ".") ||
                                                              entryMaySelectWithin(pattern, name + "[")));
        if (!names) continue;
        state.used[i] = true;
        claimed = true;
    }
    return claimed;
}

// A global's flattening warnings are kept where a scalar of it matched, or
// where they answer an entry; an array cut short is noted for the entries
// that will have matched nothing.
void takeFlattenWarnings(SelectionState& state, std::vector<std::string>& warnings, bool matched) {
    for (std::string& warning : warnings) {
        if (vk::elf::truncatedArray(warning) &&
            (state.cutGlobals.empty() || state.cutGlobals.back() != state.global))
            state.cutGlobals.push_back(state.global);
        if (claimLeftOutValue(state, warning) || matched) state.result.warnings.push_back(std::move(warning));
    }
}

// The pattern's view of the names: what it may select under a prefix.
vk::elf::WantedPrefix wantedBy(const std::string& pattern) {
    return [&pattern](std::string_view prefix) { return entryMaySelectWithin(pattern, prefix); };
}

// The first scalar of the global that the pattern selects once no array
// limit applies; only what the pattern may select is expanded.
std::optional<std::string> firstUnlimitedMatch(SelectionState& state, const vk::elf::GlobalVariable& global,
                                               const std::string& pattern) {
    const vk::elf::WantedPrefix wanted = wantedBy(pattern);
    std::optional<std::string> found;
    const std::function<void(const Variable&)> visit = [&](const Variable& leaf) {
        if (!found && entryMatches(pattern, leaf.name)) found = leaf.name;
    };
    vk::elf::forEachLeaf(state.debug, global, ~std::uint64_t{0}, visit, &state.recheck, nullptr, &wanted);
    return found;
}

// Of the arrays that the limit cuts short on the way to the scalar, the
// innermost: the others took the indices on its way.
std::string cuttingArray(SelectionState& state, const vk::elf::GlobalVariable& global,
                         const std::string& pattern, const std::string& scalar) {
    const vk::elf::WantedPrefix wanted = wantedBy(pattern);
    std::vector<std::string> warnings;
    vk::elf::flattenVariable(state.debug, global, state.arrayLimit, &warnings, &state.recheck, &wanted);
    std::string_view innermost = global.name;
    for (const std::string& warning : warnings) {
        const std::optional<std::string_view> array = vk::elf::truncatedArray(warning);
        if (array && array->size() > innermost.size() && scalar.starts_with(*array) &&
            scalar[array->size()] == '[')
            innermost = *array;
    }
    return std::string(innermost);
}

// For an entry that selected nothing: the warning that what it names lies
// past the limit of an array, when expanding without the limit finds it.
std::optional<std::string> beyondArrayLimit(SelectionState& state, const std::string& pattern) {
    for (const std::size_t index : state.cutGlobals) {
        const vk::elf::GlobalVariable& global = state.debug.globals[index];
        if (state.recheck.reached || !entryMaySelectWithin(pattern, global.name)) continue;
        const std::optional<std::string> scalar = firstUnlimitedMatch(state, global, pattern);
        if (!scalar) continue;
        return "'" + pattern + "': " + *scalar + " lies beyond the array limit of " +
               cuttingArray(state, global, pattern, *scalar) + ", whose first " +
               std::to_string(state.arrayLimit) + " elements are taken (\"maxArrayElements\")";
    }
    return std::nullopt;
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

std::string unusedEntryWarning(SelectionState& state, const std::string& pattern, const Shadowed& shadowed,
                               const std::vector<std::string_view>& stopped) {
    if (shadowed.count == 0) {
        std::optional<std::string> beyond = beyondArrayLimit(state, pattern);
        return beyond ? std::move(*beyond) : unmatchedWarning(pattern, stopped);
    }
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
    vk::elf::ExpansionBudget unbounded{~std::uint64_t{0}, ~std::uint64_t{0}, ~std::uint64_t{0}, false};
    if (run == nullptr) run = &unbounded;
    SelectionState state{debug,
                         specs,
                         arrayLimit,
                         std::vector<bool>(specs.size(), false),
                         std::vector<Shadowed>(specs.size()),
                         {},
                         0,
                         {},
                         {run->limit, ~std::uint64_t{0}, run->limit, false},
                         {}};
    vk::elf::WantedPrefix wantedStore;
    const vk::elf::WantedPrefix* wanted = wantedOf(specs, wantedStore);
    std::vector<std::string_view> stopped;  // globals whose expansion ended early
    for (const vk::elf::GlobalVariable& global : debug.globals) {
        std::vector<std::string> flattenWarnings;
        const std::vector<Variable> scalars =
            vk::elf::flattenVariable(debug, global, arrayLimit, &flattenWarnings, run, wanted);
        if (run->lastStopped) stopped.push_back(global.name);
        takeFlattenWarnings(state, flattenWarnings, selectGlobal(state, scalars));
        ++state.global;
    }
    if (run->reached) state.result.warnings.push_back(vk::elf::budgetReachedMessage(*run));
    for (std::size_t i = 0; i < specs.size(); ++i) {
        if (!state.used[i]) {
            state.result.warnings.push_back(
                unusedEntryWarning(state, specs[i].pattern, state.shadowed[i], stopped));
        }
    }
    return std::move(state.result);
}

}  // namespace vk::tool
