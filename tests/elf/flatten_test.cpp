// Expansion of globals into scalar leaves and the display names of types:
// on type tables built by hand, and on compiler output of both byte orders
// for what the list output does not show (masks, typedef names).
#include "elf/flatten.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "elf/elf_file.h"

namespace vk::elf {
namespace {

// Builds a type table entry by entry; each call returns the new index.
class Types {
public:
    DebugInfo debug;

    std::int32_t add(TypeInfo type) {
        debug.types.push_back(std::move(type));
        return static_cast<std::int32_t>(debug.types.size() - 1);
    }
    std::int32_t base(std::string_view name, std::uint64_t size, std::uint8_t encoding = 0x05) {
        return add({TypeKind::Base, debug.names.keep(name), size, encoding, -1, {}, {}, {}});
    }
    std::int32_t typedefOf(std::string_view name, std::int32_t target) {
        return add({TypeKind::Typedef, debug.names.keep(name), 0, 0, target, {}, {}, {}});
    }
    std::int32_t qualified(std::int32_t target) {
        return add({TypeKind::Qualified, "", 0, 0, target, {}, {}, {}});
    }
    std::int32_t pointer(std::uint64_t size) { return add({TypeKind::Pointer, "", size, 0, -1, {}, {}, {}}); }
    std::int32_t enumeration(std::string_view name, std::uint64_t size) {
        return add({TypeKind::Enum, debug.names.keep(name), size, 0, -1, {}, {}, {{0, "A"}}});
    }
    std::int32_t array(std::int32_t element, std::vector<std::uint64_t> dims, std::uint64_t size = 0) {
        return add({TypeKind::Array, "", size, 0, element, {}, std::move(dims), {}});
    }
    std::int32_t aggregate(TypeKind kind, std::string_view name, std::uint64_t size,
                           std::vector<Member> members) {
        return add({kind, debug.names.keep(name), size, 0, -1, std::move(members), {}, {}});
    }
    std::int32_t structure(std::string_view name, std::uint64_t size, std::vector<Member> members) {
        return aggregate(TypeKind::Struct, name, size, std::move(members));
    }

