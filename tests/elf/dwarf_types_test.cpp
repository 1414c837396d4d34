// Building the type table: bit fields in both encodings and byte orders,
// member locations, dimensions, enumerators, pointers, cycles, and the walks
// over the finished table.
#include <gtest/gtest.h>

#include "dwarf_builder.h"
#include "elf/flatten.h"

namespace vk::elf {
namespace {

using namespace test;

struct Built {
    DebugInfo info;
    const TypeInfo& type(std::size_t global) const {
        return info.types.at(static_cast<std::size_t>(info.globals.at(global).typeIndex));
    }
};

// Runs `writeTypes` inside a CU, then adds the variable "v" at 0x1000 of the
// type whose offset it returns.
Built build(const std::function<std::uint32_t(DieWriter&)>& writeTypes, bool le = true,
            std::uint8_t addressSize = 4) {
    UnitShape s;
    s.addressSize = addressSize;
    DieWriter w(s, le);
    w.code(kCu).b.str("cu");
    const std::uint32_t type = writeTypes(w);
    w.code(kVar).b.str("v").u32(type);
    w.addrLocation(0x1000);
    w.b.u8(0);
    DwarfFile f;
    f.littleEndian = le;
    f.abbrev = commonAbbrevs(le);
    f.info = w.unit();
    auto r = load(f);
    EXPECT_TRUE(r.ok()) << r.error().message();
    Built b;
    if (r.ok()) b.info = std::move(r.value());
    return b;
}

std::uint32_t base(DieWriter& w, const char* name, std::uint8_t size, std::uint8_t encoding = 7) {
    const std::uint32_t at = w.offset();
    w.code(kBase).b.str(name).u8(size).u8(encoding);
    return at;
}

TEST(DwarfTypes, DataBitOffsetInBothByteOrders) {
    for (bool le : {true, false}) {
        Built b = build(
            [](DieWriter& w) {
                const std::uint32_t uint = base(w, "unsigned int", 4);
                const std::uint32_t s = w.offset();
                w.code(kStruct).b.str("S").u8(8);
                w.code(kBitField4).b.str("f").u32(uint).u8(35).u8(3);
                w.b.u8(0);
                return s;
            },
            le);
        ASSERT_EQ(b.info.globals.size(), 1u);
        const Member& m = b.type(0).members.at(0);
        EXPECT_EQ(m.offset, 4u);
        EXPECT_EQ(m.bitSize, 3u);
        EXPECT_EQ(m.bitShift, le ? 3u : 26u);
    }
}

TEST(DwarfTypes, Dwarf2BitOffset) {
    for (bool le : {true, false}) {
        Built b = build(
            [](DieWriter& w) {
                const std::uint32_t uint = base(w, "unsigned int", 4);
                const std::uint32_t s = w.offset();
                w.code(kStruct).b.str("S").u8(8);
                w.code(kBitField2).b.str("f").u32(uint).u8(4).u8(3).u8(29).u8(2);
                w.code(kBitField2).b.str("g").u32(uint).u8(4).u8(5).u8(0).u8(4);
                w.b.u8(0);
                return s;
            },
            le);
        const auto& members = b.type(0).members;
        ASSERT_EQ(members.size(), 2u);
        EXPECT_EQ(members[0].offset, 2u);
        EXPECT_EQ(members[0].bitShift, 0u);
        EXPECT_EQ(members[1].offset, 4u);
        EXPECT_EQ(members[1].bitShift, 27u);
    }
}

TEST(DwarfTypes, ShiftsOutsideTheStorageUnitStayBelow64) {
    for (bool le : {true, false}) {
        Built b = build(
            [](DieWriter& w) {
                const std::uint32_t uint = base(w, "unsigned int", 4);
                const std::uint32_t empty = base(w, "empty", 0);
                const std::uint32_t s = w.offset();
                w.code(kStruct).b.str("S").u8(8);
                w.code(kBitField4).b.str("wide").u32(uint).u8(2).u8(40);
                w.code(kBitField2).b.str("over").u32(uint).u8(4).u8(3).u8(30).u8(0);
                w.code(kBitField4).b.str("unsized").u32(empty).u8(13).u8(3);
                w.code(kBitFieldSized).b.str("huge").u32(uint).u64(1ull << 62).u8(100).u8(3);
                w.code(kBitFieldSized).b.str("zero").u32(uint).u64(0).u8(77).u8(3);
                w.b.u8(0);
                return s;
            },
            le);
        const auto& m = b.type(0).members;
        ASSERT_EQ(m.size(), 5u);
        for (const Member& x : m) EXPECT_LT(x.bitShift, 64u) << x.name;
        // 40 bits from bit 2: wider than the type, held by 8 bytes.
        EXPECT_EQ(m[0].storageSize, 8u);
        EXPECT_EQ(m[0].bitShift, le ? 2u : 22u);
        // DWARF 2 offset 30 of a 3-bit field in 4 bytes: in a big-endian file
        // bits 30-32 from the top lie whole in the 4 bytes at offset 2; in a
        // little-endian one the field would start before the structure.
        EXPECT_EQ(m[1].offset, le ? 0u : 2u);
        EXPECT_EQ(m[1].bitShift, le ? 0u : 15u);
        EXPECT_EQ(m[1].storageSize, le ? kNoBitWindow : 0u);
        // A type of size 0: the byte holding the bits.
        EXPECT_EQ(m[2].offset, 1u);
        EXPECT_EQ(m[2].storageSize, 1u);
        EXPECT_EQ(m[2].bitShift, le ? 5u : 0u);
        // Absurd storage sizes: a unit of the type's size.
        EXPECT_EQ(m[3].offset, 12u);
        EXPECT_EQ(m[4].offset, le ? 9u : 8u);
    }
}

TEST(DwarfTypes, FieldsInAUnitWiderThanEightBytesAreReadThroughAScalar) {
    // unsigned __int128 hi : 10 at bit 70, and a DWARF 2 field 20 bits below
    // the unit's top: no A2L type reads 16 bytes, 2 of them hold each field.
    for (bool le : {true, false}) {
        Built b = build(
            [](DieWriter& w) {
                const std::uint32_t u128 = base(w, "unsigned __int128", 16);
                const std::uint32_t s = w.offset();
                w.code(kStruct).b.str("S").u8(16);
                w.code(kBitField4).b.str("hi").u32(u128).u8(70).u8(10);
                w.code(kBitField2).b.str("d2").u32(u128).u8(16).u8(10).u8(20).u8(0);
                w.b.u8(0);
                return s;
            },
            le);
        const auto& m = b.type(0).members;
        ASSERT_EQ(m.size(), 2u);
        EXPECT_EQ(m[0].offset, 8u);
        EXPECT_EQ(m[0].bitShift, le ? 6u : 0u);
        EXPECT_EQ(m[1].offset, le ? 12u : 2u);
        EXPECT_EQ(m[1].bitShift, 2u);
        for (const Member& x : m) EXPECT_EQ(x.storageSize, 2u) << x.name;
    }
}

// Fields that lie across units of their type, with the attributes that
// compilers write for them (packed structures, m68k's 2-byte alignment of
// int, i386's 4-byte alignment of long long, sh4 gcc's unit before the
// structure), as read and masked in the file's byte order; gdb gives these
// bits. DWARF 2 to 4 and DWARF 5 descriptions of one field agree.
TEST(DwarfTypes, BitFieldsAcrossUnitsOfTheirType) {
    using Write = std::function<void(DieWriter&, std::uint32_t)>;
    const auto d5 = [](std::uint8_t bit, std::uint8_t bits) -> Write {
        return [=](DieWriter& w, std::uint32_t t) { w.code(kBitField4).b.str("f").u32(t).u8(bit).u8(bits); };
    };
    const auto d2 = [](std::uint8_t size, std::uint8_t bits, std::int64_t fromTop, std::int64_t at) -> Write {
        return [=](DieWriter& w, std::uint32_t t) {
            w.code(kBitField2Signed).b.str("f").u32(t).u8(size).u8(bits).sleb(fromTop).sleb(at);
        };
    };
    struct Row {
        const char* what;
        bool le;
        std::uint8_t typeSize;
        Write member;
        std::uint64_t offset, size, mask;  // size 0: left out
    };
    const Row rows[] = {
        {"packed char:7 at bit 5, gcc DWARF 3", true, 1, d2(1, 7, -4, 0), 0, 2, 0xFE0},
        {"packed char:7 at bit 5, DWARF 5", true, 1, d5(5, 7), 0, 2, 0xFE0},
        {"packed char:7 at bit 5, s390x gcc DWARF 3", false, 1, d2(1, 7, 5, 0), 0, 2, 0x7F0},
        {"packed char:7 at bit 5, s390x DWARF 5", false, 1, d5(5, 7), 0, 2, 0x7F0},
        {"packed int:30 at bit 21, gcc DWARF 3", true, 4, d2(4, 30, -3, 2), 2, 8, 0x7FFFFFFE0},
        {"packed int:30 at bit 21, s390x gcc DWARF 3", false, 4, d2(4, 30, 5, 2), 2, 8, 0x7FFFFFFE0000000},
        {"packed int:30 at bit 21, s390x DWARF 5", false, 4, d5(21, 30), 2, 8, 0x7FFFFFFE0000000},
        {"long long:3 at bit 1, sh4 gcc DWARF 4", true, 8, d2(8, 3, -4, -8), 0, 8, 0xE},
        {"long long:3 at bit 1, sh4 DWARF 5", true, 8, d5(1, 3), 0, 8, 0xE},
        {"short:16 at bit 25, m68k gcc DWARF 4", false, 2, d2(2, 16, 1, 3), 3, 4, 0x7FFF8000},
        {"short:16 at bit 25, m68k DWARF 5", false, 2, d5(25, 16), 3, 4, 0x7FFF8000},
        {"long long:40 at bit 116, i386 clang DWARF 2", true, 8, d2(8, 40, -28, 8), 12, 8, 0xFFFFFFFFFF00000},
        {"long long:40 at bit 116, i386 DWARF 5", true, 8, d5(116, 40), 12, 8, 0xFFFFFFFFFF00000},
        {"long long:40 at bit 116, big-endian DWARF 5", false, 8, d5(116, 40), 12, 8, 0xFFFFFFFFFF0},
        {"long long:60 at bit 53 spans 9 bytes", true, 8, d5(53, 60), 0, 0, 0},
        {"long long:60 at bit 53 spans 9 bytes, big-endian", false, 8, d5(53, 60), 0, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Built b = build(
            [&](DieWriter& w) {
                const std::uint32_t t = base(w, "t", row.typeSize);
                const std::uint32_t s = w.offset();
                w.code(kStruct).b.str("S").u8(24);
                row.member(w, t);
                w.b.u8(0);
                return s;
            },
            row.le);
        ASSERT_EQ(b.info.globals.size(), 1u);
        std::vector<std::string> warnings;
        const auto leaves = flattenVariable(b.info, b.info.globals[0], 16, &warnings);
        if (row.size == 0) {
            EXPECT_TRUE(leaves.empty());
            EXPECT_EQ(warnings,
                      std::vector<std::string>{"v.f: bit field left out: no 8 bytes hold all its bits"});
            continue;
        }
        ASSERT_EQ(leaves.size(), 1u);
        EXPECT_EQ(leaves[0].address, 0x1000 + row.offset);
        EXPECT_EQ(leaves[0].size, row.size);
        EXPECT_EQ(leaves[0].bitMask, row.mask);
        EXPECT_TRUE(warnings.empty());
    }
}

TEST(DwarfTypes, MemberLocations) {
    Built b = build([](DieWriter& w) {
        const std::uint32_t i = base(w, "int", 4, 5);
        const std::uint32_t s = w.offset();
        w.code(kStruct).b.str("S").u8(16);
        w.code(kMember).b.str("c").u32(i).u8(6);
        w.code(kMemberBlock).b.str("p").u32(i).uleb(2).u8(0x23).u8(0x08);
        w.code(kMemberBlock).b.str("q").u32(i).uleb(2).u8(0x91).u8(0x08);
        w.code(kMemberBlock).b.str("r").u32(i).uleb(0);
        w.b.u8(0);
        return s;
    });
    const auto& m = b.type(0).members;
    ASSERT_EQ(m.size(), 4u);
    EXPECT_EQ(m[0].offset, 6u);
    EXPECT_EQ(m[1].offset, 8u);
    EXPECT_EQ(m[2].offset, 0u);
    EXPECT_EQ(m[3].offset, 0u);
    EXPECT_EQ(m[0].bitSize, 0u);
}

TEST(DwarfTypes, PlusUconstRunningPastItsBlockFails) {
    UnitShape s;
    DieWriter w(s);
    w.code(kCu).b.str("cu");
    const std::uint32_t i = base(w, "int", 4, 5);
    const std::uint32_t st = w.offset();
    w.code(kStruct).b.str("S").u8(16);
    w.code(kMemberBlock).b.str("p").u32(i).uleb(2).u8(0x23).u8(0x80);
    w.b.u8(0);
    w.code(kVar).b.str("v").u32(st);
    w.addrLocation(0x1000);
    w.b.u8(0);
    DwarfFile f;
    f.abbrev = commonAbbrevs();
    f.info = w.unit();
    auto r = load(f);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().message(), "DWARF: DWARF data truncated");
}

TEST(DwarfTypes, StructureMembersBaseClassesAndUnions) {
    Built b = build([](DieWriter& w) {
        const std::uint32_t i = base(w, "int", 4, 5);
        const std::uint32_t parent = w.offset();
        w.code(kStruct).b.str("Base").u8(4);
        w.code(kMember).b.str("id").u32(i).u8(0);
        w.b.u8(0);
        const std::uint32_t u = w.offset();
        w.code(kUnion).b.str("U").u8(4);
        w.code(kMember).b.str("a").u32(i).u8(0);
        w.code(kMember).b.str("b").u32(i).u8(0);
        w.b.u8(0);
        const std::uint32_t s = w.offset();
        w.code(kStruct).b.str("Derived").u8(12);
        w.code(kInheritance).b.u32(parent).u8(0);
        w.code(kStaticMember).b.str("count").u32(i);
        w.code(kMember).b.str("u").u32(u).u8(4);
        w.code(kSubprogram).b.str("method");
        w.code(kMember).b.str("nested_in_method").u32(i).u8(0);
        w.b.u8(0);
        w.code(kMember).b.str("last").u32(i).u8(8);
        w.b.u8(0);
        return s;
    });
    const TypeInfo& t = b.type(0);
    EXPECT_EQ(t.kind, TypeKind::Struct);
    EXPECT_EQ(t.name, "Derived");
    ASSERT_EQ(t.members.size(), 3u);
    EXPECT_EQ(t.members[0].name, "");
    EXPECT_EQ(b.info.types.at(t.members[0].type).name, "Base");
    EXPECT_EQ(t.members[1].name, "u");
    EXPECT_EQ(t.members[2].name, "last");
    EXPECT_EQ(t.members[2].offset, 8u);
    const TypeInfo& u = b.info.types.at(t.members[1].type);
    EXPECT_EQ(u.kind, TypeKind::Union);
    EXPECT_EQ(u.members.size(), 2u);
}

TEST(DwarfTypes, ArrayDimensions) {
    Built b = build([](DieWriter& w) {
        const std::uint32_t i = base(w, "int", 4, 5);
        const std::uint32_t a = w.offset();
        w.code(kArray).b.u32(i);
        w.code(kSubrangeUpper).b.sleb(1);
        w.code(kSubrangeCount).b.u8(3);
        w.b.u8(0);
        return a;
    });
    const TypeInfo& t = b.type(0);
    EXPECT_EQ(t.kind, TypeKind::Array);
    EXPECT_EQ(t.dims, (std::vector<std::uint64_t>{2, 3}));
    EXPECT_EQ(t.byteSize, 24u);
    EXPECT_EQ(b.info.types.at(t.target).name, "int");

    Built odd = build([](DieWriter& w) {
        const std::uint32_t i = base(w, "int", 4, 5);
        const std::uint32_t a = w.offset();
        w.code(kArray).b.u32(i);
        w.code(kSubrangeUpper).b.sleb(-1);
        w.code(kSubrangeNone);
        w.code(kSubrangeBounds).b.u8(1).u8(4);
        w.code(kSubrangeCountBlock).b.uleb(1).u8(0x30).u8(9);
        w.code(kMember).b.str("ignored").u32(i).u8(0);
        w.b.u8(0);
        return a;
    });
    EXPECT_EQ(odd.type(0).dims, (std::vector<std::uint64_t>{0, 0, 4, 10}));
    EXPECT_EQ(odd.type(0).byteSize, 0u);
    EXPECT_TRUE(odd.type(0).members.empty());
}

TEST(DwarfTypes, Enumerators) {
    Built b = build([](DieWriter& w) {
        const std::uint32_t i = base(w, "int", 4, 5);
        const std::uint32_t e = w.offset();
        w.code(kEnum).b.str("mode").u32(i).u8(4);
        w.code(kEnumerator1).b.str("BYTE").u8(0xff);
        w.code(kEnumeratorS).b.str("NEG").sleb(-1);
        w.code(kEnumeratorS).b.str("LOW").sleb(-1000000);
        w.b.u8(0);
        return e;
    });
    const TypeInfo& t = b.type(0);
    EXPECT_EQ(t.kind, TypeKind::Enum);
    ASSERT_EQ(t.enumerators.size(), 3u);
    EXPECT_EQ(t.enumerators[0].value, 255);
    EXPECT_EQ(t.enumerators[0].name, "BYTE");
    EXPECT_EQ(t.enumerators[1].value, -1);
    EXPECT_EQ(t.enumerators[2].value, -1000000);
    EXPECT_EQ(b.info.types.at(t.target).name, "int");
}

TEST(DwarfTypes, PointersTakeTheUnitsAddressSizeAndNoTarget) {
    for (std::uint8_t size : {4, 8}) {
        Built b = build(
            [](DieWriter& w) {
                const std::uint32_t s = w.offset();
                w.code(kStruct).b.str("Pointee").u8(4);
                w.b.u8(0);
                const std::uint32_t p = w.offset();
                w.code(kPointer).b.u32(s);
                return p;
            },
            true, size);
        EXPECT_EQ(b.type(0).kind, TypeKind::Pointer);
        EXPECT_EQ(b.type(0).byteSize, size);
        EXPECT_EQ(b.type(0).target, -1);
        EXPECT_EQ(b.info.types.size(), 1u);  // the pointee never enters the table
    }
}

TEST(DwarfTypes, SelfReferencesAndCyclesEnd) {
    // struct node { int v; struct node* next; };
    Built b = build([](DieWriter& w) {
        const std::uint32_t s = w.offset();
        w.code(kStruct).b.str("node").u8(8);
        w.code(kMember).b.str("v");
        const std::size_t intSlot = w.slot();
        w.b.u8(0);
        w.code(kMember).b.str("next");
        const std::size_t ptrSlot = w.slot();
        w.b.u8(4);
        w.b.u8(0);
        const std::uint32_t p = w.offset();
        w.code(kPointer).b.u32(s);
        w.patch(ptrSlot, p);
        w.patch(intSlot, base(w, "int", 4, 5));
        return s;
    });
    ASSERT_EQ(b.info.types.size(), 3u);
    const TypeInfo& node = b.type(0);
    EXPECT_EQ(node.members.size(), 2u);
    EXPECT_EQ(b.info.types.at(node.members[1].type).target, -1);

    // Malformed: typedef A names typedef B, which names A.
    Built cycle = build([](DieWriter& w) {
        const std::uint32_t a = w.offset();
        w.code(kTypedef).b.str("A");
        const std::size_t slot = w.slot();
        const std::uint32_t bOffset = w.offset();
        w.code(kTypedef).b.str("B").u32(a);
        w.patch(slot, bOffset);
        return a;
    });
    ASSERT_EQ(cycle.info.types.size(), 2u);
    EXPECT_EQ(byteSize(cycle.info.types, 0), 0u);
    EXPECT_EQ(typedefNames(cycle.info.types, 0).size(), 32u);
    EXPECT_EQ(resolveAlias(cycle.info.types, 0), 0);  // 64 moves end where they began

    // A struct containing itself by value (malformed) ends at the reserved entry.
    Built inside = build([](DieWriter& w) {
        const std::uint32_t s = w.offset();
        w.code(kStruct).b.str("loop").u8(4);
        w.code(kMember).b.str("self").u32(s).u8(0);
        w.b.u8(0);
        return s;
    });
    ASSERT_EQ(inside.info.types.size(), 1u);
    EXPECT_EQ(inside.type(0).members.at(0).type, 0);
}

TEST(DwarfTypes, LongTypedefChainsNeedNoDeepRecursion) {
    constexpr int kChain = 100000;
    Built b = build([](DieWriter& w) {
        const std::uint32_t i = base(w, "int", 4, 5);
        std::uint32_t previous = i;
        for (int n = 0; n < kChain; ++n) {
            const std::uint32_t here = w.offset();
            w.code(kTypedef).b.str("t").u32(previous);
            previous = here;
        }
        return previous;
    });
    ASSERT_EQ(b.info.types.size(), static_cast<std::size_t>(kChain + 1));
    const std::int32_t top = b.info.globals.at(0).typeIndex;
    EXPECT_EQ(b.info.types.at(resolveAlias(b.info.types, top)).kind, TypeKind::Typedef);
    EXPECT_EQ(byteSize(b.info.types, top), 0u);
    EXPECT_EQ(typedefNames(b.info.types, top).size(), 32u);
}

TEST(DwarfTypeWalks, FollowLinksWithinTheirBounds) {
    std::vector<TypeInfo> t(6);
    t[0].kind = TypeKind::Typedef;
    t[0].name = "outer";
    t[0].target = 1;
    t[1].kind = TypeKind::Qualified;
    t[1].target = 2;
    t[2].kind = TypeKind::Typedef;
    t[2].name = "inner";
    t[2].target = 3;
    t[3].kind = TypeKind::Enum;
    t[3].target = 4;
    t[4].kind = TypeKind::Base;
    t[4].byteSize = 2;
    t[5].kind = TypeKind::Typedef;  // a link to no type
    t[5].target = -1;
    EXPECT_EQ(resolveAlias(t, 0), 3);
    EXPECT_EQ(resolveAlias(t, -1), -1);
    EXPECT_EQ(resolveAlias(t, 5), -1);
    EXPECT_EQ(byteSize(t, 0), 2u);
    EXPECT_EQ(byteSize(t, 5), 0u);
    EXPECT_EQ(byteSize(t, -3), 0u);
    EXPECT_EQ(typedefNames(t, 0), (std::vector<std::string>{"outer", "inner"}));
    EXPECT_TRUE(typedefNames(t, 4).empty());
    EXPECT_TRUE(typedefNames(t, -1).empty());
    t[3].byteSize = 1;  // an enumeration's own size wins
    EXPECT_EQ(byteSize(t, 0), 1u);
}

}  // namespace
}  // namespace vk::elf
