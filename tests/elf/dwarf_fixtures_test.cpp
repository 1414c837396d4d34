// The reader on real compiler output: every fixture in every variant of the
// matrix (clang and gcc, DWARF 2 to 5, 32- and 64-bit DWARF, both byte
// orders). Expectations come from the same file's symbol table and data, or
// from the compiler's own layout numbers stored in the fixture, or from
// gdb's reading of the same file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "elf/debug_info.h"
#include "elf/flatten.h"
#include "gdb_bits.h"

namespace vk::elf {
namespace {

namespace fs = std::filesystem;

struct Fixture {
    std::string variant;
    ElfFile elf;
    DebugInfo info;

    const GlobalVariable* global(const std::string& name) const {
        for (const auto& g : info.globals)
            if (g.name == name) return &g;
        return nullptr;
    }
    const TypeInfo& type(std::int32_t index) const { return info.types.at(static_cast<std::size_t>(index)); }
    const TypeInfo& resolved(std::int32_t index) const { return type(resolveAlias(info.types, index)); }
    // `size` bytes of the image at `address`, read in the file's byte order.
    std::uint64_t read(std::uint64_t address, std::uint64_t size) const {
        for (const Section& s : elf.sections) {
            if (s.type == SHT_NOBITS || !(s.flags & 2) || address < s.addr ||
                address + size > s.addr + s.size)
                continue;
            return readUnsigned(elf, elf.data.data() + s.offset + (address - s.addr),
                                static_cast<std::size_t>(size));
        }
        ADD_FAILURE() << variant << ": no data at " << address;
        return 0;
    }
};

bool isGcVariant(const std::string& variant) {
    return variant.size() > 3 && variant.compare(variant.size() - 3, 3, "-gc") == 0;
}

// Every variant built of one fixture source.
std::vector<Fixture> fixtures(const std::string& stem, std::size_t minimum = 13) {
    std::vector<fs::path> paths;
    for (const auto& entry : fs::directory_iterator(VK_FIXTURE_DIR)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(stem + "-", 0) == 0 && entry.path().extension() == ".elf")
            paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    std::vector<Fixture> out;
    for (const fs::path& p : paths) {
        Fixture f;
        const std::string name = p.stem().string();
        f.variant = name.substr(stem.size() + 1);
        auto elf = loadElf(p);
        if (!elf.ok()) {
            ADD_FAILURE() << elf.error().message();
            continue;
        }
        f.elf = std::move(elf.value());
        auto info = loadDwarf(f.elf);
        if (!info.ok()) {
            ADD_FAILURE() << name << ": " << info.error().message();
            continue;
        }
        f.info = std::move(info.value());
        out.push_back(std::move(f));
    }
    EXPECT_GE(out.size(), minimum) << stem;
    return out;
}

// The variants that keep every global the source defines.
std::vector<Fixture> fullFixtures(const std::string& stem) {
    std::vector<Fixture> all = fixtures(stem);
    std::vector<Fixture> out;
    for (Fixture& f : all)
        if (!isGcVariant(f.variant)) out.push_back(std::move(f));
    return out;
}

// Function-local statics get compiler-made symbol names: "f.x" or "x.0" in
// C, "_ZZ..." in C++.
bool isFunctionLocal(const std::string& symbol) {
    return symbol.find('.') != std::string::npos || symbol.rfind("_ZZ", 0) == 0;
}

bool namesMatch(const std::string& symbol, std::string_view global) {
    if (symbol == global) return true;
    // A C++ symbol holds the name with its length in front (_ZN6engine5g_rpmE).
    return symbol.rfind("_Z", 0) == 0 &&
           symbol.find(std::to_string(global.size()).append(global)) != std::string::npos;
}

// Every global at the address of a symbol that names it, with its size, and
// every data object symbol a global. Zero-size objects share an address with
// the next one, or lie at the image's end, outside every section: they hold
// no value and need not be collected.
void expectGlobalsMatchTheSymbolTable(const std::vector<Fixture>& all) {
    for (const Fixture& f : all) {
        SCOPED_TRACE(f.variant);
        std::multimap<std::uint64_t, const Symbol*> objects;
        const std::vector<Symbol> symbols = readSymbols(f.elf);
        for (const Symbol& s : symbols)
            if (s.type == STT_OBJECT && s.shndx != 0 && !isFunctionLocal(s.name))
                objects.emplace(s.value, &s);
        auto symbolOf = [&](std::uint64_t address, std::string_view name) -> const Symbol* {
            const auto [first, last] = objects.equal_range(address);
            for (auto it = first; it != last; ++it)
                if (namesMatch(it->second->name, name)) return it->second;
            return nullptr;
        };
        std::set<const Symbol*> collected;
        for (const GlobalVariable& g : f.info.globals) {
            const Symbol* symbol = symbolOf(g.address, g.name);
            ASSERT_NE(symbol, nullptr) << g.name << " has no object symbol";
            collected.insert(symbol);
            EXPECT_EQ(byteSize(f.info.types, g.typeIndex), symbol->size) << g.name;
            EXPECT_FALSE(g.unitName.empty());
        }
        for (const auto& [address, symbol] : objects)
            EXPECT_TRUE(collected.count(symbol) || symbol->size == 0)
                << symbol->name << " defined but not collected";
    }
}

class DwarfFixtureMatrix : public ::testing::TestWithParam<const char*> {};

TEST_P(DwarfFixtureMatrix, GlobalsMatchTheSymbolTable) {
    expectGlobalsMatchTheSymbolTable(fixtures(GetParam()));
}

// Optimised builds: clang at -Oz locates merged statics as their block's
// address plus an offset; with gcc's link-time optimisation a variable's DIE
// has its name and type only through its abstract origin.
TEST(DwarfFixtures, OptimisedBuildsKeepEveryGlobal) {
    expectGlobalsMatchTheSymbolTable(fixtures("merged_statics", 4));
    expectGlobalsMatchTheSymbolTable(fixtures("lto", 1));
    for (const Fixture& f : fixtures("lto", 1)) {
        SCOPED_TRACE(f.variant);
        ASSERT_NE(f.global("samples"), nullptr);
        const TypeInfo& samples = f.resolved(f.global("samples")->typeIndex);
        ASSERT_EQ(samples.kind, TypeKind::Array);
        EXPECT_EQ(f.resolved(samples.target).name, "sample");
        EXPECT_TRUE(f.global("samples")->external);
        EXPECT_FALSE(f.global("ticks")->external);
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, DwarfFixtureMatrix,
                         ::testing::Values("basic", "listing", "dwarf_types", "dwarf_cpp", "dwarf_multi",
                                           "dwarf_gc", "shared_address"));

const Member* findMember(const Fixture& f, std::int32_t typeIndex, const std::string& name,
                         std::uint64_t& offset) {
    const TypeInfo& t = f.resolved(typeIndex);
    for (const Member& m : t.members) {
        if (m.name == name) {
            offset += m.offset;
            return &m;
        }
        if (m.name.empty()) {  // anonymous members and base classes
            std::uint64_t inner = offset + m.offset;
            if (const Member* found = findMember(f, m.type, name, inner)) {
                offset = inner;
                return found;
            }
        }
    }
    return nullptr;
}

// Offset of a member path such as "in.q" within the type.
std::uint64_t pathOffset(const Fixture& f, std::int32_t typeIndex, const std::string& path) {
    std::uint64_t offset = 0;
    std::stringstream parts(path);
    std::string part;
    while (std::getline(parts, part, '.')) {
        const Member* m = findMember(f, typeIndex, part, offset);
        if (!m) {
            ADD_FAILURE() << "no member " << part << " in " << path;
            return ~0ull;
        }
        typeIndex = m->type;
    }
    return offset;
}

TEST(DwarfFixtures, BitFieldMasksMatchTheStoredBits) {
    for (const Fixture& f : fullFixtures("dwarf_types")) {
        SCOPED_TRACE(f.variant);
        int checked = 0;
        for (const GlobalVariable& g : f.info.globals) {
            if (g.name.rfind("g_only_", 0) != 0) continue;
            const std::string field(g.name.substr(7));
            std::uint64_t offset = 0;
            const Member* m = findMember(f, g.typeIndex, field, offset);
            ASSERT_NE(m, nullptr) << field;
            ASSERT_GT(m->bitSize, 0u) << field;
            ASSERT_LT(m->bitShift, 64u);
            const std::uint64_t size = byteSize(f.info.types, m->type);
            ASSERT_LE(size, 8u);
            ASSERT_LE(m->bitShift + m->bitSize, 8 * size) << field;
            const std::uint64_t ones = m->bitSize >= 64 ? ~0ull : (1ull << m->bitSize) - 1;
            EXPECT_EQ(f.read(g.address + offset, size), ones << m->bitShift) << field;
            ++checked;
        }
        EXPECT_EQ(checked, 12);
    }
}

TEST(DwarfFixtures, MemberOffsetsMatchTheCompilersLayout) {
    const char* paths[] = {nullptr, "in", "in.q", "word", "hi", "named.n", "tail", nullptr, "plain"};
    for (const Fixture& f : fullFixtures("dwarf_types")) {
        SCOPED_TRACE(f.variant);
        const GlobalVariable* layout = f.global("g_layout");
        const GlobalVariable* outer = f.global("g_outer");
        const GlobalVariable* bits = f.global("g_only_a");
        ASSERT_TRUE(layout && outer && bits);
        const TypeInfo& array = f.resolved(layout->typeIndex);
        ASSERT_EQ(array.kind, TypeKind::Array);
        ASSERT_EQ(array.dims, (std::vector<std::uint64_t>{9}));
        const std::uint64_t stride = byteSize(f.info.types, array.target);
        auto value = [&](int i) { return f.read(layout->address + i * stride, stride); };
        EXPECT_EQ(value(0), byteSize(f.info.types, outer->typeIndex));
        EXPECT_EQ(value(7), byteSize(f.info.types, bits->typeIndex));
        for (int i = 1; i < 9; ++i) {
            if (!paths[i]) continue;
            const std::int32_t type = i == 8 ? bits->typeIndex : outer->typeIndex;
            EXPECT_EQ(value(i), pathOffset(f, type, paths[i])) << paths[i];
        }
    }
}

TEST(DwarfFixtures, DimensionsEnumeratorsTypedefsAndPointers) {
    for (const Fixture& f : fullFixtures("dwarf_types")) {
        SCOPED_TRACE(f.variant);
        const GlobalVariable* cube = f.global("g_cube");
        ASSERT_NE(cube, nullptr);
        EXPECT_EQ(f.resolved(cube->typeIndex).dims, (std::vector<std::uint64_t>{2, 3, 4}));

        const GlobalVariable* sign = f.global("g_sign");
        ASSERT_NE(sign, nullptr);
        const TypeInfo& e = f.resolved(sign->typeIndex);
        ASSERT_EQ(e.kind, TypeKind::Enum);
        ASSERT_EQ(e.enumerators.size(), 4u);
        EXPECT_EQ(e.enumerators[0].name, "SIGN_NEG");
        EXPECT_EQ(e.enumerators[0].value, -5);
        EXPECT_EQ(e.enumerators[2].value, 7);
        EXPECT_EQ(e.enumerators[3].value, 0x7fffffff);

        const GlobalVariable* cv = f.global("g_cv");
        ASSERT_NE(cv, nullptr);
        EXPECT_EQ(typedefNames(f.info.types, cv->typeIndex),
                  (std::vector<std::string>{"cv_u16_alias", "cv_u16", "u16"}));
        EXPECT_EQ(f.resolved(cv->typeIndex).kind, TypeKind::Base);

        const GlobalVariable* node = f.global("g_node");
        ASSERT_NE(node, nullptr);
        std::uint64_t offset = 0;
        const Member* next = findMember(f, node->typeIndex, "next", offset);
        ASSERT_NE(next, nullptr);
        EXPECT_EQ(f.type(next->type).kind, TypeKind::Pointer);
        EXPECT_EQ(f.type(next->type).target, -1);
        const Member* pair = findMember(f, node->typeIndex, "pair", offset);
        ASSERT_NE(pair, nullptr);
        EXPECT_EQ(f.resolved(pair->type).dims, (std::vector<std::uint64_t>{2}));

        for (const char* flexible : {"g_packet", "g_outer"}) {
            const GlobalVariable* g = f.global(flexible);
            ASSERT_NE(g, nullptr);
            const TypeInfo& t = f.resolved(g->typeIndex);
            const TypeInfo& last = f.resolved(t.members.back().type);
            EXPECT_EQ(last.kind, TypeKind::Array) << flexible;
            EXPECT_EQ(last.dims, (std::vector<std::uint64_t>{0})) << flexible;
        }
        for (const char* absent : {"l_calls", "l_buffer", "l_nested", "g_declared_only"})
            EXPECT_EQ(f.global(absent), nullptr) << absent;
        EXPECT_NE(f.global("g_late"), nullptr);
    }
}

TEST(DwarfFixtures, CppNamespacesClassesAndStaticMembers) {
    for (const Fixture& f : fixtures("dwarf_cpp")) {
        SCOPED_TRACE(f.variant);
        std::set<std::string> names;
        for (const auto& g : f.info.globals) names.emplace(g.name);
        const std::set<std::string> defined = {"g_rpm",    "g_ratio", "s_instances", "g_sensor", "g_holder",
                                               "g_target", "g_ref",   "g_hidden",    "s_inline"};
        if (isGcVariant(f.variant)) {
            EXPECT_TRUE(std::includes(defined.begin(), defined.end(), names.begin(), names.end()));
        } else {
            EXPECT_EQ(names, defined);
        }
        if (isGcVariant(f.variant)) continue;
        const GlobalVariable* instances = f.global("s_instances");
        EXPECT_TRUE(instances->external);
        EXPECT_EQ(f.resolved(instances->typeIndex).name, "int");
        const TypeInfo& sensor = f.resolved(f.global("g_sensor")->typeIndex);
        EXPECT_EQ(sensor.name, "Sensor");
        ASSERT_EQ(sensor.members.size(), 3u);  // base, raw, scale; no static members
        EXPECT_EQ(sensor.members[0].name, "");
        EXPECT_EQ(f.resolved(sensor.members[0].type).name, "Base");
        EXPECT_EQ(sensor.members[1].name, "raw");
        const TypeInfo& ref = f.resolved(f.global("g_ref")->typeIndex);
        EXPECT_EQ(ref.kind, TypeKind::Pointer);
        EXPECT_FALSE(f.global("g_hidden")->external);
    }
}

TEST(DwarfFixtures, AVariableEmittedByTwoUnitsIsCollectedOnce) {
    for (const Fixture& f : fixtures("dwarf_multi")) {
        SCOPED_TRACE(f.variant);
        std::map<std::string, int> count;
        for (const auto& g : f.info.globals) ++count[std::string(g.name)];
        EXPECT_EQ(count, (std::map<std::string, int>{
                             {"g_defined_other", 1}, {"g_inline_shared", 1}, {"g_main_only", 1}}));
        const std::string unit(f.global("g_defined_other")->unitName);
        EXPECT_NE(unit.find("other.cpp"), std::string::npos) << unit;
    }
}

TEST(DwarfFixtures, GcSectionsDropDiscardedVariables) {
    int gcVariants = 0;
    for (const Fixture& f : fixtures("dwarf_gc")) {
        SCOPED_TRACE(f.variant);
        const bool gc = isGcVariant(f.variant);
        gcVariants += gc;
        EXPECT_NE(f.global("g_used"), nullptr);
        EXPECT_NE(f.global("g_used_bss"), nullptr);
        for (const char* name : {"g_unused", "g_unused_bss", "g_unused_const", "g_unused_array"}) {
            EXPECT_EQ(f.global(name) != nullptr, !gc) << name;
            // The discarded variables are still described in the debug data.
            const std::string text(f.elf.data.begin(), f.elf.data.end());
            EXPECT_NE(text.find(name), std::string::npos) << name;
        }
    }
    EXPECT_GE(gcVariants, 2);
    // A discarded block of merged statics, linked by ld.lld and GNU ld, reads
    // 0 plus each one's offset; only the live boot words at 0 and 4 remain.
    const std::vector<Fixture> merged = fixtures("dead_statics", 4);
    expectGlobalsMatchTheSymbolTable(merged);
    for (const Fixture& f : merged) {
        std::vector<std::string> names;
        for (const auto& g : f.info.globals) names.emplace_back(g.name);
        EXPECT_EQ(names, (std::vector<std::string>{"boot_sp", "boot_pc"})) << f.variant;
    }
}

// Distinct variables at one address are all collected: the members of an
// anonymous union (clang++ describes each, g++ the union without a name) at
// the address of the symbol that the compiler names after one of them, and
// an AVR program's first EEPROM variable where avr-libc describes __eeprom.
TEST(DwarfFixtures, DistinctVariablesAtOneAddressAreEachCollected) {
    auto symbolAddress = [](const Fixture& f, std::string_view name) -> std::uint64_t {
        for (const Symbol& s : readSymbols(f.elf))
            if (s.type == STT_OBJECT && namesMatch(s.name, name)) return s.value;
        ADD_FAILURE() << f.variant << ": no symbol " << name;
        return ~0ull;
    };
    const std::map<std::string, std::pair<const char*, const char*>> unions = {
        {"gu_i", {"gu_i", "int"}},
        {"gu_f", {"gu_i", "float"}},
        {"gu_bytes", {"gu_bytes", ""}},
        {"gu_halves", {"gu_bytes", ""}}};
    for (const Fixture& f : fixtures("anon_union")) {
        SCOPED_TRACE(f.variant);
        for (const auto& [name, expected] : unions) {
            const GlobalVariable* g = f.global(name);
            ASSERT_NE(g, nullptr) << name;
            EXPECT_EQ(g->address, symbolAddress(f, expected.first)) << name;
            if (*expected.second) {
                EXPECT_EQ(f.resolved(g->typeIndex).name, expected.second) << name;
            }
        }
        EXPECT_EQ(pathOffset(f, f.global("gu_halves")->typeIndex, "gu_hi"), 2u);
    }
    for (const Fixture& f : fixtures("eeprom", 1)) {
        ASSERT_NE(f.global("ee_byte"), nullptr);
        EXPECT_EQ(f.global("ee_byte")->address, symbolAddress(f, "ee_byte"));
        ASSERT_NE(f.global("__eeprom"), nullptr);
        EXPECT_EQ(f.global("__eeprom")->address, f.global("ee_byte")->address);
    }
}

// The bit-field layouts of bitfields/, built by every compiler of their
// matrix, against gdb's placement of each field (ELF.bits, written at build
// time): the leaf's address, size and mask must select exactly gdb's bits,
// within the variable wherever a window inside it can hold them.
using testing::GdbBitField;
using testing::gdbBits;
using testing::leafBits;

std::uint64_t bytesSpanned(const GdbBitField& field) {
    return (field.bitPos + field.bitSize - 1) / 8 - field.bitPos / 8 + 1;
}

std::vector<std::string> bitFieldBuilds() {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(fs::path(VK_FIXTURE_DIR) / "bitfields", ignored))
        if (entry.path().extension() == ".elf") names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::map<std::string, Variable> bitFieldLeaves(const DebugInfo& info, std::set<std::string>& warnings) {
    std::map<std::string, Variable> leaves;
    std::vector<std::string> said;
    for (const GlobalVariable& g : info.globals)
        for (Variable& leaf : flattenVariable(info, g, 1u << 20, &said))
            if (leaf.isBitField) leaves.emplace(leaf.name, std::move(leaf));
    warnings.insert(said.begin(), said.end());
    return leaves;
}

// Whether a window of 1, 2, 4 or 8 bytes inside the `room` bytes from byte
// `begin` of the variable holds the field.
bool windowFits(const GdbBitField& field, std::uint64_t begin, std::uint64_t room) {
    const std::uint64_t first = field.bitPos / 8;
    if (first < begin || first + bytesSpanned(field) > begin + room) return false;
    for (std::uint64_t size = 1; size <= 8; size *= 2)
        if (bytesSpanned(field) <= size && size <= room) return true;
    return false;
}

bool inside(const Variable& leaf, std::uint64_t begin, std::uint64_t size) {
    return leaf.address >= begin && leaf.address + leaf.size <= begin + size;
}

// Why the leaf does not select the field's bits, or reaches past the
// structure that holds it where a window inside holds them; empty when neither.
std::string bitFieldFault(const Variable& leaf, const GdbBitField& field, bool little) {
    std::ostringstream fault;
    fault << std::hex << "at 0x" << leaf.address << " size " << std::dec << leaf.size << " mask 0x"
          << std::hex << leaf.bitMask << std::dec << " (gdb: bits " << field.bitPos << ".."
          << field.bitPos + field.bitSize - 1 << " of 0x" << std::hex << field.address << ")";
    const bool sized = leaf.size == 1 || leaf.size == 2 || leaf.size == 4 || leaf.size == 8;
    const bool fits = leaf.size >= 8 || (sized && leaf.bitMask >> (8 * leaf.size) == 0);
    if (!sized || !fits) return "mask wider than its data type " + fault.str();
    if (leafBits(leaf, little) != gdbBits(field, little)) return "other bits " + fault.str();
    if (windowFits(field, field.holder, field.holderSize) &&
        !inside(leaf, field.address + field.holder, field.holderSize))
        return "past its structure " + fault.str();
    return {};
}

constexpr int kShownFaults = 20;  // per build; the summary counts them all

class BitFieldMatrix : public ::testing::TestWithParam<std::string> {};

TEST_P(BitFieldMatrix, EveryBitFieldSelectsGdbsBits) {
    const fs::path elfPath = fs::path(VK_FIXTURE_DIR) / "bitfields" / (GetParam() + ".elf");
    std::ifstream oracle(elfPath.string() + ".bits");
    if (!oracle) GTEST_SKIP() << "no gdb placement (gdb-multiarch not found at build time)";
    auto elf = loadElf(elfPath);
    ASSERT_TRUE(elf.ok()) << elf.error().message();
    auto info = loadDwarf(elf.value());
    ASSERT_TRUE(info.ok()) << info.error().message();
    const bool little = elf.value().littleEndian;
    std::set<std::string> warnings;
    const std::map<std::string, Variable> leaves = bitFieldLeaves(info.value(), warnings);
    int checked = 0, wrong = 0, unlisted = 0, leftOut = 0;
    // Inside its structure but past the variable, where a window inside the
    // variable but before the structure would hold it (a union that ends
    // the variable and is narrower than the field's window): counted only.
    int pastVariable = 0;
    GdbBitField field;
    while (oracle >> field.name >> std::hex >> field.address >> std::dec >> field.bitPos >> field.bitSize >>
           field.endian >> field.holder >> field.holderSize >> field.variableSize) {
        ++checked;
        ASSERT_EQ(field.endian, little ? "little" : "big") << field.name;
        const auto leaf = leaves.find(field.name);
        if (leaf == leaves.end()) {
            // No window of up to 8 bytes holds such a field; it is named in a warning.
            if (bytesSpanned(field) > 8 && warnings.count(field.name + std::string(kBitFieldLeftOut)) == 1) {
                ++leftOut;
                continue;
            }
            ++unlisted;
            if (wrong + unlisted <= kShownFaults)
                ADD_FAILURE() << GetParam() << ": " << field.name << " not listed";
            continue;
        }
        const std::string fault = bitFieldFault(leaf->second, field, little);
        pastVariable += windowFits(field, 0, field.variableSize) &&
                        !inside(leaf->second, field.address, field.variableSize);
        if (fault.empty()) continue;
        ++wrong;
        if (wrong + unlisted <= kShownFaults)
            ADD_FAILURE() << GetParam() << ": " << field.name << ": " << fault;
    }
    EXPECT_GT(checked, 0);
    RecordProperty("checked", checked);
    RecordProperty("left_out", leftOut);
    RecordProperty("past_variable", pastVariable);
    EXPECT_EQ(wrong + unlisted, 0) << GetParam() << ": " << checked << " bit fields checked against gdb, "
                                   << wrong << " wrong, " << unlisted << " not listed, " << leftOut
                                   << " left out as wider than 8 bytes";
}

INSTANTIATE_TEST_SUITE_P(Builds, BitFieldMatrix, ::testing::ValuesIn(bitFieldBuilds()),
                         [](const ::testing::TestParamInfo<std::string>& build) {
                             std::string name = build.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(BitFieldMatrix);

}  // namespace
}  // namespace vk::elf