    std::vector<Variable> flatten(std::int32_t type, std::uint64_t limit = 16,
                                  std::vector<std::string>* warnings = nullptr,
                                  std::uint64_t address = 0x1000) {
        return flattenVariable(debug, GlobalVariable{"g", address, type, true, "unit.c"}, limit, warnings);
    }
};

std::vector<std::string> names(const std::vector<Variable>& leaves) {
    std::vector<std::string> out;
    for (const Variable& leaf : leaves) out.push_back(leaf.name);
    return out;
}

Member member(std::string_view name, std::uint64_t offset, std::int32_t type, std::uint16_t bitSize = 0,
              std::uint8_t bitShift = 0, std::uint8_t storageSize = 0) {
    static NameStore names;  // for the whole test program
    return Member{names.keep(name), offset, type, bitSize, bitShift, storageSize};
}

TEST(FlattenLeaves, ScalarGlobalsGiveOneLeafEach) {
    Types t;
    const std::int32_t u16 = t.base("unsigned short", 2, 0x07);
    const std::int32_t speed = t.typedefOf("speed_t", u16);
    const std::int32_t constSpeed = t.qualified(speed);
    const std::int32_t gear = t.enumeration("gear", 1);
    const std::int32_t ptr = t.pointer(4);

    const auto leaves = t.flatten(constSpeed);
    ASSERT_EQ(leaves.size(), 1u);
    EXPECT_EQ(leaves[0].name, "g");
    EXPECT_EQ(leaves[0].address, 0x1000u);
    EXPECT_EQ(leaves[0].type, u16);
    EXPECT_EQ(leaves[0].size, 2u);
    EXPECT_EQ(leaves[0].bitMask, 0u);
    EXPECT_FALSE(leaves[0].isBitField);
    EXPECT_EQ(leaves[0].typedefNames, std::vector<std::string>{"speed_t"});

    ASSERT_EQ(t.flatten(gear).size(), 1u);
    EXPECT_EQ(t.flatten(gear)[0].type, gear);
    const auto pointerLeaves = t.flatten(ptr);
    ASSERT_EQ(pointerLeaves.size(), 1u);
    EXPECT_EQ(pointerLeaves[0].size, 4u);
}

TEST(FlattenLeaves, ZeroSizeBaseStillYieldsItsLeaf) {
    Types t;
    const auto leaves = t.flatten(t.base("weird", 0));
    ASSERT_EQ(leaves.size(), 1u);
    EXPECT_EQ(leaves[0].size, 0u);
}

TEST(FlattenLeaves, NothingScalarGivesAnEmptyList) {
    Types t;
    const std::int32_t function = t.add({TypeKind::Function, "", 0, 0, -1, {}, {}, {}});
    const std::int32_t unspecified =
        t.add({TypeKind::Unspecified, "decltype(nullptr)", 8, 0, -1, {}, {}, {}});
    const std::int32_t empty = t.structure("empty", 0, {});
    const std::int32_t dangling = t.typedefOf("dangling", -1);
    EXPECT_TRUE(t.flatten(-1).empty());
    EXPECT_TRUE(t.flatten(function).empty());
    EXPECT_TRUE(t.flatten(unspecified).empty());
    EXPECT_TRUE(t.flatten(empty).empty());
    EXPECT_TRUE(t.flatten(dangling).empty());
    EXPECT_TRUE(t.flatten(12345).empty());  // past the table
}

TEST(FlattenLeaves, TypedefChainLongerThan64LinksYieldsNothing) {
    Types t;
    std::int32_t top = t.base("int", 4);
    for (int i = 0; i < 64; ++i) top = t.typedefOf("t" + std::to_string(i), top);
    EXPECT_EQ(t.flatten(top).size(), 1u);  // 64 moves reach the base type
    top = t.typedefOf("one_more", top);
    std::vector<std::string> warnings;
    EXPECT_TRUE(t.flatten(top, 16, &warnings).empty());
    EXPECT_EQ(warnings,
              std::vector<std::string>{"g: left out: its expansion stopped at the depth bound of 64 "
                                       "typedef and qualifier links"});
}

TEST(FlattenArrays, LimitTruncatesAndWarnsOnlyWithAList) {
    Types t;
    const std::int32_t i32 = t.base("int", 4);
    const std::int32_t arr = t.array(i32, {100});

    std::vector<std::string> warnings;
    const auto leaves = t.flatten(arr, 64, &warnings);
    ASSERT_EQ(leaves.size(), 64u);
    EXPECT_EQ(leaves.front().name, "g[0]");
    EXPECT_EQ(leaves.back().name, "g[63]");
    EXPECT_EQ(leaves.back().address, 0x1000u + 63 * 4);
    EXPECT_EQ(warnings, std::vector<std::string>{"g: only the first 64 of 100 array elements"});

    EXPECT_EQ(t.flatten(arr, 64, nullptr).size(), 64u);
    warnings.clear();
    EXPECT_EQ(t.flatten(arr, 100, &warnings).size(), 100u);
    EXPECT_TRUE(warnings.empty());
}

TEST(FlattenArrays, LimitZeroWarnsForEveryArrayMet) {
    Types t;
    const std::int32_t i32 = t.base("int", 4);
    const std::int32_t arr = t.array(i32, {3});
    const std::int32_t s =
        t.structure("s", 28, {member("a", 0, arr), member("n", 12, i32), member("b", 16, arr)});
    std::vector<std::string> warnings;
    EXPECT_EQ(names(t.flatten(s, 0, &warnings)), std::vector<std::string>{"g.n"});
    EXPECT_EQ(warnings, (std::vector<std::string>{"g.a: only the first 0 of 3 array elements",
                                                  "g.b: only the first 0 of 3 array elements"}));
}

TEST(FlattenArrays, LimitCountsOverAllDimensionsInRowMajorOrder) {
    Types t;
    const std::int32_t i16 = t.base("short", 2);
    const std::int32_t map = t.array(i16, {3, 4});
    std::vector<std::string> warnings;
    const auto leaves = t.flatten(map, 5, &warnings);
    EXPECT_EQ(names(leaves),
              (std::vector<std::string>{"g[0][0]", "g[0][1]", "g[0][2]", "g[0][3]", "g[1][0]"}));
    EXPECT_EQ(leaves[4].address, 0x1000u + 4 * 2);
    EXPECT_EQ(warnings, std::vector<std::string>{"g: only the first 5 of 12 array elements"});
    EXPECT_EQ(t.flatten(map, 12)[11].name, "g[2][3]");
}

TEST(FlattenArrays, ZeroDimensionYieldsNoElementAndNoWarning) {
    Types t;
    const std::int32_t flexible = t.array(t.base("char", 1, 0x06), {0});
    std::vector<std::string> warnings;
    EXPECT_TRUE(t.flatten(flexible, 16, &warnings).empty());
    EXPECT_TRUE(warnings.empty());
}

TEST(FlattenArrays, DimensionsBeyond64BitsLeaveTheArrayOut) {
    Types t;
    // (2^62 + 1) * 4 wraps to 4 elements, whose index texts would all read
    // [0][0]; a zero dimension still makes the array empty.
    const std::int32_t point = t.structure("point", 4, {member("x", 0, t.base("int", 4))});
    const std::int32_t wraps = t.array(point, {(std::uint64_t{1} << 62) + 1, 4});
    const std::int32_t s = t.structure("s", 8, {member("m", 0, wraps), member("n", 4, t.base("int", 4))});
    std::vector<std::string> warnings;
    EXPECT_EQ(names(t.flatten(s, 16, &warnings)), std::vector<std::string>{"g.n"});
    EXPECT_EQ(warnings, std::vector<std::string>{
                            "g.m: left out: its dimensions give more elements than 64 bits can count"});
    warnings.clear();
    EXPECT_TRUE(t.flatten(t.array(point, {std::uint64_t{1} << 63, 4, 0}), 16, &warnings).empty());
    EXPECT_TRUE(warnings.empty());
}

TEST(FlattenArrays, ElementsOfStructuresAndCharacters) {
    Types t;
    const std::int32_t i32 = t.base("int", 4);
    const std::int32_t point = t.structure("point", 8, {member("x", 0, i32), member("y", 4, i32)});
    const auto leaves = t.flatten(t.array(point, {2}));
    EXPECT_EQ(names(leaves), (std::vector<std::string>{"g[0].x", "g[0].y", "g[1].x", "g[1].y"}));
    EXPECT_EQ(leaves[2].address, 0x1008u);
    EXPECT_EQ(leaves[3].address, 0x100Cu);

    EXPECT_EQ(t.flatten(t.array(t.base("char", 1, 0x06), {5})).size(), 5u);
}

TEST(FlattenArrays, ArrayOfArraysAppliesTheLimitPerLevel) {
    Types t;
    const std::int32_t row = t.typedefOf("row_t", t.array(t.base("int", 4), {3}, 12));
    const std::int32_t table = t.array(row, {4});
    std::vector<std::string> warnings;
    const auto leaves = t.flatten(table, 2, &warnings);
    EXPECT_EQ(names(leaves), (std::vector<std::string>{"g[0][0]", "g[0][1]", "g[1][0]", "g[1][1]"}));
    EXPECT_EQ(leaves[2].address, 0x1000u + 12);
    EXPECT_EQ(leaves[0].typedefNames, std::vector<std::string>{});
    EXPECT_EQ(warnings, (std::vector<std::string>{"g: only the first 2 of 4 array elements",
                                                  "g[0]: only the first 2 of 3 array elements",
                                                  "g[1]: only the first 2 of 3 array elements"}));
}

TEST(FlattenMembers, NamesOffsetsUnnamedMembersAndBaseClasses) {
    Types t;
    const std::int32_t i32 = t.base("int", 4);
    const std::int32_t u8 = t.base("unsigned char", 1, 0x08);
    const std::int32_t inner =
        t.aggregate(TypeKind::Union, "", 4, {member("word", 0, i32), member("low", 0, u8)});
    const std::int32_t baseClass = t.structure("Base", 4, {member("id", 0, i32)});
    const std::int32_t s = t.structure(
        "s", 16, {member("", 0, baseClass), member("a", 4, i32), member("", 8, inner), member("b", 12, u8)});
    const auto leaves = t.flatten(s);
    EXPECT_EQ(names(leaves), (std::vector<std::string>{"g.id", "g.a", "g.word", "g.low", "g.b"}));
    EXPECT_EQ(leaves[2].address, 0x1008u);
    EXPECT_EQ(leaves[3].address, 0x1008u);  // union members overlap
    EXPECT_EQ(leaves[4].address, 0x100Cu);
}

TEST(FlattenMembers, UnionMembersAllAppearAtTheirOffsets) {
    Types t;
    const std::int32_t u32 = t.base("unsigned int", 4, 0x07);
    const std::int32_t bytes = t.array(t.base("unsigned char", 1, 0x08), {4});
    const std::int32_t u =
        t.aggregate(TypeKind::Union, "frame", 4, {member("word", 0, u32), member("b", 0, bytes)});
    const auto leaves = t.flatten(u);
    EXPECT_EQ(names(leaves), (std::vector<std::string>{"g.word", "g.b[0]", "g.b[1]", "g.b[2]", "g.b[3]"}));
    EXPECT_EQ(leaves[0].address, 0x1000u);
    EXPECT_EQ(leaves[4].address, 0x1003u);
}

TEST(FlattenMembers, BitFieldsCarryMasksAndTheirMemberType) {
    Types t;
    const std::int32_t u32 = t.base("unsigned int", 4, 0x07);
    const std::int32_t flags = t.typedefOf("flags_t", u32);
    const std::int32_t s = t.structure(
        "bits", 16,
        {member("mode", 4, flags, 3, 4), member("wide", 8, u32, 64, 0), member("huge", 8, u32, 70, 0),
         member("odd", 8, u32, 1, 65), member("untyped", 0, -1, 2, 0), member("across", 1, u32, 30, 5, 8),
         member("spread", 0, u32, 60, 0, kNoBitWindow)});
    std::vector<std::string> warnings;
    const auto leaves = t.flatten(s, 16, &warnings);
    ASSERT_EQ(leaves.size(), 6u);
    EXPECT_EQ(leaves[0].name, "g.mode");
    EXPECT_EQ(leaves[0].address, 0x1004u);
    EXPECT_EQ(leaves[0].bitMask, 0x70u);
    EXPECT_TRUE(leaves[0].isBitField);
    EXPECT_EQ(leaves[0].type, u32);
    EXPECT_EQ(leaves[0].size, 4u);
    EXPECT_EQ(leaves[0].typedefNames, std::vector<std::string>{"flags_t"});
    EXPECT_EQ(leaves[1].bitMask, ~std::uint64_t{0});
    EXPECT_EQ(leaves[2].bitMask, ~std::uint64_t{0});
    EXPECT_EQ(leaves[3].bitMask, 0x2u);  // shift taken modulo 64
    EXPECT_EQ(leaves[4].type, -1);
    EXPECT_EQ(leaves[4].size, 0u);
    EXPECT_EQ(leaves[4].bitMask, 0x3u);
    EXPECT_EQ(leaves[5].address, 0x1001u);
    EXPECT_EQ(leaves[5].size, 8u);
    EXPECT_EQ(leaves[5].bitMask, 0x7FFFFFFE0u);
    EXPECT_EQ(warnings,
              std::vector<std::string>{"g.spread: bit field left out: no 8 bytes hold all its bits"});
    EXPECT_EQ(t.flatten(s).size(), 6u);
}

TEST(FlattenMembers, DepthLimitDropsOrdinaryMembersBelowLevel16ButKeepsBitFields) {
    Types t;
    const std::int32_t u32 = t.base("unsigned int", 4, 0x07);
    // level16 is reached at depth 16: its bit field is still produced, its
    // ordinary member would lie at depth 17.
    std::int32_t level = t.structure("level16", 8, {member("bits", 0, u32, 3, 0), member("plain", 4, u32)});
    for (int i = 15; i >= 0; --i)
        level = t.structure("level" + std::to_string(i), 8, {member("m", 0, level)});
    std::vector<std::string> warnings;
    const auto leaves = t.flatten(level, 16, &warnings);
    std::string expected = "g";
    for (int i = 0; i < 16; ++i) expected += ".m";
    EXPECT_EQ(names(leaves), std::vector<std::string>{expected + ".bits"});
    const std::string bound =
        ": left out: its expansion stopped at the depth bound, 16 levels below its variable";
    EXPECT_EQ(warnings, std::vector<std::string>{expected + ".plain" + bound});

    // One level less deep, the ordinary member appears as well.
    warnings.clear();
    const auto shallower =
        t.flatten(t.debug.types[static_cast<std::size_t>(level)].members[0].type, 16, &warnings);
    EXPECT_EQ(shallower.size(), 2u);
    EXPECT_TRUE(warnings.empty());

    // Arrays of arrays, 17 deep: one warning for the innermost array's
    // elements; none where nothing would be lost.
    std::int32_t chain = t.base("int", 4);
    for (int i = 0; i < 17; ++i) chain = t.array(chain, {1}, 0);
    warnings.clear();
    EXPECT_TRUE(t.flatten(chain, 16, &warnings).empty());
    std::string innermost = "g";
    for (int i = 0; i < 16; ++i) innermost += "[0]";
    EXPECT_EQ(warnings, std::vector<std::string>{innermost + bound});
    // Two members of the structure one level down, 18 levels deep: of the
    // 2^17 values past the bound the first 8 are named, the rest summed up.
    std::int32_t branch = t.base("int", 4);
    for (int i = 0; i < 18; ++i)
        branch = t.structure("b", 8, {member("l", 0, branch), member("r", 4, branch)});
    warnings.clear();
    EXPECT_TRUE(t.flatten(branch, 16, &warnings).empty());
    ASSERT_EQ(warnings.size(), 9u);
    std::string leftmost = "g";
    for (int i = 0; i < 17; ++i) leftmost += ".l";
    EXPECT_EQ(warnings[0], leftmost + bound);
    EXPECT_EQ(warnings[8],
              "g: left out: more values under it, for the reasons of those named before");
    const std::int32_t empty = t.structure("empty", 0, {});
    for (std::int32_t nothing : {t.array(empty, {2}, 0), t.array(t.base("int", 4), {0}, 0)}) {
        std::int32_t deep = nothing;
        for (int i = 0; i < 16; ++i) deep = t.array(deep, {1}, 0);
        warnings.clear();
        EXPECT_TRUE(t.flatten(deep, 16, &warnings).empty());
        EXPECT_TRUE(warnings.empty());
    }
}

TEST(FlattenArrays, SelfContainingArrayStopsAfterTheValueBudget) {
    Types t;
    // Malformed: an array that holds itself, a million elements per level.
    const std::int32_t loop = t.array(-1, {1u << 20}, 4);
    t.debug.types[static_cast<std::size_t>(loop)].target = loop;
    std::vector<std::string> warnings;
    const auto start = std::chrono::steady_clock::now();
    const auto leaves = t.flatten(loop, 1u << 20, &warnings);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    EXPECT_TRUE(leaves.empty());
    ASSERT_FALSE(warnings.empty());
    EXPECT_EQ(warnings.back(),
              "g: expansion stopped after " + std::to_string(kFlattenValueBudget) + " values");
}

// What forEachLeaf hands on, summed up: leaves and the bytes the byte budget
// counts for them.
struct Visited {
    std::uint64_t leaves = 0;
    std::uint64_t bytes = 0;
    std::vector<Variable> first;  // the first few, for comparisons
};

Visited visit(const DebugInfo& debug, const GlobalVariable& global, std::uint64_t limit, std::size_t keep = 0,
              std::vector<std::string>* warnings = nullptr, ExpansionBudget* run = nullptr,
              const WantedPrefix* wanted = nullptr) {
    Visited v;
    forEachLeaf(
        debug, global, limit,
        [&](const Variable& leaf) {
            ++v.leaves;
            v.bytes += sizeof(Variable) + leaf.name.size();
            if (v.first.size() < keep) v.first.push_back(leaf);
        },
        run, warnings, wanted);
    return v;
}

TEST(FlattenBudget, NestedArraysStopAfterTheValueBudget) {
    Types t;
    // int g[16][16][16][16][16][16] written as six array entries: 16^6 leaves
    // within the list's limit of 16 per array.
    std::int32_t type = t.base("int", 4);
    for (int level = 0; level < 6; ++level) type = t.array(type, {16}, 0);
    const GlobalVariable g{"g", 0x1000, type, true, "unit.c"};
    const Visited v = visit(t.debug, g, 16);
    EXPECT_GT(v.leaves, kFlattenValueBudget / 2);
    EXPECT_LT(v.leaves, kFlattenValueBudget);
}

TEST(FlattenBudget, LongNamesUnderManyElementsStopAfterTheByteBudget) {
    Types t;
    // One member with a 64 KiB name over 65536 elements: 4 GiB of names.
    const std::int32_t i32 = t.base("int", 4);
    std::int32_t arrays = i32;
    for (int level = 0; level < 4; ++level) arrays = t.array(arrays, {16}, 0);
    const std::string longName(std::size_t{1} << 16, 'n');
    const std::int32_t s = t.structure("s", 4, {member(longName, 0, arrays)});
    const GlobalVariable g{"g", 0x1000, s, true, "unit.c"};
    const Visited v = visit(t.debug, g, 16);
    EXPECT_LE(v.bytes, kFlattenByteBudget);
    EXPECT_GT(v.bytes, kFlattenByteBudget - (sizeof(Variable) + longName.size() + 32));
    EXPECT_LT(v.leaves, 65536u);
    // flattenVariable stops at the same leaf, and says so.
    std::vector<std::string> warnings;
    const auto leaves = flattenVariable(t.debug, g, 16, &warnings);
    EXPECT_EQ(leaves.size(), v.leaves);
    const std::uint64_t last = v.leaves - 1;
    std::string index;
    for (int shift = 12; shift >= 0; shift -= 4) index += "[" + std::to_string((last >> shift) & 15) + "]";
    EXPECT_EQ(leaves.back().name, "g." + longName + index);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].rfind("g: expansion stopped after ", 0), 0u) << warnings[0];
}

