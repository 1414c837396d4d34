#include "elf/flatten.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace vk::elf {

namespace {

constexpr std::int32_t maxDepth = 16;
constexpr int kMaxTypedefNames = 32;  // as typedefNames walks

// Why a value is left out, after kLeftOutMark. An expansion names the first
// kLeftOutNamed such values one by one; debug information made to hold
// millions gets one line for the rest.
constexpr std::uint64_t kLeftOutNamed = 8;
constexpr std::string_view kBeyondDepth =
    "its expansion stopped at the depth bound, 16 levels below its variable";
constexpr std::string_view kAliasChain =
    "its expansion stopped at the depth bound of 64 typedef and qualifier links";
constexpr std::string_view kCountTooWide = "its dimensions give more elements than 64 bits can count";

// The state of one expansion, shared by every step of it. `name` is the
// name of the value at hand; each step appends its part and takes it off
// again. Leaves go to `out` whole, or else to `visit` through `scratch`,
// which keeps its allocation from leaf to leaf. Array-limit warnings go to
// `arrayWarnings`, all others to `warnings`.
struct Walk {
    const DebugInfo& debug;
    std::uint64_t arrayLimit;
    std::vector<Variable>* out;
    const std::function<void(const Variable&)>* visit;
    std::vector<std::string>* warnings;
    std::string name;
    ExpansionBudget* run = nullptr;
    std::vector<std::string>* arrayWarnings = nullptr;
    const WantedPrefix* wanted = nullptr;
    Variable scratch{};
    std::uint64_t values = kFlattenValueBudget;
    std::uint64_t bytes = kFlattenByteBudget;
    bool exhausted = false;
    std::vector<std::string> namedLeftOut{};  // the warnings of the values named as left out
    bool moreLeftOut = false;                 // and more than were named
    std::uint64_t startValues = 0;            // of values and bytes, when a run's budget is charged
    std::uint64_t startBytes = 0;

    // Whether a value left out would still be named: the test of whether it
    // holds anything is spared once it would not.
    bool naming() const { return warnings != nullptr && !moreLeftOut; }

    // The walk's own bounds, or what is left of the run's where that is less.
    void start() {
        if (run == nullptr) return;
        values = std::min(values, run->values);
        bytes = std::min(bytes, run->bytes);
        startValues = values;
        startBytes = bytes;
    }
    // Charges the run with what the walk spent; true when the run's budget
    // rather than the walk's own bounds stopped it.
    bool finish() {
        if (run == nullptr) return false;
        run->values -= startValues - values;
        run->bytes -= startBytes - bytes;
        const bool stoppedByRun =
            exhausted && (values == 0 ? startValues < kFlattenValueBudget : startBytes < kFlattenByteBudget);
        run->reached = run->reached || stoppedByRun;
        return stoppedByRun;
    }

