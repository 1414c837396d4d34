// Selecting scalars: the three matching rules, first entry wins, A2L data
// types with their limits, identifiers, and which warnings are kept.
#include "tool/selection.h"

#include <gtest/gtest.h>

#include "generate_test_support.h"
#include "tool/a2l_datatype.h"
#include "tool/a2l_format.h"
#include "tool/identifier.h"
#include "tool/pattern.h"

namespace vk::tool {
namespace {

using vk::elf::TypeInfo;
using vk::elf::TypeKind;

TEST(EntryMatches, ExactWildcardAndContainerRules) {
    for (const char* name : {"speed", "speed.raw", "speed[1]"}) {
        EXPECT_TRUE(entryMatches("speed", name)) << name;
        EXPECT_TRUE(entryMatches("speed*", name)) << name;
    }
    EXPECT_FALSE(entryMatches("speed", "speedLimit"));
    EXPECT_TRUE(entryMatches("speed*", "speedLimit"));
    EXPECT_TRUE(entryMatches("cfg", "cfg[0].x"));
    EXPECT_TRUE(entryMatches("cfg.b", "cfg.b[2]"));
    EXPECT_FALSE(entryMatches("cfg", "cfgx"));
    EXPECT_FALSE(entryMatches("cfg.", "cfg"));
    EXPECT_TRUE(entryMatches("s.?", "s.a"));
    EXPECT_FALSE(entryMatches("Speed", "speed"));
    EXPECT_FALSE(entryMatches("", "speed"));
    // What may hold a selected scalar under it: the expansion looks there.
    for (const char* prefix : {"cal", "cal_map", "cal_map[3]", "cal_map.x"})
        EXPECT_TRUE(entryMaySelectWithin("cal_map", prefix)) << prefix;
    for (const char* prefix : {"cal_mapx", "frame_buf_00", "cal_maq"})
        EXPECT_FALSE(entryMaySelectWithin("cal_map", prefix)) << prefix;
    EXPECT_TRUE(entryMaySelectWithin("s.?", "s"));
    EXPECT_FALSE(entryMaySelectWithin("", "s"));
}

TypeInfo base(std::uint8_t encoding, std::uint64_t size = 0) {
    TypeInfo type;
    type.kind = TypeKind::Base;
    type.encoding = encoding;
    type.byteSize = size;
    return type;
}

TEST(A2lDatatype, KeywordsBySizeAndSignedness) {
    const auto keyword = [](const TypeInfo& type, std::uint64_t size) {
        const auto limits = a2lDatatypeFor(type, size);
        return limits ? std::string(limits->keyword) : std::string("none");
    };
    const std::uint64_t sizes[] = {1, 2, 4, 8, 3, 16};
    const std::vector<std::string> expectSigned{"SBYTE", "SWORD", "SLONG", "A_INT64", "none", "none"};
    const std::vector<std::string> expectUnsigned{"UBYTE", "UWORD", "ULONG", "A_UINT64", "none", "none"};
    const std::vector<std::string> expectFloat{"none",         "none", "FLOAT32_IEEE",
                                               "FLOAT64_IEEE", "none", "none"};
    TypeInfo negativeEnum;
    negativeEnum.kind = TypeKind::Enum;
    negativeEnum.enumerators = {{0, "A"}, {-1, "B"}};
    TypeInfo plainEnum;
    plainEnum.kind = TypeKind::Enum;
    plainEnum.enumerators = {{0, "A"}, {2, "B"}};
    TypeInfo emptyEnum;
    emptyEnum.kind = TypeKind::Enum;
    // Over a named underlying type its signedness decides, not the values.
    TypeInfo overSigned = plainEnum;
    overSigned.encoding = 0x05;
    TypeInfo overUnsigned = negativeEnum;  // -1: the bits of 2^64 - 1
    overUnsigned.encoding = 0x07;
    TypeInfo pointer;
    pointer.kind = TypeKind::Pointer;
    for (std::size_t i = 0; i < std::size(sizes); ++i) {
        const std::uint64_t s = sizes[i];
        EXPECT_EQ(keyword(base(0x05), s), expectSigned[i]);
        EXPECT_EQ(keyword(base(0x06), s), expectSigned[i]);
        EXPECT_EQ(keyword(negativeEnum, s), expectSigned[i]);
        EXPECT_EQ(keyword(overSigned, s), expectSigned[i]);
        EXPECT_EQ(keyword(overUnsigned, s), expectUnsigned[i]);
        for (std::uint8_t encoding : {0x02, 0x07, 0x08, 0x10, 0x00})
            EXPECT_EQ(keyword(base(encoding), s), expectUnsigned[i]);
        EXPECT_EQ(keyword(plainEnum, s), expectUnsigned[i]);
        EXPECT_EQ(keyword(emptyEnum, s), expectUnsigned[i]);
        EXPECT_EQ(keyword(pointer, s), expectUnsigned[i]);
        EXPECT_EQ(keyword(base(0x04), s), expectFloat[i]);
    }
    // The scalar's size counts, not the entry's.
    EXPECT_EQ(keyword(base(0x07, 8), 2), "UWORD");
    for (TypeKind kind : {TypeKind::Struct, TypeKind::Union, TypeKind::Array, TypeKind::Typedef,
                          TypeKind::Qualified, TypeKind::Function, TypeKind::Other, TypeKind::Unspecified}) {
        TypeInfo type;
        type.kind = kind;
        EXPECT_EQ(keyword(type, 4), "none");
    }
}

TEST(A2lDatatype, LimitsAsStored) {
    struct Expected {
        std::uint8_t encoding;
        std::uint64_t size;
        double lower;
        double upper;
        bool isFloat;
    };
    const Expected table[] = {
        {0x08, 1, 0, 255, false},
        {0x06, 1, -128, 127, false},
        {0x07, 2, 0, 65535, false},
        {0x05, 2, -32768, 32767, false},
        {0x07, 4, 0, 4294967295.0, false},
        {0x05, 4, -2147483648.0, 2147483647.0, false},
        {0x07, 8, 0, 18446744073709551616.0, false},
        {0x05, 8, -9223372036854775808.0, 9223372036854775808.0, false},
        {0x04, 4, -3.4e38, 3.4e38, true},
        {0x04, 8, -1.7e308, 1.7e308, true},
    };
    for (const Expected& e : table) {
        const auto limits = a2lDatatypeFor(base(e.encoding), e.size);
        ASSERT_TRUE(limits);
        EXPECT_EQ(limits->lower, e.lower) << limits->keyword;
        EXPECT_EQ(limits->upper, e.upper) << limits->keyword;
        EXPECT_EQ(limits->isFloat, e.isFloat) << limits->keyword;
    }
}

TEST(A2lIdentifier, ReplacesWhatAnIdentifierCannotHold) {
    EXPECT_EQ(makeA2lIdentifier("ns::speed"), "ns__speed");
    EXPECT_EQ(makeA2lIdentifier("1st"), "_1st");
    EXPECT_EQ(makeA2lIdentifier("tab[3].x"), "tab[3].x");
    EXPECT_EQ(makeA2lIdentifier("gr\xC3\xBC\xC3\x9F"), "gr____");
    EXPECT_EQ(makeA2lIdentifier(""), "_");
    EXPECT_EQ(makeA2lIdentifier("a-b c+d/e"), "a_b_c_d_e");
    EXPECT_EQ(makeA2lIdentifier(std::string("a\0b", 3)), "a_b");
}

// A type table with one entry of each kind the selection meets.
enum : std::int32_t { kInt, kUChar, kPtr4, kPtr2, kHalf, kStruct, kArray, kSpeed, kLongDouble };

vk::elf::DebugInfo handMadeDebugInfo() {
    vk::elf::DebugInfo debug;
    debug.types.resize(9);
    debug.types[kInt] = base(0x05, 4);
    debug.types[kInt].name = "int";
    debug.types[kUChar] = base(0x08, 1);
    debug.types[kUChar].name = "unsigned char";
    debug.types[kPtr4].kind = TypeKind::Pointer;
    debug.types[kPtr4].byteSize = 4;
    debug.types[kPtr2].kind = TypeKind::Pointer;
    debug.types[kPtr2].byteSize = 2;
    debug.types[kHalf] = base(0x04, 2);
    debug.types[kHalf].name = "_Float16";
    debug.types[kStruct].kind = TypeKind::Struct;
    debug.types[kStruct].name = "s";
    debug.types[kStruct].byteSize = 8;
    debug.types[kStruct].members = {{"a", 0, kInt, 0, 0},
                                    {"b", 4, -1, 3, 2},
                                    {"c", 4, kInt, 5, 3},
                                    {"d", 0, kInt, 60, 0, vk::elf::kNoBitWindow}};
    debug.types[kArray].kind = TypeKind::Array;
    debug.types[kArray].target = kUChar;
    debug.types[kArray].dims = {100};
    debug.types[kArray].byteSize = 100;
    debug.types[kSpeed].kind = TypeKind::Typedef;
    debug.types[kSpeed].name = "speed_t";
    debug.types[kSpeed].target = kInt;
    debug.types[kLongDouble] = base(0x04, 16);
    debug.types[kLongDouble].name = "long double";
    return debug;
}

void addGlobal(vk::elf::DebugInfo& debug, std::string_view name, std::uint64_t address, std::int32_t type) {
    vk::elf::GlobalVariable global;
    global.name = debug.names.keep(name);
    global.address = address;
    global.typeIndex = type;
    debug.globals.push_back(std::move(global));
}

std::vector<VariableSpec> specs(const std::string& json) {
    return readVariableList(R"({"variables": )" + json + "}", "fw").variables;
}

std::vector<std::string> identifiers(const Selection& selection) {
    std::vector<std::string> ids;
    for (const A2lItem& item : selection.items) ids.push_back(item.identifier);
    return ids;
}

TEST(Selection, FirstMatchingEntryDecides) {
    vk::elf::DebugInfo debug = handMadeDebugInfo();
    addGlobal(debug, "speed", 0x100, kSpeed);
    addGlobal(debug, "speedLimit", 0x104, kInt);
    // The items point into the entries, so these must outlive the selection.
    const std::vector<VariableSpec> entries = specs(R"([{"name": "speed*", "unit": "a"},
        {"name": "speed", "unit": "b"}, {"name": ""}, {"name": "nothing*"}, {"name": "s*"}])");
    const Selection selection = selectItems(debug, entries, 64);
    ASSERT_EQ(identifiers(selection), (std::vector<std::string>{"speed", "speedLimit"}));
    EXPECT_EQ(selection.items[0].entry, &entries[0].entry);
    EXPECT_EQ(selection.items[0].entry->at("unit"), "a");
    EXPECT_EQ(selection.items[0].typedefNames, std::vector<std::string>{"speed_t"});
    EXPECT_EQ(selection.items[0].type, kInt);
    EXPECT_EQ(selection.items[0].dataType, "SLONG");
    EXPECT_EQ(selection.warnings,
              (std::vector<std::string>{"'speed': every match already taken by an earlier entry (speed)",
                                        "'' matches no variable in the ELF file",
                                        "'nothing*' matches no variable in the ELF file",
                                        "'s*': every match already taken by an earlier entry (speed, "
                                        "speedLimit)"}));
}

TEST(Selection, TheRunBudgetEndsTheSelectionWithOneWarning) {
    vk::elf::DebugInfo debug = handMadeDebugInfo();
    for (int i = 0; i < 4; ++i) addGlobal(debug, "v" + std::to_string(i), 0x100 + 4 * i, kInt);
    vk::elf::ExpansionBudget run{2, std::uint64_t{1} << 30, 2, false};
    const std::vector<VariableSpec> entries =
        specs(R"([{"name": "v0"}, {"name": "v1"}, {"name": "v3"}, {"name": "w"}])");
    const Selection selection = selectItems(debug, entries, 64, &run);
    EXPECT_EQ(identifiers(selection), (std::vector<std::string>{"v0", "v1"}));
    EXPECT_EQ(
        selection.warnings,
        (std::vector<std::string>{
            "expansion stopped after 2 values in all, the limit for this input; later values are left out",
            "'v3' matches no variable up to where the expansion of v3 stopped; what it names may lie beyond",
            "'w' matches no variable in the ELF file"}));
}

TEST(Selection, DuplicateIdentifiersKeepTheFirstWithAWarning) {
    vk::elf::DebugInfo debug = handMadeDebugInfo();
    addGlobal(debug, "ns::v", 0x100, kInt);
    addGlobal(debug, "ns__v", 0x104, kInt);
    const Selection selection = selectItems(debug, specs(R"([{"name": "*"}])"), 64);
    ASSERT_EQ(identifiers(selection), std::vector<std::string>{"ns__v"});
    EXPECT_EQ(selection.items[0].name, "ns::v");
    EXPECT_EQ(selection.items[0].address, 0x100u);
    EXPECT_EQ(selection.warnings, std::vector<std::string>{"ns__v: A2L identifier ns__v already taken by "
                                                           "ns::v at 0x00000100, this one at 0x00000104 "
                                                           "skipped"});
    // Two scalars of one variable: a derived class's member over its base's.
    TypeInfo base;
    base.kind = TypeKind::Struct;
    base.members = {{"status_", 0, kUChar, 0, 0}};
    debug.types.push_back(base);
    TypeInfo derived = base;
    derived.members = {{"", 0, static_cast<std::int32_t>(debug.types.size() - 1), 0, 0},
                       {"status_", 6, kInt, 0, 0}};
    debug.types.push_back(derived);
    addGlobal(debug, "evt", 0x200, static_cast<std::int32_t>(debug.types.size() - 1));
    EXPECT_EQ(
        selectItems(debug, specs(R"([{"name": "evt"}])"), 64).warnings,
        std::vector<std::string>{"evt.status_: A2L identifier evt.status_ already taken by evt.status_ at "
                                 "0x00000200, this one at 0x00000206 skipped"});
}

TEST(Selection, PointersOnlyWhenAskedFor) {
    vk::elf::DebugInfo debug = handMadeDebugInfo();
    addGlobal(debug, "p4", 0x100, kPtr4);
    addGlobal(debug, "p2", 0x104, kPtr2);
    EXPECT_TRUE(selectItems(debug, specs(R"([{"name": "p*"}])"), 64).items.empty());
    const Selection selection = selectItems(debug, specs(R"([{"name": "p*", "pointer": true}])"), 64);
    ASSERT_EQ(selection.items.size(), 2u);
    EXPECT_EQ(selection.items[0].dataType, "ULONG");
    EXPECT_EQ(selection.items[0].upper, 4294967295.0);
    EXPECT_EQ(selection.items[1].dataType, "UWORD");
    EXPECT_TRUE(selection.warnings.empty());
    // Dropped by the earlier entry, which did not let pointers through.
    EXPECT_EQ(selectItems(debug, specs(R"([{"name": "*"}, {"name": "p4", "pointer": true}])"), 64).warnings,
              std::vector<std::string>{"'p4': every match already taken by an earlier entry (p4)"});
    EXPECT_THROW(selectItems(debug, specs(R"([{"name": "p4", "pointer": 1}])"), 64),
                 nlohmann::json::type_error);
}

TEST(Selection, WarningsInTheirOrder) {
    vk::elf::DebugInfo debug = handMadeDebugInfo();
    addGlobal(debug, "unmatched", 0x100, kArray);  // its array warning is dropped
    addGlobal(debug, "s", 0x200, kStruct);
    addGlobal(debug, "half", 0x208, kHalf);
    addGlobal(debug, "big", 0x210, kArray);
    addGlobal(debug, "wide", 0x100000000, kInt);
    addGlobal(debug, "ld", 0x300, kLongDouble);
    addGlobal(debug, "t", 0x308, kStruct);  // named only by its field that no scalar holds
    // An identifier with CM_ in front fits the 1024 characters of an A2L identifier, or not.
    const std::string longest(1021, 'k');
    addGlobal(debug, longest, 0x310, kInt);
    addGlobal(debug, longest + "k", 0x314, kInt);
    const Selection selection =
        selectItems(debug, specs(R"([{"name": "s"}, {"name": "half"}, {"name": "big[0]"}, {"name": "wide"},
                              {"name": "ld"}, {"name": "t.d"}, {"name": "kk*"}, {"name": "big[50]"},
                              {"name": "big[100]"}])"),
                    2);
    EXPECT_EQ(identifiers(selection), (std::vector<std::string>{"s.a", "s.c", "big[0]", longest}));
    EXPECT_EQ(
        selection.warnings,
        (std::vector<std::string>{
            "s.b: type void skipped",
            "s.d: bit field left out: no 8 bytes hold all its bits",
            "half: type _Float16 skipped",
            "big: only the first 2 of 100 array elements",
            "wide: address 0x100000000 does not fit 32 bits, skipped",
            "ld: type long double skipped",
            "t.d: bit field left out: no 8 bytes hold all its bits",
            longest + "k: skipped: its A2L identifier of 1022 characters, or the name of its conversion, "
                      "would exceed the 1024 characters an A2L identifier holds",
            "'big[50]': big[50] lies beyond the array limit of big, whose first 2 elements are taken "
            "(\"maxArrayElements\")",
            "'big[100]' matches no variable in the ELF file",
        }));
    const A2lItem& bits = selection.items[1];
    EXPECT_TRUE(bits.isBitField);
    EXPECT_EQ(bits.bitMask, 0xF8u);
    EXPECT_EQ(bits.address, 0x204u);
    EXPECT_EQ(bits.dataType, "SLONG");
}