TEST(FlattenBudget, WarningsCountAgainstTheByteBudget) {
    Types t;
    // Limit 0: every array met only warns. 16^4 arrays below a member with a
    // 64 KiB name would give 4 GiB of warnings.
    std::int32_t level = t.array(t.base("int", 4), {2}, 8);
    for (int depth = 0; depth < 4; ++depth) {
        std::vector<Member> members;
        for (int i = 0; i < 16; ++i)
            members.push_back(member(std::string(1, static_cast<char>('a' + i)), 0, level));
        level = t.structure("level", 8, std::move(members));
    }
    const std::string longName(std::size_t{1} << 16, 'n');
    const std::int32_t top = t.structure("top", 8, {member(longName, 0, level)});
    std::vector<std::string> warnings;
    const auto leaves = t.flatten(top, 0, &warnings);
    EXPECT_TRUE(leaves.empty());
    ASSERT_GT(warnings.size(), 2u);
    std::uint64_t bytes = 0;
    for (std::size_t i = 0; i + 1 < warnings.size(); ++i) bytes += sizeof(std::string) + warnings[i].size();
    EXPECT_LE(bytes, kFlattenByteBudget);
    EXPECT_EQ(warnings.front(), "g." + longName + ".a.a.a.a: only the first 0 of 2 array elements");
    EXPECT_EQ(warnings.back().rfind("g: expansion stopped after ", 0), 0u) << warnings.back().substr(0, 80);
    EXPECT_LT(warnings.size(), 65536u);
}

