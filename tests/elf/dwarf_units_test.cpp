// Unit headers, abbreviation tables and the DIE walk, read through loadDwarf
// from hand-built sections: every version and format, and each error text.
#include <gtest/gtest.h>

#include <tuple>

#include "dwarf_builder.h"

namespace vk::elf {
namespace {

using test::abbrevDecl;
using test::buildUnit;
using test::Bytes;
using test::DwarfFile;
using test::UnitShape;

// Abbreviations shared by most tests:
//   1 compile_unit (children): name string
//   2 variable: name string, location exprloc, type ref4
//   3 base_type: name string, byte_size data1, encoding data1
std::vector<std::uint8_t> standardAbbrevs(bool le,
                                          std::initializer_list<test::AttrForm> cuSpecs = {{0x03, 0x08}}) {
    Bytes b(le);
    abbrevDecl(b, 1, 0x11, true, cuSpecs);
    abbrevDecl(b, 2, 0x34, false, {{0x03, 0x08}, {0x02, 0x18}, {0x49, 0x13}});
    abbrevDecl(b, 3, 0x24, false, {{0x03, 0x08}, {0x0b, 0x0b}, {0x3e, 0x0b}});
    b.u8(0);
    return b.data;
}

// CU "cu" { int; variable `name` at `address` of that int }.
std::vector<std::uint8_t> standardBody(const UnitShape& s, bool le, const std::string& name,
                                       std::uint64_t address) {
    Bytes b(le);
    b.uleb(1).str("cu");
    const std::size_t intOffset = test::unitHeaderSize(s) + b.size();
    b.uleb(3).str("int").u8(4).u8(5);
    b.uleb(2).str(name).uleb(1 + s.addressSize).u8(0x03).num(address, s.addressSize).u32(intOffset);
    b.u8(0);
    return b.data;
}

std::string loadError(const DwarfFile& f) {
    auto r = test::load(f);
    return r.ok() ? "loaded" : r.error().message();
}

class DwarfUnitShapes : public ::testing::TestWithParam<std::tuple<int, int, bool, bool>> {};

TEST_P(DwarfUnitShapes, ReadTheSameTablesInEveryVersionAndFormat) {
    const auto [version, addressSize, dwarf64, le] = GetParam();
    UnitShape s;
    s.version = static_cast<std::uint16_t>(version);
    s.addressSize = static_cast<std::uint8_t>(addressSize);
    s.dwarf64 = dwarf64;
    DwarfFile f;
    f.littleEndian = le;
    f.abbrev = standardAbbrevs(le);
    f.info = buildUnit(s, standardBody(s, le, "speed", 0x1010), le);
    auto r = test::load(f);
    ASSERT_TRUE(r.ok()) << r.error().message();
    const DebugInfo& d = r.value();
    ASSERT_EQ(d.globals.size(), 1u);
    EXPECT_EQ(d.globals[0].name, "speed");
    EXPECT_EQ(d.globals[0].address, 0x1010u);
    EXPECT_EQ(d.globals[0].unitName, "cu");
    EXPECT_EQ(byteSize(d.types, d.globals[0].typeIndex), 4u);
    EXPECT_EQ(d.types[0].encoding, 5);
    EXPECT_EQ(d.addressSize, static_cast<std::uint64_t>(addressSize));
}

INSTANTIATE_TEST_SUITE_P(AllShapes, DwarfUnitShapes,
                         ::testing::Combine(::testing::Values(2, 3, 4, 5, 6), ::testing::Values(4, 8),
                                            ::testing::Bool(), ::testing::Bool()));

TEST(DwarfUnits, UnitTypesAreReadOrRefused) {
    // Type units and the units of split DWARF hold what other units or other
    // files need: read alone they would give a short list without a word.
    const std::string types = " - build without -fdebug-types-section",
                      split = " - build without -gsplit-dwarf";
    const std::vector<std::pair<std::uint8_t, std::string>> cases = {
        {1, ""},
        {3, ""},
        {0x80, ""},
        {2, "DWARF type units (DW_UT_type)" + types},
        {6, "DWARF type units (DW_UT_split_type)" + types},
        {4, "split DWARF debug information (DW_UT_skeleton)" + split},
        {5, "split DWARF debug information (DW_UT_split_compile)" + split},
    };
    for (const auto& [unitType, error] : cases) {
        UnitShape s;
        s.version = 5;
        s.unitType = unitType;
        DwarfFile f;
        f.abbrev = standardAbbrevs(true);
        f.info = buildUnit(s, standardBody(s, true, "v", 0x1004), true);
        if (!error.empty()) {
            EXPECT_EQ(loadError(f), error) << int(unitType);
            continue;
        }
        auto r = test::load(f);
        ASSERT_TRUE(r.ok()) << int(unitType) << ": " << r.error().message();
        ASSERT_EQ(r.value().globals.size(), 1u) << int(unitType);
    }
}

TEST(DwarfUnits, HeaderErrors) {
    UnitShape s;
    DwarfFile f;
    f.abbrev = standardAbbrevs(true);
    for (std::uint16_t version : {0, 1}) {
        s.version = version;
        f.info = buildUnit(s, standardBody(s, true, "v", 0x1000), true);
        EXPECT_EQ(loadError(f), "DWARF: unsupported DWARF version " + std::to_string(version));
    }
    s.version = 4;
    std::vector<std::uint8_t> unit = buildUnit(s, standardBody(s, true, "v", 0x1000), true);
    f.info = unit;
    f.info[0] += 1;  // one byte longer than the section
    EXPECT_EQ(loadError(f), "DWARF: DWARF unit outside .debug_info");
    f.info.assign(unit.begin(), unit.begin() + 9);  // cut inside the header
    f.info[0] = 0xff;                               // and far too long
    EXPECT_EQ(loadError(f), "DWARF: DWARF data truncated");
    f.info = {0xff, 0xff, 0xff, 0xff, 0x01};
    EXPECT_EQ(loadError(f), "DWARF: DWARF data truncated");
    s.abbrevOffset = 0x1000;
    f.info = buildUnit(s, standardBody(s, true, "v", 0x1000), true);
    EXPECT_EQ(loadError(f), "DWARF: DWARF data truncated");
}

TEST(DwarfUnits, MissingDebugInformationIsNotFound) {
    DwarfFile f;
    f.abbrev = standardAbbrevs(true);
    auto r = test::load(f);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().code, ErrorCode::NotFound);
    EXPECT_EQ(r.error().message(), "no DWARF debug information (.debug_info) - build with -g");
    UnitShape s;
    f.info = buildUnit(s, standardBody(s, true, "v", 0x1000), true);
    f.abbrev.clear();
    EXPECT_EQ(loadError(f), "no DWARF debug information (.debug_info) - build with -g");
    EXPECT_EQ(test::load(f).error().code, ErrorCode::NotFound);
}

TEST(DwarfUnits, MalformedDataIsInvalidArgument) {
    UnitShape s;
    s.version = 1;
    DwarfFile f;
    f.abbrev = standardAbbrevs(true);
    f.info = buildUnit(s, {}, true);
    EXPECT_EQ(test::load(f).error().code, ErrorCode::InvalidArgument);
}

TEST(DwarfUnits, MixedFormatsAndPaddedUnits) {
    // A 32-bit DWARF 4 unit padded with zero bytes past its last DIE, then a
    // 64-bit DWARF 5 unit with 8-byte addresses in a 32-bit ELF file.
    UnitShape a;
    std::vector<std::uint8_t> body = standardBody(a, true, "first", 0x1000);
    body.insert(body.end(), 7, 0);
    UnitShape b;
    b.version = 5;
    b.dwarf64 = true;
    b.addressSize = 8;
    DwarfFile f;
    f.abbrev = standardAbbrevs(true);
    f.info = buildUnit(a, body, true);
    const std::vector<std::uint8_t> unitB = buildUnit(b, standardBody(b, true, "second", 0x1008), true);
    f.info.insert(f.info.end(), unitB.begin(), unitB.end());
    auto r = test::load(f);
    ASSERT_TRUE(r.ok()) << r.error().message();
    ASSERT_EQ(r.value().globals.size(), 2u);
    EXPECT_EQ(r.value().globals[1].name, "second");
    EXPECT_EQ(r.value().globals[1].address, 0x1008u);
    EXPECT_EQ(r.value().addressSize, 8u);
    // The second unit's references are relative to its own start.
    EXPECT_EQ(byteSize(r.value().types, r.value().globals[1].typeIndex), 4u);
}

TEST(DwarfUnits, AbbreviationTables) {
    UnitShape s;
    DwarfFile f;
    Bytes ab;
    abbrevDecl(ab, 1, 0x11, true, {{0x03, 0x08}});
    abbrevDecl(ab, 2, 0x24, false, {{0x03, 0x08}});  // replaced below
    // The base type's size and encoding are implicit constants.
    abbrevDecl(ab, 3, 0x24, false, {{0x03, 0x08}, {0x0b, 0x21, 4}, {0x3e, 0x21, 5}});
    // The later code 2 wins; its data16 and ref_sig8 values are stepped over.
    abbrevDecl(ab, 2, 0x34, false, {{0x1c, 0x1e}, {0x03, 0x08}, {0x49, 0x20}, {0x02, 0x18}, {0x49, 0x13}});
    ab.u8(0);
    f.abbrev = ab.data;
    Bytes body;
    body.uleb(1).str("cu");
    const std::size_t intOffset = test::unitHeaderSize(s) + body.size();
    body.uleb(3).str("int");
    body.uleb(2).u64(1).u64(2).str("v").u64(0x99).uleb(5).u8(0x03).u32(0x1000).u32(intOffset);
    body.u8(0);
    f.info = buildUnit(s, body.data, true);
    auto r = test::load(f);
    ASSERT_TRUE(r.ok()) << r.error().message();
    ASSERT_EQ(r.value().globals.size(), 1u);
    EXPECT_EQ(r.value().globals[0].name, "v");
    EXPECT_EQ(byteSize(r.value().types, r.value().globals[0].typeIndex), 4u);
    EXPECT_EQ(r.value().types.at(0).encoding, 5);
}

TEST(DwarfUnits, WalkErrors) {
    UnitShape s;
    DwarfFile f;
    f.abbrev = standardAbbrevs(true);
    Bytes body;
    body.uleb(1).str("cu").uleb(9);
    f.info = buildUnit(s, body.data, true);
    EXPECT_EQ(loadError(f), "DWARF: unknown DWARF abbreviation code");

    Bytes ab;
    abbrevDecl(ab, 1, 0x11, false, {{0x03, 0x30}});
    ab.u8(0);
    f.abbrev = ab.data;
    f.info = buildUnit(s, Bytes().uleb(1).data, true);
    EXPECT_EQ(loadError(f), "DWARF: unsupported DWARF form 0x30");

    f.abbrev = {0x01, 0x11, 0x00, 0x03};  // cut inside a declaration
    EXPECT_EQ(loadError(f), "DWARF: DWARF data truncated");

    // A DIE that runs past the end of the section.
    f.abbrev = standardAbbrevs(true);
    std::vector<std::uint8_t> unit = buildUnit(s, Bytes().uleb(1).raw({'c', 'u'}).data, true);
    f.info = unit;
    EXPECT_EQ(loadError(f), "DWARF: DWARF data truncated");
}

TEST(DwarfUnits, UnitNamesThroughEveryStringClass) {
    // CU: str_offsets_base comes after the strx1 name in the same DIE.
    UnitShape s;
    s.version = 5;
    DwarfFile f;
    Bytes ab;
    abbrevDecl(ab, 1, 0x11, true, {{0x03, 0x25}, {0x72, 0x17}});
    abbrevDecl(ab, 2, 0x34, false, {{0x03, 0x0e}, {0x02, 0x18}});
    abbrevDecl(ab, 3, 0x11, true, {{0x03, 0x1f}});
    abbrevDecl(ab, 4, 0x11, true, {{0x03, 0x0e}});
    abbrevDecl(ab, 5, 0x11, true, {});
    ab.u8(0);
    f.abbrev = ab.data;
    f.str = Bytes().str("unit-a").str("var").raw({'e', 'n', 'd'}).data;
    f.lineStr = Bytes().str("unit-b").data;
    // Base 16: entry 1 there names "unit-a" at offset 0.
    f.strOffsets = Bytes().u64(0).u64(0).u32(0xffff).u32(0).data;
    auto unit = [&](std::uint64_t code, Bytes extra) {
        Bytes b;
        b.uleb(code).append(extra.data);
        b.uleb(2).u32(7).uleb(5).u8(0x03).u32(0x1000 + f.info.size()).u8(0);
        const std::vector<std::uint8_t> u = buildUnit(s, b.data, true);
        f.info.insert(f.info.end(), u.begin(), u.end());
    };
    unit(1, std::move(Bytes().u8(1).u32(16)));
    unit(3, std::move(Bytes().u32(0)));
    unit(4, std::move(Bytes().u32(11)));        // "end", cut by the section's end
    unit(4, std::move(Bytes().u32(14)));        // beyond .debug_str
    unit(1, std::move(Bytes().u8(9).u32(16)));  // entry outside .debug_str_offsets
    unit(5, Bytes());
    auto r = test::load(f);
    ASSERT_TRUE(r.ok()) << r.error().message();
    const auto& g = r.value().globals;
    ASSERT_EQ(g.size(), 6u);
    EXPECT_EQ(g[0].name, "var");
    EXPECT_EQ(g[0].unitName, "unit-a");
    EXPECT_EQ(g[1].unitName, "unit-b");
    EXPECT_EQ(g[2].unitName, "end");
    EXPECT_EQ(g[3].unitName, "");
    EXPECT_EQ(g[4].unitName, "");
    EXPECT_EQ(g[5].unitName, "");
}

TEST(DwarfUnits, StringOffsetsDefaultBaseByVersion) {
    // Without str_offsets_base the entries start at 8 in DWARF 5, at 0 before.
    for (std::uint16_t version : {4, 5}) {
        UnitShape s;
        s.version = version;
        DwarfFile f;
        Bytes ab;
        abbrevDecl(ab, 1, 0x11, true, {{0x03, 0x1a}});
        ab.u8(0);
        f.abbrev = ab.data;
        f.str = Bytes().str("zero").str("eight").data;
        f.strOffsets = Bytes().u32(0).u32(0).u32(5).data;
        f.info = buildUnit(s, Bytes().uleb(1).uleb(0).u8(0).data, true);
        Bytes ab2;
        abbrevDecl(ab2, 1, 0x11, true, {{0x03, 0x1a}});
        abbrevDecl(ab2, 2, 0x34, false, {{0x03, 0x1a}, {0x02, 0x18}});
        ab2.u8(0);
        f.abbrev = ab2.data;
        f.info =
            buildUnit(s, Bytes().uleb(1).uleb(0).uleb(2).uleb(0).uleb(5).u8(3).u32(0x1000).u8(0).data, true);
        auto r = test::load(f);
        ASSERT_TRUE(r.ok()) << r.error().message();
        ASSERT_EQ(r.value().globals.size(), 1u);
        EXPECT_EQ(r.value().globals[0].name, version == 5 ? "eight" : "zero");
    }
}

TEST(DwarfUnits, SharedAbbreviationTableAndDeepNesting) {
    // Two units share one table; the second nests 200000 lexical blocks, and
    // the variable at the bottom is not global.
    UnitShape s;
    DwarfFile f;
    Bytes ab;
    abbrevDecl(ab, 1, 0x11, true, {{0x03, 0x08}});
    abbrevDecl(ab, 2, 0x34, false, {{0x03, 0x08}, {0x02, 0x18}});
    abbrevDecl(ab, 3, 0x0b, true, {});
    ab.u8(0);
    f.abbrev = ab.data;
    Bytes one;
    one.uleb(1).str("a").uleb(2).str("top").uleb(5).u8(3).u32(0x1000).u8(0);
    f.info = buildUnit(s, one.data, true);
    Bytes two;
    two.uleb(1).str("b");
    for (int i = 0; i < 200000; ++i) two.uleb(3);
    two.uleb(2).str("deep").uleb(5).u8(3).u32(0x1004);
    const std::vector<std::uint8_t> u = buildUnit(s, two.data, true);
    f.info.insert(f.info.end(), u.begin(), u.end());
    auto r = test::load(f);
    ASSERT_TRUE(r.ok()) << r.error().message();
    ASSERT_EQ(r.value().globals.size(), 1u);
    EXPECT_EQ(r.value().globals[0].name, "top");
}

TEST(DwarfUnits, ZeroSizeAttributesCostNoTime) {
    // One declaration with a million flag_present attributes, used by
    // 100000 DIEs: the walk must not do 10^11 steps.
    UnitShape s;
    DwarfFile f;
    Bytes ab;
    ab.uleb(1).uleb(0x11).u8(1).uleb(0x03).uleb(0x08).u8(0).u8(0);
    ab.uleb(2).uleb(0x0b).u8(0);
    for (int i = 0; i < 1000000; ++i) ab.uleb(0x3f + (i % 2)).uleb(0x19);
    ab.u8(0).u8(0).u8(0);
    f.abbrev = ab.data;
    Bytes body;
    body.uleb(1).str("cu");
    for (int i = 0; i < 100000; ++i) body.uleb(2);
    f.info = buildUnit(s, body.data, true);
    auto r = test::load(f);
    ASSERT_TRUE(r.ok()) << r.error().message();
    EXPECT_TRUE(r.value().globals.empty());
}

}  // namespace
}  // namespace vk::elf