    // Takes `cost` bytes from the budget; false (and the walk ends) when they
    // are not left.
    bool spend(std::uint64_t cost) {
        if (cost > bytes) {
            exhausted = true;
            return false;
        }
        bytes -= cost;
        return true;
    }
};

// What the typedef names of a declared type cost in the byte budget.
std::uint64_t typedefNameBytes(const std::vector<TypeInfo>& types, std::int32_t index) {
    std::uint64_t bytes = 0;
    for (int n = 0; n < kMaxTypedefNames && index >= 0 && static_cast<std::size_t>(index) < types.size();
         ++n) {
        const TypeInfo& t = types[static_cast<std::size_t>(index)];
        if (t.kind == TypeKind::Typedef)
            bytes += sizeof(std::string) + t.name.size();
        else if (t.kind != TypeKind::Qualified)
            break;
        index = t.target;
    }
    return bytes;
}

// The entry at `index`, or null for -1 and for an index past the table,
// which only hand-made debug information can hold.
const TypeInfo* entryAt(const DebugInfo& debug, std::int32_t index) {
    if (index < 0 || static_cast<std::size_t>(index) >= debug.types.size()) return nullptr;
    return &debug.types[static_cast<std::size_t>(index)];
}

// The element count over all dimensions, 1 without any; empty where the
// product does not fit 64 bits, whose index texts would repeat.
std::optional<std::uint64_t> elementCount(const TypeInfo& array) {
    std::uint64_t count = 1;
    bool wraps = false;
    for (std::uint64_t dim : array.dims) {
        if (dim == 0) return 0;
        wraps = wraps || count > std::numeric_limits<std::uint64_t>::max() / dim;
        count *= dim;
    }
    if (wraps) return std::nullopt;
    return count;
}

// Whether a value of this entry gives leaves, judged by the entry alone, so
// that a value cut off by the depth bound is named only where it holds some.
bool holdsValues(const DebugInfo& debug, const TypeInfo& entry) {
    switch (entry.kind) {
        case TypeKind::Base:
        case TypeKind::Enum:
        case TypeKind::Pointer:
        case TypeKind::Typedef:  // a chain too long to follow
        case TypeKind::Qualified:
            return true;
        case TypeKind::Array:
            return elementCount(entry) != 0 && entryAt(debug, entry.target) != nullptr;
        case TypeKind::Struct:
        case TypeKind::Union:
            return !entry.members.empty();
        default:
            return false;
    }
}

bool holdsValues(const DebugInfo& debug, std::int32_t declared) {
    if (entryAt(debug, declared) == nullptr) return false;
    const TypeInfo* entry = entryAt(debug, resolveAlias(debug.types, declared));
    return entry != nullptr && holdsValues(debug, *entry);
}

// Adds a warning unless the byte budget has no room for it.
void warn(Walk& walk, std::string warning) {
    if (!walk.spend(sizeof(std::string) + warning.size())) return;
    walk.warnings->push_back(std::move(warning));
}

// The value at hand, with all under it, cannot be described. A value met
// twice (a virtual base reached through both sides of a diamond) is named once.
void leaveOut(Walk& walk, std::string_view why) {
    if (!walk.naming()) return;
    std::string warning = leftOutWarning(walk.name, why);
    if (std::find(walk.namedLeftOut.begin(), walk.namedLeftOut.end(), warning) != walk.namedLeftOut.end())
        return;
    if (walk.namedLeftOut.size() == kLeftOutNamed) {
        walk.moreLeftOut = true;
        return;
    }
    walk.namedLeftOut.push_back(warning);
    warn(walk, std::move(warning));
}

// True when the caller's wanted test rejects the name at hand, which then
// costs one value visited and is not expanded.
bool leftOut(Walk& walk) {
    if ((*walk.wanted)(walk.name)) return false;
    if (walk.values == 0)
        walk.exhausted = true;
    else
        --walk.values;
    return true;
}

// The test without a wanted test stays in the loops that every value passes.
inline bool unwanted(Walk& walk) {
    return walk.wanted != nullptr && leftOut(walk);
}

// Whether any element of the array at hand can be wanted.
bool elementsUnwanted(Walk& walk) {
    if (walk.wanted == nullptr) return false;
    walk.name += '[';
    const bool none = unwanted(walk);
    walk.name.pop_back();
    return none;
}

void step(Walk& walk, std::uint64_t address, std::int32_t type, std::int32_t depth);

// Warns of an entry without its definition; false for one that has it.
bool warnUndefined(Walk& walk, std::int32_t resolved) {
    const Definition definition = definitionOf(walk.debug, resolved);
    if (definition == Definition::Found) return false;
    std::string why = "type " + typeName(walk.debug, resolved);
    why += definition == Definition::Missing ? " is only declared, no unit defines it"
                                             : " has definitions that differ in size or members";
    why += " - build with -fstandalone-debug (clang) or -femit-class-debug-always (gcc)";
    leaveOut(walk, why);
    return true;
}

// A structure, union or enumeration whose definition the debug information
// lacks: nothing of its values can be placed. Only such an entry has neither
// members nor enumerators, which keeps the test off the path of most values.
inline bool leftOutUndefined(Walk& walk, std::int32_t resolved, const TypeInfo& entry) {
    return entry.members.empty() && entry.enumerators.empty() && !walk.debug.undefined.empty() &&
           warnUndefined(walk, resolved);
}

// With a wanted test, the elements of an array are found digit by digit of
// their index text, so that one index named among millions is reached
// without visiting the others; each digit string left out costs one value.
// Indices of one digit come before those of two and so on, which keeps the
// row-major order. Only for arrays whose dimensions neither wrap nor reach
// kScanBound, which keeps the arithmetic below in range.
constexpr int kScanDigits = 18;
constexpr std::uint64_t kScanBound = 1000000000000000000;  // 10^18

struct ElementScan {
    Walk& walk;
    const TypeInfo& array;
    std::uint64_t address;
    std::uint64_t stride;
    std::uint64_t taken;
    std::int32_t depth;
};

// One dimension in the scan: its index in the array's dimensions, the
// row-major position of the indices before it, its size, and the elements
// under one of its indices.
struct ScanLevel {
    std::size_t index;
    std::uint64_t outer;
    std::uint64_t dim;
    std::uint64_t inner;
};

std::uint64_t powerOfTen(int exponent) {
    std::uint64_t value = 1;
    while (exponent-- > 0) value *= 10;
    return value;
}

// Each of these returns false once the scan is over: past the elements
// taken, or the walk ended.
bool scanDimension(ElementScan& scan, std::size_t index, std::uint64_t outer, std::uint64_t under);

bool scanIndex(ElementScan& scan, const ScanLevel& level, std::uint64_t value) {
    const std::uint64_t position = level.outer * level.dim + value;
    if (position * level.inner >= scan.taken) return false;
    Walk& walk = scan.walk;
    walk.name += ']';
    bool more = true;
    if (level.index + 1 < scan.array.dims.size())
        more = scanDimension(scan, level.index + 1, position, level.inner);
    else if (!unwanted(walk))
        step(walk, scan.address + position * scan.stride, scan.array.target, scan.depth + 1);
    walk.name.pop_back();
    return more && !walk.exhausted;
}

// The indices in [low, high) that begin with the digits of `value`, written
// already, and have `rest` digits more.
bool scanDigits(ElementScan& scan, const ScanLevel& level, std::uint64_t value, int rest, std::uint64_t low,
                std::uint64_t high) {
    const std::uint64_t span = powerOfTen(rest - 1);
    Walk& walk = scan.walk;
    for (int digit = 0; digit < 10; ++digit) {
        const std::uint64_t prefix = value * 10 + static_cast<std::uint64_t>(digit);
        if (prefix * span >= high) break;
        if (prefix * span + span - 1 < low) continue;
        walk.name += static_cast<char>('0' + digit);
        bool more = true;
        if (!unwanted(walk))
            more = rest == 1 ? scanIndex(scan, level, prefix)
                             : scanDigits(scan, level, prefix, rest - 1, low, high);
        walk.name.pop_back();
        if (!more || walk.exhausted) return false;
    }
    return true;
}

bool scanDimension(ElementScan& scan, std::size_t index, std::uint64_t outer, std::uint64_t under) {
    const std::uint64_t dim = scan.array.dims[index];
    const ScanLevel level{index, outer, dim, under / dim};
    scan.walk.name += '[';
    bool more = true;
    for (int digits = 1; more && digits <= kScanDigits; ++digits) {
        const std::uint64_t low = digits == 1 ? 0 : powerOfTen(digits - 1);
        if (low >= dim) break;
        more = scanDigits(scan, level, 0, digits, low, std::min(powerOfTen(digits), dim));
    }
    scan.walk.name.pop_back();
    return more;
}

void scanElements(ElementScan scan, std::uint64_t count) {
    if (scan.taken > 0) scanDimension(scan, 0, 0, count);
}

// Whether the element scan can serve this array: dimensions given, none 0,
// and a product that neither wraps nor reaches kScanBound.
bool scannable(const TypeInfo& array) {
    if (array.dims.empty()) return false;
    std::uint64_t count = 1;
    for (std::uint64_t dim : array.dims) {
        if (dim == 0 || dim >= kScanBound / count) return false;
        count *= dim;
    }
    return true;
}

// The array-limit warning for an array of `count` elements; false when the
// byte budget has no room for it.
bool warnArrayLimit(Walk& walk, std::uint64_t count) {
    std::string warning = walk.name + std::string(kArrayLimitMark) + std::to_string(walk.arrayLimit) +
                          " of " + std::to_string(count) + std::string(kArrayLimitEnd);
    if (!walk.spend(sizeof(std::string) + warning.size())) return false;
    walk.arrayWarnings->push_back(std::move(warning));
    return true;
}

void stepArray(Walk& walk, std::uint64_t address, const TypeInfo& array, std::int32_t depth) {
    if (elementsUnwanted(walk)) return;
    const std::optional<std::uint64_t> counted = elementCount(array);
    if (!counted) {
        leaveOut(walk, kCountTooWide);
        return;
    }
    const std::uint64_t count = *counted;
    if (depth >= maxDepth) {
        // The elements would lie past the bound: one warning for all of them,
        // each counted as visited, as a step at that depth would count it.
        if (count != 0 && walk.naming() && holdsValues(walk.debug, array.target))
            leaveOut(walk, kBeyondDepth);
        const std::uint64_t taken = std::min(walk.arrayLimit, count);
        walk.exhausted = walk.exhausted || taken > walk.values;
        walk.values -= std::min(taken, walk.values);
        return;
    }
    // One warning for the array, not one for each element.
    const std::int32_t element = resolveAlias(walk.debug.types, array.target);
    if (const TypeInfo* e = entryAt(walk.debug, element); e != nullptr && leftOutUndefined(walk, element, *e))
        return;
    const std::uint64_t stride = byteSize(walk.debug.types, array.target);
    if (walk.arrayLimit < count && walk.arrayWarnings != nullptr && !warnArrayLimit(walk, count)) return;
    const std::uint64_t taken = std::min(walk.arrayLimit, count);
    if (walk.wanted != nullptr && scannable(array)) {
        scanElements(ElementScan{walk, array, address, stride, taken, depth}, count);
        return;
    }
    const std::size_t mark = walk.name.size();
    for (std::uint64_t i = 0; i < taken && !walk.exhausted; ++i) {
        appendIndexText(walk.name, array.dims, count, i);
        if (!unwanted(walk)) step(walk, address + i * stride, array.target, depth + 1);
        walk.name.resize(mark);
    }
}

// Hands one leaf on, `declared` being the type whose typedef names it carries
// (-1 for none), unless the byte budget is spent.
void emit(Walk& walk, std::uint64_t address, std::int32_t type, std::uint64_t size, std::uint64_t mask,
          bool isBitField, std::int32_t declared) {
    const std::uint64_t cost = sizeof(Variable) + walk.name.size() +
                               (declared < 0 ? 0 : typedefNameBytes(walk.debug.types, declared));
    if (!walk.spend(cost)) return;
    if (walk.out != nullptr) {
        walk.out->push_back(
            Variable{walk.name, address, type, size, mask, isBitField,
                     declared < 0 ? std::vector<std::string>{} : typedefNames(walk.debug.types, declared)});
        return;
    }
    Variable& leaf = walk.scratch;
    leaf.name.assign(walk.name);
    leaf.address = address;
    leaf.type = type;
    leaf.size = size;
    leaf.bitMask = mask;
    leaf.isBitField = isBitField;
    (*walk.visit)(leaf);
}

void bitFieldLeaf(Walk& walk, std::uint64_t address, const Member& member) {
    const DebugInfo& debug = walk.debug;
    if (member.storageSize == kNoBitWindow) {
        if (walk.warnings != nullptr) warn(walk, walk.name + std::string(kBitFieldLeftOut));
        return;
    }
    const bool typed = entryAt(debug, member.type) != nullptr;
    const std::int32_t type = typed ? resolveAlias(debug.types, member.type) : -1;
    emit(walk, address, type, bitFieldSize(debug, type, member), bitFieldMask(member), true,
         typed ? member.type : -1);
}

void warnVirtualBase(Walk& walk, const Member& base) {
    const TypeInfo* type = entryAt(walk.debug, resolveAlias(walk.debug.types, base.type));
    leaveOut(walk, "the members of its virtual base class " +
                       std::string(type != nullptr ? type->name : std::string_view()) +
                       ", which only the running program places");
}

void stepMembers(Walk& walk, std::uint64_t address, const TypeInfo& aggregate, std::int32_t depth) {
    const std::size_t mark = walk.name.size();
    for (const Member& member : aggregate.members) {
        if (walk.exhausted) return;
        // Unnamed members and base classes put their own members directly
        // under the enclosing name.
        if (!member.name.empty()) {
            walk.name += '.';
            walk.name += member.name;
            if (unwanted(walk)) {
                walk.name.resize(mark);
                continue;
            }
        }
        const std::uint64_t memberAddress = address + member.offset;
        if (member.bitSize == 0) {
            if (member.storageSize == kVirtualBase)
                warnVirtualBase(walk, member);
            else
                step(walk, memberAddress, member.type, depth + 1);
        } else if (walk.values == 0) {
            walk.exhausted = true;
        } else {
            --walk.values;
            bitFieldLeaf(walk, memberAddress, member);
        }
        walk.name.resize(mark);
    }
}

void step(Walk& walk, std::uint64_t address, std::int32_t type, std::int32_t depth) {
    if (walk.values == 0) {
        walk.exhausted = true;
        return;
    }
    --walk.values;
    const DebugInfo& debug = walk.debug;
    if (entryAt(debug, type) == nullptr) return;
    if (depth > maxDepth) {
        if (walk.naming() && holdsValues(debug, type)) leaveOut(walk, kBeyondDepth);
        return;
    }
    const std::int32_t resolved = resolveAlias(debug.types, type);
    const TypeInfo* entry = entryAt(debug, resolved);
    if (entry == nullptr) return;
    switch (entry->kind) {
        case TypeKind::Enum:
            if (leftOutUndefined(walk, resolved, *entry)) return;
            [[fallthrough]];
        case TypeKind::Base:
        case TypeKind::Pointer:
            emit(walk, address, resolved, byteSize(debug.types, resolved), 0, false, type);
            return;
        case TypeKind::Array:
            stepArray(walk, address, *entry, depth);
            return;
        case TypeKind::Struct:
        case TypeKind::Union:
            if (!leftOutUndefined(walk, resolved, *entry)) stepMembers(walk, address, *entry, depth);
            return;
        case TypeKind::Typedef:
        case TypeKind::Qualified:
            // Still an alias after the longest chain resolveAlias follows.
            leaveOut(walk, kAliasChain);
            return;
        default:
            // Other, Unspecified, Function.
            return;
    }
}

}  // namespace