// list mode's leaves are forEachLeaf's; they must be flattenVariable's.
TEST(FlattenBudget, OneRunBudgetIsSharedByEveryExpansion) {
    Types t;
    const std::int32_t u8 = t.base("u8", 1);
    const std::int32_t mib = t.array(u8, {1u << 20}, 1u << 20);  // 1 + 2^20 values each
    const GlobalVariable g{"g", 0x1000, mib, true, "unit.c"};
    ExpansionBudget run{3 * ((1u << 20) + 1) + 5, std::uint64_t{1} << 40, 0, false};
    run.limit = run.values;
    std::vector<std::string> warnings;
    std::uint64_t leaves = 0;
    for (int i = 0; i < 6; ++i) leaves += flattenVariable(t.debug, g, 1u << 20, &warnings, &run).size();
    EXPECT_EQ(leaves, 3u * (1u << 20) + 4);  // the fourth stops after its array and 4 elements
    EXPECT_TRUE(run.reached);
    EXPECT_EQ(run.values, 0u);
    EXPECT_TRUE(warnings.empty()) << warnings[0];  // the run says it once, not each global
    EXPECT_EQ(budgetReachedMessage(run),
              "expansion stopped after " + std::to_string(run.limit) +
                  " values in all, the limit for this input; later values are left out");

    // Listing counts against the same kind of budget; an expansion's own bound
    // still warns by itself while the run has room.
    ExpansionBudget listing{(1u << 20) + 3, std::uint64_t{1} << 40, (1u << 20) + 3, false};
    std::uint64_t listed = 0;
    for (int i = 0; i < 2; ++i)
        forEachLeaf(
            t.debug, g, 1u << 20, [&](const Variable&) { ++listed; }, &listing);
    EXPECT_EQ(listed, (1u << 20) + 1);
    EXPECT_TRUE(listing.reached);
    const std::int32_t huge = t.array(u8, {1u << 22}, 1u << 22);
    ExpansionBudget roomy{std::uint64_t{1} << 30, std::uint64_t{1} << 40, std::uint64_t{1} << 30, false};
    flattenVariable(t.debug, GlobalVariable{"h", 0, huge, true, ""}, 1u << 22, &warnings, &roomy);
    EXPECT_FALSE(roomy.reached);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], "h: expansion stopped after " + std::to_string(kFlattenValueBudget) + " values");
    EXPECT_EQ(roomy.values, (std::uint64_t{1} << 30) - kFlattenValueBudget);
    // Listing hears of that cut too, but not of the array limit it chose.
    std::vector<std::string> heard;
    visit(t.debug, GlobalVariable{"h", 0, huge, true, ""}, 1u << 22, 0, &heard);
    visit(t.debug, g, 16, 0, &heard);
    EXPECT_EQ(heard, warnings);
}