TEST(Selection, EveryScalarOfARealFirmware) {
    const auto firmware = testing::loadFirmware("generate_cases", "x86_64");
    const Selection selection = selectItems(
        firmware.debug,
        specs(
            R"([{"name": "*"}, {"name": "v_*", "min": 0}, {"name": "v_history[70]"}, {"name": "v_deep.in"}])"),
        64);
    std::vector<std::string> expected{
        "v_s8",  "v_u8",  "v_s16",  "v_u16",  "v_s32", "v_u32",         "v_s64",         "v_u64",
        "v_f32", "v_f64", "v_bool", "v_mode", "v_dir", "v_flags.ready", "v_flags.level", "v_flags.code"};
    for (int i = 0; i < 64; ++i) expected.push_back("v_history[" + std::to_string(i) + "]");
    for (const char* p : {"v_path[0].x", "v_path[0].y", "v_path[1].x", "v_path[1].y", "v_corr.trim",
                          "v_corr.step", "v_wide.count", "v_wide.flag", "v_umlaut.gr____e"})
        expected.push_back(p);
    EXPECT_EQ(identifiers(selection), expected);
    // v_* names the value left out too, so it has that warning, and no other.
    std::string deep = "v_deep";
    for (int level = 1; level <= 16; ++level) deep += ".in";
    // The two shorts at the symbol's address and 2 bytes on.
    std::uint64_t umlaut = 0;
    for (const vk::elf::Symbol& symbol : vk::elf::readSymbols(firmware.elf))
        if (symbol.name == "v_umlaut") umlaut = symbol.value;
    EXPECT_EQ(
        selection.warnings,
        (std::vector<std::string>{
            "v_ld: type long double skipped", "v_history: only the first 64 of 100 array elements",
            "v_umlaut.gr\xC3\xBC\xC3\x9F"
            "e: A2L identifier v_umlaut.gr____e already taken by "
            "v_umlaut.gr\xC3\xB6\xC3\x9F"
            "e at " +
                hexAddress(umlaut) + ", this one at " + hexAddress(umlaut + 2) + " skipped",
            deep + ".x: left out: its expansion stopped at the depth bound, 16 levels below its variable",
            "'v_history[70]': v_history[70] lies beyond the array limit of v_history, whose first 64 "
            "elements are taken (\"maxArrayElements\")"}));
}