std::string leftOutWarning(std::string_view name, std::string_view why) {
    std::string warning(name);
    warning += kLeftOutMark;
    warning += why;
    return warning;
}

std::optional<LeftOutValue> leftOutValue(std::string_view warning) {
    if (warning.ends_with(kBitFieldLeftOut))
        return LeftOutValue{warning.substr(0, warning.size() - kBitFieldLeftOut.size()), true};
    const std::size_t mark = warning.find(kLeftOutMark);
    if (mark == std::string_view::npos) return std::nullopt;
    return LeftOutValue{warning.substr(0, mark), false};
}

std::optional<std::string_view> truncatedArray(std::string_view warning) {
    if (!warning.ends_with(kArrayLimitEnd)) return std::nullopt;
    const std::size_t mark = warning.rfind(kArrayLimitMark);
    if (mark == std::string_view::npos) return std::nullopt;
    return warning.substr(0, mark);
}

std::uint64_t bitFieldMask(const Member& member) {
    const std::uint64_t width =
        member.bitSize < 64 ? (std::uint64_t{1} << member.bitSize) - 1 : ~std::uint64_t{0};
    return width << (member.bitShift % 64);
}

std::uint64_t bitFieldSize(const DebugInfo& debug, std::int32_t type, const Member& member) {
    return member.storageSize != 0 ? member.storageSize : byteSize(debug.types, type);
}