TEST(FlattenBudget, WhatIsNotWantedCostsOneValueOrNone) {
    Types t;
    // struct { u8 frames[2^20]; u16 map[4]; } g, of which only map is wanted.
    const std::int32_t frames = t.array(t.base("u8", 1), {1u << 20}, 1u << 20);
    const std::int32_t map = t.array(t.base("u16", 2), {4}, 8);
    const std::int32_t s =
        t.structure("s", (1u << 20) + 8, {member("frames", 0, frames), member("map", 1u << 20, map)});
    const WantedPrefix wanted = [](std::string_view prefix) {
        const std::string_view target = "g.map[2]";
        return target.substr(0, prefix.size()) == prefix.substr(0, target.size());
    };
    for (bool listing : {false, true}) {
        ExpansionBudget run{100, std::uint64_t{1} << 40, 100, false};
        std::vector<Variable> leaves;
        for (const char* name : {"g", "h"}) {
            const GlobalVariable global{name, 0x1000, s, true, ""};
            if (!listing) {
                for (Variable& leaf : flattenVariable(t.debug, global, 16, nullptr, &run, &wanted))
                    leaves.push_back(leaf);
            } else {
                const Visited v = visit(t.debug, global, 16, 16, nullptr, &run, &wanted);
                leaves.insert(leaves.end(), v.first.begin(), v.first.end());
            }
        }
        // g, frames (left out), map, its 4 elements of which 3 are left out,
        // g.map[2]; h is not expanded.
        EXPECT_EQ(names(leaves), std::vector<std::string>{"g.map[2]"}) << listing;
        EXPECT_EQ(leaves[0].address, 0x1000u + (1u << 20) + 4);
        EXPECT_EQ(run.values, 100u - 7) << listing;
        EXPECT_FALSE(run.lastStopped);
    }
}