// The expansion leaves out only what a pattern cannot match: its leaves are
// those of the whole expansion that list mode's and the selection's rules
// match. On a real firmware, plus arrays with two-digit indices.
TEST(Selection, PruningKeepsEveryLeafThatCanMatch) {
    testing::Firmware firmware = testing::loadFirmware("listing", "armv7m");
    vk::elf::DebugInfo& debug = firmware.debug;
    const auto add = [&debug](TypeInfo type) {
        debug.types.push_back(std::move(type));
        return static_cast<std::int32_t>(debug.types.size() - 1);
    };
    const std::int32_t i32 = add(base(0x05, 4));
    TypeInfo grid{TypeKind::Array, "", 720, 0, i32, {}, {12, 15}, {}};
    TypeInfo row{TypeKind::Array, "", 44, 0, i32, {}, {11}, {}};
    const std::int32_t rowType = add(row);
    TypeInfo cell{
        TypeKind::Struct, "cell", 48, 0, -1, {{"v", 0, rowType, 0, 0}, {"w", 44, i32, 0, 0}}, {}, {}};
    TypeInfo cells{TypeKind::Array, "", 144, 0, add(cell), {}, {3}, {}};
    addGlobal(debug, "grid", 0x8000, add(grid));
    addGlobal(debug, "cells", 0x9000, add(cells));
    const char* const patterns[] = {
        "?",         "grid",          "grid[1]*",       "grid[1][1?]",    "grid[?][1]", "grid[1?][*",
        "g*[10][1]", "grid[11][14]",  "grid[011][1]",   "cells[?].v[10]", "cells[2].w", "sensor_a.track[?].x",
        "map3[1]",   "map3[?][1][4]", "s?????_a.track", "label[5]",       "status.*",   ""};
    const auto names = [](const std::vector<vk::elf::Variable>& leaves, auto&& keep) {
        std::vector<std::string> kept;
        for (const vk::elf::Variable& leaf : leaves)
            if (keep(leaf.name)) kept.push_back(leaf.name);
        return kept;
    };
    std::size_t matched = 0;
    for (const std::string pattern : patterns) {
        const vk::elf::WantedPrefix listed = [&](std::string_view p) { return prefixCanMatch(pattern, p); };
        const vk::elf::WantedPrefix selected = [&](std::string_view p) {
            return entryMaySelectWithin(pattern, p);
        };
        const auto glob = [&](const std::string& name) { return matchPattern(pattern, name); };
        const auto entry = [&](const std::string& name) { return entryMatches(pattern, name); };
        for (const vk::elf::GlobalVariable& global : debug.globals) {
            for (std::uint64_t limit : {3u, 16u, 1000u}) {
                SCOPED_TRACE(pattern + " " + std::string(global.name) + " " + std::to_string(limit));
                const auto all = vk::elf::flattenVariable(debug, global, limit, nullptr);
                std::vector<vk::elf::Variable> visited;
                vk::elf::forEachLeaf(
                    debug, global, limit, [&](const vk::elf::Variable& leaf) { visited.push_back(leaf); },
                    nullptr, nullptr, &listed);
                EXPECT_EQ(names(visited, glob), names(all, glob));
                matched += names(all, glob).size();
                const auto chosen =
                    vk::elf::flattenVariable(debug, global, limit, nullptr, nullptr, &selected);
                EXPECT_EQ(names(chosen, entry), names(all, entry));
            }
        }
    }
    EXPECT_GT(matched, 50u);
}

}  // namespace
}  // namespace vk::tool