// Appends "[i][j]..." for the element at row-major position `position`.
// When the product of the dimensions wrapped, a dimension can exceed what
// is left of the stride; from there on every index is 0, and nothing
// divides by zero.
void appendIndexText(std::string& text, const std::vector<std::uint64_t>& dims, std::uint64_t count,
                     std::uint64_t position) {
    std::uint64_t stride = count;
    std::uint64_t remainder = position;
    for (std::uint64_t dim : dims) {
        std::uint64_t index = 0;
        if (dim > stride) {
            stride = 0;
            remainder = 0;
        } else {
            stride /= dim;
            index = remainder / stride;
            remainder %= stride;
        }
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, index).ptr;
        text += '[';
        text.append(digits, end);
        text += ']';
    }
}

namespace {

// Runs a whole expansion from the value at hand, and says so when its own
// bounds, not the run's, ended it.
void walkFrom(Walk& walk, std::uint64_t address, std::int32_t type, std::int32_t depth) {
    walk.start();
    step(walk, address, type, depth);
    const bool stoppedByRun = walk.finish();
    if (walk.run != nullptr) walk.run->lastStopped = walk.exhausted;
    if (walk.moreLeftOut) {
        walk.warnings->push_back(
            leftOutWarning(walk.name, "more values under it, for the reasons of those named before"));
    }
    if (!stoppedByRun && walk.exhausted && walk.warnings != nullptr) {
        walk.warnings->push_back(walk.name + ": expansion stopped after " +
                                 std::to_string(kFlattenValueBudget - walk.values) + " values");
    }
}

// A global that nothing under it is wanted of is not expanded at all.
bool globalUnwanted(const GlobalVariable& global, ExpansionBudget* run, const WantedPrefix* wanted) {
    if (wanted == nullptr || (*wanted)(global.name)) return false;
    if (run != nullptr) run->lastStopped = false;
    return true;
}

}  // namespace