TEST(FlattenBudget, ForEachLeafGivesTheLeavesOfFlattenVariable) {
    for (const char* variant : {"armv7m", "ppc64-dwarf64"}) {
        auto elf = loadElf(std::string(VK_FIXTURE_DIR) + "/listing-" + variant + ".elf");
        ASSERT_TRUE(elf.ok());
        auto debug = loadDwarf(elf.value());
        ASSERT_TRUE(debug.ok()) << debug.error().message();
        for (const GlobalVariable& g : debug.value().globals) {
            for (std::uint64_t limit : {0u, 3u, 16u}) {
                const auto expected = flattenVariable(debug.value(), g, limit, nullptr);
                const Visited v = visit(debug.value(), g, limit, expected.size());
                ASSERT_EQ(v.leaves, expected.size()) << g.name;
                for (std::size_t i = 0; i < expected.size(); ++i) {
                    EXPECT_EQ(v.first[i].name, expected[i].name);
                    EXPECT_EQ(v.first[i].address, expected[i].address);
                    EXPECT_EQ(v.first[i].type, expected[i].type);
                    EXPECT_EQ(v.first[i].size, expected[i].size);
                    EXPECT_EQ(v.first[i].bitMask, expected[i].bitMask);
                    EXPECT_EQ(v.first[i].isBitField, expected[i].isBitField);
                    EXPECT_TRUE(v.first[i].typedefNames.empty());
                }
            }
        }
    }
}

