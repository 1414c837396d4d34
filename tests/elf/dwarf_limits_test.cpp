// Hostile shapes of small files that must stay bounded: abbreviation tables
// shared by many units (each read once per unit shape), tables overlapping
// one another, one long string named by many entries; and the walk's
// stepping over fixed-size values in every unit shape.
#include <gtest/gtest.h>

#include <numeric>

#include "dwarf_builder.h"

namespace vk::elf {
namespace {

using namespace test;

constexpr std::uint64_t kStrp = 0x0e, kString = 0x08, kRef4 = 0x13, kData1 = 0x0b, kExprloc = 0x18;

// Room for many 4-byte globals at 0x100000.
SectionSpec bss() {
    return SectionSpec{".bss", {}, 8, 0x3, 0x100000, 0x100000};
}

// A unit of one variable `name` at `address`, of a base type declared before it.
std::vector<std::uint8_t> oneVariableUnit(const UnitShape& s, std::uint64_t cu, std::uint64_t base,
                                          std::uint64_t var, const std::string& name, std::uint64_t address) {
    DieWriter w(s);
    w.code(cu).b.str("cu");
    const std::uint32_t type = w.offset();
    w.code(base).b.str("int").u8(4).u8(5);
    w.code(var).b.str(name).u32(type);
    w.addrLocation(address);
    w.b.u8(0);
    return w.unit();
}

TEST(DwarfLimits, TablesSharedByManyUnitsStayRight) {
    // Units alternate between a table of 3000 declarations and one whose
    // codes are sparse (and repeat: the later declaration counts).
    Bytes ab;
    abbrevDecl(ab, 1, 0x11, true, {{0x03, kString}});
    abbrevDecl(ab, 2, 0x24, false, {{0x03, kString}, {0x0b, kData1}, {0x3e, kData1}});
    abbrevDecl(ab, 3, 0x34, false, {{0x03, kString}, {0x49, kRef4}, {0x02, kExprloc}});
    for (std::uint64_t code = 4; code <= 3000; ++code) abbrevDecl(ab, code, 0x16, false, {{0x03, kString}});
    ab.u8(0);
    const std::uint64_t sparse = ab.size();
    const std::uint64_t cu = std::uint64_t{1} << 40, base = std::uint64_t{1} << 35, var = 7;
    abbrevDecl(ab, cu, 0x11, true, {{0x03, kString}});
    abbrevDecl(ab, var, 0x24, false, {});  // replaced below
    abbrevDecl(ab, base, 0x24, false, {{0x03, kString}, {0x0b, kData1}, {0x3e, kData1}});
    abbrevDecl(ab, var, 0x34, false, {{0x03, kString}, {0x49, kRef4}, {0x02, kExprloc}});
    ab.u8(0);

    DwarfFile f;
    f.abbrev = ab.data;
    f.extra = {bss()};
    constexpr int kUnits = 2000;
    for (int i = 0; i < kUnits; ++i) {
        UnitShape s;
        s.abbrevOffset = i % 2 == 0 ? 0 : sparse;
        const auto unit = i % 2 == 0
                              ? oneVariableUnit(s, 1, 2, 3, "v" + std::to_string(i), 0x100000 + 4 * i)
                              : oneVariableUnit(s, cu, base, var, "v" + std::to_string(i), 0x100000 + 4 * i);
        f.info.insert(f.info.end(), unit.begin(), unit.end());
    }
    auto r = load(f);
    ASSERT_TRUE(r.ok()) << r.error().message();
    ASSERT_EQ(r.value().globals.size(), static_cast<std::size_t>(kUnits));
    for (int i = 0; i < kUnits; ++i) {
        const GlobalVariable& g = r.value().globals[static_cast<std::size_t>(i)];
        EXPECT_EQ(g.name, "v" + std::to_string(i));
        EXPECT_EQ(byteSize(r.value().types, g.typeIndex), 4u);
    }
}

TEST(DwarfLimits, UnitsOfEveryShapeShareOneTableEachInTheirOwnWay) {
    // One table for all: the base type has only fixed-size values whose
    // sizes depend on the unit (strp, addr, ref_addr), so the walk steps over
    // it by the unit's own sizes, and the variable after it must still be found.
    Bytes ab;
    abbrevDecl(ab, 1, 0x11, true, {{0x03, kStrp}});
    abbrevDecl(ab, 2, 0x24, false,
               {{0x03, kStrp}, {0x11, 0x01}, {0x01, 0x10}, {0x0b, kData1}, {0x3e, kData1}});
    abbrevDecl(ab, 3, 0x34, false, {{0x03, kStrp}, {0x49, kRef4}, {0x02, kExprloc}});
    ab.u8(0);
    Bytes strings;
    strings.str("cu").str("int");
    struct Shape {
        std::uint16_t version;
        std::uint8_t addressSize;
        bool dwarf64;
    };
    const Shape shapes[] = {{2, 4, false}, {3, 4, false}, {4, 8, false},
                            {4, 4, true},  {5, 8, true},  {5, 4, false}};
    DwarfFile f;
    f.abbrev = ab.data;
    for (std::size_t i = 0; i < std::size(shapes); ++i) {
        UnitShape s;
        s.version = shapes[i].version;
        s.addressSize = shapes[i].addressSize;
        s.dwarf64 = shapes[i].dwarf64;
        const int offsetSize = s.dwarf64 ? 8 : 4;
        const std::uint64_t name = strings.size();
        strings.str("var" + std::to_string(i));
        DieWriter w(s);
        w.code(1).b.num(0, offsetSize);
        const std::uint32_t type = w.offset();
        w.code(2)
            .b.num(3, offsetSize)
            .num(0x1234, s.addressSize)
            .num(0, s.version <= 2 ? s.addressSize : offsetSize);
        w.b.u8(4).u8(5);
        w.code(3).b.num(name, offsetSize).u32(type);
        w.addrLocation(0x1000 + 4 * i);
        w.b.u8(0);
        const auto unit = w.unit();
        f.info.insert(f.info.end(), unit.begin(), unit.end());
    }
    f.str = strings.data;
    auto r = load(f);
    ASSERT_TRUE(r.ok()) << r.error().message();
    ASSERT_EQ(r.value().globals.size(), std::size(shapes));
    for (std::size_t i = 0; i < std::size(shapes); ++i) {
        const GlobalVariable& g = r.value().globals[i];
        EXPECT_EQ(g.name, "var" + std::to_string(i));
        EXPECT_EQ(g.address, 0x1000 + 4 * i);
        EXPECT_EQ(g.unitName, "cu");
        ASSERT_GE(g.typeIndex, 0);
        EXPECT_EQ(r.value().types[static_cast<std::size_t>(g.typeIndex)].name, "int");
        EXPECT_EQ(r.value().types[static_cast<std::size_t>(g.typeIndex)].byteSize, 4u);
    }
}

TEST(DwarfLimits, EveryFixedSizeFormIsSteppedOver) {
    // A DIE of every form whose size the unit fixes, then a variable.
    const std::uint64_t forms[] = {0x01, 0x05, 0x06, 0x07, 0x0b, 0x0c, 0x0e, 0x10,   0x11,  0x12, 0x13,
                                   0x14, 0x17, 0x19, 0x1c, 0x1d, 0x1e, 0x1f, 0x20,   0x21,  0x24, 0x25,
                                   0x26, 0x27, 0x28, 0x29, 0x2a, 0x2b, 0x2c, 0x1f20, 0x1f21};
    for (const UnitShape& s : {UnitShape{2, 4, false}, UnitShape{4, 8, false}, UnitShape{5, 4, true}}) {
        const std::uint64_t offsetSize = s.dwarf64 ? 8 : 4;
        auto size = [&](std::uint64_t form) -> std::uint64_t {
            switch (form) {
                case 0x01:
                    return s.addressSize;
                case 0x10:
                    return s.version <= 2 ? s.addressSize : offsetSize;
                case 0x0e:
                case 0x17:
                case 0x1d:
                case 0x1f:
                case 0x1f20:
                case 0x1f21:
                    return offsetSize;
                case 0x19:
                case 0x21:
                    return 0;
                case 0x05:
                case 0x12:
                case 0x26:
                case 0x2a:
                    return 2;
                case 0x27:
                case 0x2b:
                    return 3;
                case 0x06:
                case 0x13:
                case 0x1c:
                case 0x28:
                case 0x2c:
                    return 4;
                case 0x07:
                case 0x14:
                case 0x20:
                case 0x24:
                    return 8;
                case 0x1e:
                    return 16;
                default:
                    return 1;
            }
        };
        Bytes ab;
        abbrevDecl(ab, kCu, 0x11, true, {{0x03, kString}});
        ab.uleb(2).uleb(0x2e).u8(0);  // a subprogram that lists them all under DW_AT_decl_file
        for (std::uint64_t form : forms) {
            ab.uleb(0x3a).uleb(form);
            if (form == 0x21) ab.sleb(-5);
        }
        ab.u8(0).u8(0);
        abbrevDecl(ab, 3, 0x24, false, {{0x03, kString}, {0x0b, kData1}, {0x3e, kData1}});
        abbrevDecl(ab, 4, 0x34, false, {{0x03, kString}, {0x49, kRef4}, {0x02, kExprloc}});
        ab.u8(0);
        DieWriter w(s);
        w.code(kCu).b.str("cu");
        w.code(2);
        for (std::uint64_t form : forms) w.b.data.insert(w.b.data.end(), size(form), 0x7e);
        const std::uint32_t type = w.offset();
        w.code(3).b.str("int").u8(4).u8(5);
        w.code(4).b.str("after").u32(type);
        w.addrLocation(0x1010);
        w.b.u8(0);
        DwarfFile f;
        f.abbrev = ab.data;
        f.info = w.unit();
        auto r = load(f);
        ASSERT_TRUE(r.ok()) << r.error().message();
        ASSERT_EQ(r.value().globals.size(), 1u) << "version " << s.version;
        EXPECT_EQ(r.value().globals[0].name, "after");
        EXPECT_EQ(byteSize(r.value().types, r.value().globals[0].typeIndex), 4u);
    }
}

TEST(DwarfLimits, OverlappingTablesAreReadWithinABound) {
    // One table of 20000 declarations; each unit starts its table one
    // declaration further in, so every read runs to the table's end.
    Bytes ab;
    std::vector<std::uint64_t> starts;
    for (std::uint64_t code = 1; code <= 20000; ++code) {
        starts.push_back(ab.size());
        abbrevDecl(ab, code, 0x16, false, {{0x03, kString}});
    }
    ab.u8(0);
    auto withUnits = [&](std::size_t units) {
        DwarfFile f;
        f.abbrev = ab.data;
        for (std::size_t i = 0; i < units; ++i) {
            UnitShape s;
            s.abbrevOffset = starts[i];
            const auto unit = buildUnit(s, {}, true);
            f.info.insert(f.info.end(), unit.begin(), unit.end());
        }
        return f;
    };
    EXPECT_TRUE(load(withUnits(4)).ok());
    auto r = load(withUnits(2000));
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().message(), "DWARF: DWARF data too large");
}

TEST(DwarfLimits, OneLongUnitNameIsKeptOnceForAllItsGlobals) {
    // 64 KiB of unit name, 2000 globals: 128 MiB if each global had its own copy.
    const std::string longName(std::size_t{1} << 16, 'u');
    DieWriter w{UnitShape{}};
    w.code(kCu).b.str(longName);
    const std::uint32_t type = w.offset();
    w.code(kBase).b.str("int").u8(4).u8(5);
    constexpr int kGlobals = 2000;
    for (int i = 0; i < kGlobals; ++i) {
        w.code(kVar).b.str("g" + std::to_string(i)).u32(type);
        w.addrLocation(0x100000 + 4 * i);
    }
    w.b.u8(0);
    DwarfFile f;
    f.abbrev = commonAbbrevs();
    f.info = w.unit();
    f.extra = {bss()};
    auto r = load(f);
    ASSERT_TRUE(r.ok()) << r.error().message();
    const auto& globals = r.value().globals;
    ASSERT_EQ(globals.size(), static_cast<std::size_t>(kGlobals));
    EXPECT_EQ(globals.back().name, "g" + std::to_string(kGlobals - 1));
    EXPECT_EQ(globals.front().unitName, longName);
    EXPECT_EQ(globals.back().unitName, longName);
    EXPECT_LT(r.value().names.bytes(), longName.size() + 16 * kGlobals);
}

TEST(DwarfLimits, KeptNamesOutliveEveryMoveOfTheirStore) {
    // Moved to another store or onto itself, the views stay and keeping goes on;
    // the freed block of a faulty self-move would be reused at once.
    for (bool self : {false, true}) {
        NameStore store;
        const std::string_view early = store.keep("early");
        NameStore other;
        NameStore& target = self ? store : other;
        target = std::move(store);
        const std::vector<char> reuse(std::size_t{64} << 10, 'x');
        EXPECT_EQ(target.keep("late"), "late") << self;
        EXPECT_EQ(early, "early") << self;
        EXPECT_EQ(target.bytes(), 9u) << self;
    }
}

// Given DWARF like this:
//   compile_unit "cu"
//     base_type "int"
//     structure_type "record"
//       3000 x member DW_AT_name (strp, offset of each member's choice)
//     variable "g" (record), variable "late" (int)
DwarfFile manyMembersNaming(const std::string& text, const std::vector<std::uint32_t>& offsets) {
    Bytes ab;
    abbrevDecl(ab, 1, 0x11, true, {{0x03, kString}});
    abbrevDecl(ab, 2, 0x24, false, {{0x03, kString}, {0x0b, kData1}, {0x3e, kData1}});
    abbrevDecl(ab, 3, 0x13, true, {{0x03, kString}, {0x0b, kData1}});
    abbrevDecl(ab, 4, 0x0d, false, {{0x03, kStrp}, {0x49, kRef4}, {0x38, kData1}});
    abbrevDecl(ab, 5, 0x34, false, {{0x03, kString}, {0x49, kRef4}, {0x02, kExprloc}});
    ab.u8(0);
    DwarfFile f;
    f.abbrev = ab.data;
    f.str = Bytes().str(text).data;
    DieWriter w{UnitShape{}};
    w.code(1).b.str("cu");
    const std::uint32_t base = w.offset();
    w.code(2).b.str("int").u8(4).u8(5);
    const std::uint32_t record = w.offset();
    w.code(3).b.str("record").u8(4);
    for (std::uint32_t offset : offsets) w.code(4).b.u32(offset).u32(base).u8(0);
    w.b.u8(0);
    w.code(5).b.str("g").u32(record);
    w.addrLocation(0x1000);
    w.code(5).b.str("late").u32(base);
    w.addrLocation(0x1004);
    w.b.u8(0);
    f.info = w.unit();
    return f;
}

TEST(DwarfLimits, OneLongStringNamingManyMembersIsKeptOnce) {
    // 3000 members all named by one 64 KiB string: 192 MiB as copies.
    const std::string text(std::size_t{1} << 16, 'm');
    auto r = load(manyMembersNaming(text, std::vector<std::uint32_t>(3000, 0)));
    ASSERT_TRUE(r.ok()) << r.error().message();
    ASSERT_EQ(r.value().globals.size(), 2u);  // no later name is lost
    EXPECT_EQ(r.value().globals[1].name, "late");
    const TypeInfo& t = r.value().types[static_cast<std::size_t>(r.value().globals[0].typeIndex)];
    ASSERT_EQ(t.members.size(), 3000u);
    EXPECT_EQ(t.members.front().name, text);
    EXPECT_EQ(t.members.back().name, text);
    EXPECT_LT(r.value().names.bytes(), text.size() + 1024);
}

TEST(DwarfLimits, NamesOfEverySuffixOfOneLongStringFailTheLoad) {
    // Each member names its own suffix: 192 MiB of distinct names from 100 KB.
    const std::string text(std::size_t{1} << 16, 'm');
    std::vector<std::uint32_t> offsets(3000);
    std::iota(offsets.begin(), offsets.end(), 0u);
    auto r = load(manyMembersNaming(text, offsets));
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().message(), "DWARF: DWARF data too large");
}

}  // namespace
}  // namespace vk::elf