void flattenInto(const DebugInfo& debug, const std::string& name, std::uint64_t address, std::int32_t type,
                 std::uint64_t arrayLimit, std::vector<Variable>& out, std::vector<std::string>* warnings,
                 std::int32_t depth, ExpansionBudget* run) {
    Walk walk{debug, arrayLimit, &out, nullptr, warnings, name, run, warnings};
    walkFrom(walk, address, type, depth);
}

std::vector<Variable> flattenVariable(const DebugInfo& debug, const GlobalVariable& global,
                                      std::uint64_t arrayLimit, std::vector<std::string>* warnings,
                                      ExpansionBudget* run, const WantedPrefix* wanted) {
    std::vector<Variable> out;
    if (globalUnwanted(global, run, wanted)) return out;
    Walk walk{debug, arrayLimit, &out, nullptr, warnings, std::string(global.name), run, warnings, wanted};
    walkFrom(walk, global.address, global.typeIndex, 0);
    return out;
}

void forEachLeaf(const DebugInfo& debug, const GlobalVariable& global, std::uint64_t arrayLimit,
                 const std::function<void(const Variable&)>& visit, ExpansionBudget* run,
                 std::vector<std::string>* warnings, const WantedPrefix* wanted) {
    if (globalUnwanted(global, run, wanted)) return;
    Walk walk{debug, arrayLimit, nullptr, &visit, warnings, std::string(global.name), run, nullptr, wanted};
    walkFrom(walk, global.address, global.typeIndex, 0);
}

ExpansionBudget expansionBudget(const ElfFile& file) {
    const std::uint64_t info = sectionData(file, ".debug_info").size();
    const std::uint64_t values = kRunValueBase + kRunValueFactor * info;
    return ExpansionBudget{values, kRunByteBase + kRunByteFactor * info, values, false};
}

std::string budgetReachedMessage(const ExpansionBudget& budget) {
    return "expansion stopped after " + std::to_string(budget.limit - budget.values) +
           " values in all, the limit for this input; later values are left out";
}

}  // namespace vk::elf