TEST(TypeName, DisplayRules) {
    Types t;
    const std::int32_t i32 = t.base("int", 4);
    const std::int32_t unnamedBase = t.base("", 4);
    const std::int32_t s = t.structure("point", 8, {});
    const std::int32_t anonymous = t.structure("", 8, {});
    const std::int32_t u = t.aggregate(TypeKind::Union, "frame", 4, {});
    const std::int32_t e = t.enumeration("gear", 1);
    const std::int32_t anonymousEnum = t.enumeration("", 1);
    const std::int32_t ptr = t.pointer(4);
    const std::int32_t td = t.typedefOf("speed_t", i32);
    const std::int32_t emptyTd = t.typedefOf("", i32);
    const std::int32_t constTd = t.qualified(td);
    const std::int32_t constVoid = t.qualified(-1);
    const std::int32_t map = t.array(i32, {3, 4});
    const std::int32_t pointers = t.array(ptr, {5});
    const std::int32_t undimensioned = t.array(td, {});
    const std::int32_t other = t.add({TypeKind::Other, "", 0, 0, -1, {}, {}, {}});

    EXPECT_EQ(typeName(t.debug, -1), "void");
    EXPECT_EQ(typeName(t.debug, i32), "int");
    EXPECT_EQ(typeName(t.debug, unnamedBase), "?");
    EXPECT_EQ(typeName(t.debug, s), "struct point");
    EXPECT_EQ(typeName(t.debug, anonymous), "struct ");
    EXPECT_EQ(typeName(t.debug, u), "union frame");
    EXPECT_EQ(typeName(t.debug, e), "enum gear");
    EXPECT_EQ(typeName(t.debug, anonymousEnum), "enum ");
    EXPECT_EQ(typeName(t.debug, ptr), "pointer");
    EXPECT_EQ(typeName(t.debug, td), "speed_t");
    EXPECT_EQ(typeName(t.debug, emptyTd), "");
    EXPECT_EQ(typeName(t.debug, constTd), "speed_t");
    EXPECT_EQ(typeName(t.debug, constVoid), "void");
    EXPECT_EQ(typeName(t.debug, map), "int[3][4]");
    EXPECT_EQ(typeName(t.debug, pointers), "pointer[5]");
    EXPECT_EQ(typeName(t.debug, undimensioned), "speed_t");
    EXPECT_EQ(typeName(t.debug, other), "?");
    EXPECT_EQ(typeName(t.debug, 999), "?");
}

TEST(TypeName, LoopsThroughQualifiersAndArraysEnd) {
    Types t;
    const std::int32_t q = t.qualified(-1);
    t.debug.types[static_cast<std::size_t>(q)].target = q;
    EXPECT_EQ(typeName(t.debug, q), "?");

    const std::int32_t a = t.array(-1, {2});
    t.debug.types[static_cast<std::size_t>(a)].target = a;
    std::string expected = "?";
    for (int i = 0; i <= 64; ++i) expected += "[2]";
    EXPECT_EQ(typeName(t.debug, a), expected);
}

const Variable* find(const std::vector<Variable>& leaves, const std::string& name) {
    for (const Variable& leaf : leaves)
        if (leaf.name == name) return &leaf;
    return nullptr;
}

// listing.c: struct flags { u32 ready : 1; u32 level : 3; u32 code : 12; u16 tail; }
// and struct sensor { speed_t rpm; ... const volatile u8 *source; }.
TEST(FlattenFixtures, BitFieldMasksInBothByteOrders) {
    struct Case {
        const char* variant;
        bool little;
    };
    for (const Case& c : {Case{"armv7m", true}, Case{"arm-dwarf2", true}, Case{"x86_64-dwarf64", true},
                          Case{"ppc", false}, Case{"ppc64-dwarf64", false}}) {
        SCOPED_TRACE(c.variant);
        auto elf = loadElf(std::string(VK_FIXTURE_DIR) + "/listing-" + c.variant + ".elf");
        ASSERT_TRUE(elf.ok());
        auto debug = loadDwarf(elf.value());
        ASSERT_TRUE(debug.ok()) << debug.error().message();
        const DebugInfo& info = debug.value();
        ASSERT_EQ(info.globals.size(), 7u);  // the function-local static is not one
        const GlobalVariable& status = info.globals[1];
        ASSERT_EQ(status.name, "status");
        const auto leaves = flattenVariable(info, status, 16, nullptr);
        ASSERT_EQ(leaves.size(), 4u);
        const std::uint64_t ready = c.little ? 0x1 : 0x80000000;
        const std::uint64_t level = c.little ? 0xE : 0x70000000;
        const std::uint64_t code = c.little ? 0xFFF0 : 0x0FFF0000;
        EXPECT_EQ(leaves[0].bitMask, ready);
        EXPECT_EQ(leaves[1].bitMask, level);
        EXPECT_EQ(leaves[2].bitMask, code);
        for (int i = 0; i < 3; ++i) {
            EXPECT_TRUE(leaves[i].isBitField);
            EXPECT_EQ(leaves[i].address, status.address);
            EXPECT_EQ(leaves[i].size, 4u);
            EXPECT_EQ(leaves[i].typedefNames, std::vector<std::string>{"u32"});
        }
        EXPECT_EQ(leaves[3].bitMask, 0u);
        EXPECT_FALSE(leaves[3].isBitField);
        EXPECT_EQ(leaves[3].address, status.address + 2);
        EXPECT_EQ(leaves[3].typedefNames, std::vector<std::string>{"u16"});

        const auto sensor = flattenVariable(info, info.globals[0], 16, nullptr);
        const Variable* rpm = find(sensor, "sensor_a.rpm");
        ASSERT_NE(rpm, nullptr);
        EXPECT_EQ(rpm->typedefNames, (std::vector<std::string>{"speed_t", "u16"}));
        EXPECT_EQ(typeName(info, rpm->type), "unsigned short");
        const Variable* source = find(sensor, "sensor_a.source");
        ASSERT_NE(source, nullptr);
        EXPECT_TRUE(source->typedefNames.empty());
        EXPECT_EQ(source->size, elf.value().is64 ? 8u : 4u);
    }
}

TEST(FlattenFixtures, ArrayWarningsOnRealArrays) {
    auto elf = loadElf(std::string(VK_FIXTURE_DIR) + "/listing-riscv32.elf");
    ASSERT_TRUE(elf.ok());
    auto debug = loadDwarf(elf.value());
    ASSERT_TRUE(debug.ok());
    const GlobalVariable& map3 = debug.value().globals[2];
    ASSERT_EQ(map3.name, "map3");
    std::vector<std::string> warnings;
    const auto leaves = flattenVariable(debug.value(), map3, 7, &warnings);
    ASSERT_EQ(leaves.size(), 7u);
    EXPECT_EQ(leaves[6].name, "map3[0][1][1]");
    EXPECT_EQ(leaves[6].address, map3.address + 6);
    EXPECT_EQ(warnings, std::vector<std::string>{"map3: only the first 7 of 20 array elements"});
    EXPECT_EQ(typeName(debug.value(), map3.typeIndex), "u8[2][2][5]");
}

}  // namespace
}  // namespace vk::elf
