// Which DIEs become global variables: scope, declarations, location forms,
// names and types through declarations, the address rule and addresses
// outside the image.
#include <gtest/gtest.h>

#include "dwarf_builder.h"
#include "elf/flatten.h"

namespace vk::elf {
namespace {

using namespace test;

struct Unit5 {
    DieWriter w{UnitShape{}, true};
    std::uint32_t intType = 0;

    Unit5() {
        w.code(kCu).b.str("cu");
        intType = w.offset();
        w.code(kBase).b.str("int").u8(4).u8(5);
    }
    void var(const char* name, std::uint64_t address) {
        w.code(kVar).b.str(name).u32(intType);
        w.addrLocation(address);
    }
    // DW_OP_addr base, DW_OP_plus_uconst offset: a merged static.
    void merged(const char* name, std::uint32_t base, std::uint8_t offset) {
        w.code(kVar).b.str(name).u32(intType).uleb(7).u8(0x03).u32(base).u8(0x23).u8(offset);
    }
};

Result<DebugInfo> loadUnit(Unit5& u, DwarfFile f = {}) {
    u.w.b.u8(0);
    f.abbrev = commonAbbrevs();
    f.info = u.w.unit();
    return load(f);
}

std::vector<std::string> names(const Result<DebugInfo>& r) {
    std::vector<std::string> out;
    if (!r.ok()) return {"error: " + r.error().message()};
    for (const auto& g : r.value().globals) out.emplace_back(g.name);
    return out;
}

TEST(DwarfGlobals, OnlyVariablesInUnitNamespaceOrClassScope) {
    Unit5 u;
    u.var("top", 0x1000);
    u.w.code(kNamespace).b.str("ns");
    u.var("in_namespace", 0x1004);
    u.w.code(kStruct).b.str("S").u8(4);
    u.var("in_class", 0x1008);
    u.w.b.u8(0).u8(0);  // close S and ns
    u.w.code(kSubprogram).b.str("f");
    u.var("function_static", 0x100c);
    u.w.code(kLexicalBlock);
    u.var("block_static", 0x1010);
    u.w.b.u8(0).u8(0);  // close block and f
    u.w.code(kNamespace).b.str("outer");
    u.w.code(kSubprogram).b.str("g");
    u.w.code(kNamespace).b.str("inner");  // under a function: still not global
    u.var("namespace_in_function", 0x1014);
    u.w.b.u8(0).u8(0).u8(0);
    EXPECT_EQ(names(loadUnit(u)), (std::vector<std::string>{"top", "in_namespace", "in_class"}));
}

TEST(DwarfGlobals, DeclarationsLocationListsAndComposedLocationsAreLeftOut) {
    Unit5 u;
    u.w.code(kVarDecl).b.str("declared").u32(u.intType);
    u.w.code(kVarDeclFlag0).b.str("declared_false").u8(0);
    u.w.addrLocation(0x1000);
    u.w.code(kVarLocList).b.str("loclist").u32(u.intType).u32(0);
    u.w.code(kVar)
        .b.str("plus_twice")
        .u32(u.intType)
        .uleb(9)
        .u8(0x03)
        .u32(0x1000)
        .u8(0x23)
        .u8(4)
        .u8(0x23)
        .u8(4);
    u.w.code(kVar).b.str("plus_then").u32(u.intType).uleb(8).u8(0x03).u32(0x1000).u8(0x23).u8(4).u8(0x96);
    u.w.code(kVar).b.str("minus").u32(u.intType).uleb(8).u8(0x03).u32(0x1000).u8(0x11).u8(4).u8(0x1c);
    u.w.code(kVar).b.str("plus_only").u32(u.intType).uleb(2).u8(0x23).u8(4);
    u.w.code(kVar).b.str("register").u32(u.intType).uleb(1).u8(0x50);
    u.w.code(kVar).b.str("empty").u32(u.intType).uleb(0);
    u.w.code(kVarNoType).b.str("untyped");
    u.w.addrLocation(0x1008);
    u.w.code(kVarNoType).b.str("");
    u.w.addrLocation(0x100c);
    const auto r = loadUnit(u);
    EXPECT_EQ(names(r), (std::vector<std::string>{"untyped"}));
    EXPECT_EQ(r.value().globals[0].typeIndex, -1);
}

TEST(DwarfGlobals, TruncatedAddressOperandFails) {
    Unit5 u;
    u.w.code(kVar).b.str("cut").u32(u.intType).uleb(3).u8(0x03).u8(0).u8(0x10);
    auto r = loadUnit(u);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().code, ErrorCode::InvalidArgument);
    EXPECT_EQ(r.error().message(), "DWARF: DWARF data truncated");
}

TEST(DwarfGlobals, MergedGlobalsAreTheirBlockPlusAnOffset) {
    // Clang at -Oz merges a unit's statics into one block and locates each as
    // DW_OP_addr A, DW_OP_plus_uconst N.
    Unit5 u;
    u.w.code(kVar).b.str("first").u32(u.intType).uleb(5).u8(0x03).u32(0x1000);
    u.w.code(kVar).b.str("second").u32(u.intType).uleb(7).u8(0x03).u32(0x1000).u8(0x23).u8(4);
    u.w.code(kVar).b.str("far").u32(u.intType).uleb(8).u8(0x03).u32(0x1000).u8(0x23).uleb(0x800);
    const auto r = loadUnit(u);
    ASSERT_TRUE(r.ok()) << r.error().message();
    std::vector<std::uint64_t> addresses;
    for (const auto& g : r.value().globals) addresses.push_back(g.address);
    EXPECT_EQ(addresses, (std::vector<std::uint64_t>{0x1000, 0x1004, 0x1800}));

    Unit5 cut;
    cut.w.code(kVar).b.str("cut").u32(cut.intType).uleb(7).u8(0x03).u32(0x1000).u8(0x23).u8(0x80);
    const auto truncated = loadUnit(cut);
    ASSERT_FALSE(truncated.ok());
    EXPECT_EQ(truncated.error().message(), "DWARF: DWARF data truncated");
}

TEST(DwarfGlobals, AddressIndexOperations) {
    // DWARF 5 unit: DW_OP_addrx with and without DW_AT_addr_base, and the
    // GNU form; entries outside .debug_addr leave the variable out.
    auto run = [](bool withBase, std::vector<std::uint64_t> indices, std::uint8_t op) {
        UnitShape s;
        s.version = 5;
        Bytes ab;
        if (withBase)
            abbrevDecl(ab, 1, 0x11, true, {{0x73, 0x17}});
        else
            abbrevDecl(ab, 1, 0x11, true, {});
        abbrevDecl(ab, 2, 0x34, false, {{0x03, 0x08}, {0x02, 0x18}});
        ab.u8(0);
        DieWriter w(s);
        w.code(1);
        if (withBase) w.b.u32(16);
        int n = 0;
        for (std::uint64_t index : indices) {
            Bytes loc;
            loc.u8(op).uleb(index);
            w.code(2).b.str("v" + std::to_string(n++)).uleb(loc.size()).append(loc.data);
        }
        w.b.u8(0);
        DwarfFile f;
        f.abbrev = ab.data;
        f.info = w.unit();
        // Offsets 0-7 header, 8 entry 0 without base; base 16: entries at 16, 20.
        f.addr = Bytes().u64(0).u32(0x1100).u32(0).u32(0x1200).u32(0x1204).data;
        auto r = load(f);
        std::vector<std::uint64_t> addresses;
        if (r.ok())
            for (const auto& g : r.value().globals) addresses.push_back(g.address);
        return addresses;
    };
    EXPECT_EQ(run(false, {0, 3, 4}, 0xa1), (std::vector<std::uint64_t>{0x1100, 0x1204}));
    EXPECT_EQ(run(true, {0, 1, 2, ~0ull}, 0xa1), (std::vector<std::uint64_t>{0x1200, 0x1204}));
    EXPECT_EQ(run(true, {1}, 0xfb), (std::vector<std::uint64_t>{0x1204}));
}

TEST(DwarfGlobals, NamesTypesAndExternalThroughTheDeclaration) {
    // A static data member: declared in its class, defined outside with only
    // a reference to its declaration and a location.
    Unit5 u;
    u.w.code(kStruct).b.str("S").u8(4);
    const std::uint32_t decl = u.w.offset();
    u.w.code(kVarDecl).b.str("count").u32(u.intType);
    u.w.b.u8(0);
    u.w.code(kVarDefinition).b.u32(decl);
    u.w.addrLocation(0x1010);
    // Inlined-style definition naming its origin.
    const std::uint32_t origin = u.w.offset();
    u.w.code(kVarDecl).b.str("origin").u32(u.intType);
    u.w.code(kVarOrigin).b.u32(origin);
    u.w.addrLocation(0x1014);
    auto r = loadUnit(u);
    ASSERT_TRUE(r.ok()) << r.error().message();
    ASSERT_EQ(names(r), (std::vector<std::string>{"count", "origin"}));
    const GlobalVariable& g = r.value().globals[0];
    EXPECT_EQ(g.address, 0x1010u);
    EXPECT_TRUE(g.external);
    EXPECT_EQ(g.unitName, "cu");
    ASSERT_GE(g.typeIndex, 0);
    EXPECT_EQ(r.value().types[static_cast<std::size_t>(g.typeIndex)].name, "int");
    // Through an abstract origin come the name, the type and the external flag
    // (gcc's link-time optimisation describes variables so).
    const GlobalVariable& viaOrigin = r.value().globals[1];
    ASSERT_GE(viaOrigin.typeIndex, 0);
    EXPECT_EQ(r.value().types[static_cast<std::size_t>(viaOrigin.typeIndex)].name, "int");
    EXPECT_TRUE(viaOrigin.external);
}

TEST(DwarfGlobals, LoopingDeclarationChainsEnd) {
    // Two nameless definitions whose declaration references name each other, and one
    // naming itself: their names are empty, so neither is collected.
    Unit5 u;
    const std::uint32_t a = u.w.offset();
    u.w.code(kVarDefinition);
    const std::size_t slot = u.w.slot();
    u.w.addrLocation(0x1000);
    const std::uint32_t b = u.w.offset();
    u.w.code(kVarDefinition).b.u32(a);
    u.w.addrLocation(0x1004);
    u.w.patch(slot, b);
    const std::uint32_t self = u.w.offset();
    u.w.code(kVarDefinition).b.u32(self);
    u.w.addrLocation(0x1008);
    u.w.code(kVarDefinition).b.u32(0x7777);  // names no DIE
    u.w.addrLocation(0x100c);
    u.var("named", 0x1010);
    EXPECT_EQ(names(loadUnit(u)), (std::vector<std::string>{"named"}));
}

TEST(DwarfGlobals, AVariableIsDroppedOnlyWhereItsNameIsTaken) {
    // One variable emitted by two units is collected once; distinct variables
    // may share an address (zero-size objects, members of an anonymous union).
    Unit5 u;
    u.var("first", 0x1000);
    u.var("second", 0x1000);
    u.var("first", 0x1000);
    u.var("first", 0x1004);
    const auto r = loadUnit(u);
    EXPECT_EQ(names(r), (std::vector<std::string>{"first", "second", "first"}));
    // The dropped variable's type is built all the same.
    EXPECT_EQ(r.value().types.size(), 1u);
}

TEST(DwarfGlobals, AnonymousUnionsGiveTheirMembersAsVariables) {
    // g++ describes a namespace-scope anonymous union as one variable without
    // a name; a structured binding's variable is artificial.
    Unit5 u;
    const std::uint32_t halves = u.w.offset();
    u.w.code(kStruct).b.str("").u8(8);
    u.w.code(kMember).b.str("lo").u32(u.intType).u8(0);
    u.w.code(kMember).b.str("hi").u32(u.intType).u8(4);
    u.w.b.u8(0);
    const std::uint32_t anonymous = u.w.offset();
    u.w.code(kUnion).b.str("").u8(8);
    u.w.code(kMember).b.str("whole").u32(u.intType).u8(0);
    u.w.code(kMember).b.str("").u32(halves).u8(0);
    u.w.code(kBitField4).b.str("flags").u32(u.intType).u8(35).u8(2);
    u.w.b.u8(0);
    const std::uint32_t named = u.w.offset();
    u.w.code(kUnion).b.str("Named").u8(4);
    u.w.code(kMember).b.str("inner").u32(u.intType).u8(0);
    u.w.b.u8(0);
    u.w.code(kVar).b.str("").u32(anonymous);
    u.w.addrLocation(0x1000);
    u.w.code(kVar).b.str("").u32(named);
    u.w.addrLocation(0x1010);
    u.w.code(kVarArtificial).b.u32(anonymous);
    u.w.addrLocation(0x1020);
    const auto r = loadUnit(u);
    ASSERT_EQ(names(r), (std::vector<std::string>{"whole", "lo", "hi", "flags"}));
    std::vector<std::string> leaves;
    for (const GlobalVariable& g : r.value().globals)
        for (const Variable& v : flattenVariable(r.value(), g, 16, nullptr))
            leaves.push_back(v.name + "@" + std::to_string(v.address) + "/" + std::to_string(v.bitMask));
    EXPECT_EQ(leaves, (std::vector<std::string>{"whole@4096/0", "lo@4096/0", "hi@4100/0", "flags@4100/24"}));
}

TEST(DwarfGlobals, AddressesOutsideTheImageAreLeftOut) {
    // A --gc-sections link leaves discarded variables at 0; only addresses
    // in allocated sections (.bss included) count.
    Unit5 u;
    u.var("discarded", 0);
    u.var("data", 0x1ffc);
    u.var("past_data", 0x2000);
    u.var("bss", 0x8000);
    u.var("not_allocated", 0x9000);
    DwarfFile f;
    f.extra.push_back(SectionSpec{".bss", {}, 8, 0x3, 0x8000, 0x100});
    f.extra.push_back(SectionSpec{".comment", std::vector<std::uint8_t>(16, 0), 1, 0, 0x9000, 0});
    EXPECT_EQ(names(loadUnit(u, f)), (std::vector<std::string>{"data", "bss"}));
}

// An image whose code starts at 0, with data object symbols (name, section
// index) at value 0 in its symbol table.
struct ObjectSymbol {
    const char* name;
    std::uint16_t section;
    std::uint32_t value = 0;
};
DwarfFile imageAtZero(std::initializer_list<ObjectSymbol> objects) {
    DwarfFile f;
    f.extra.push_back(SectionSpec{".text", std::vector<std::uint8_t>(0x100, 0), 1, 0x6, 0, 0});
    Bytes strtab, symtab;
    strtab.u8(0);
    symtab.u32(0).u32(0).u32(0).u8(0).u8(0).u16(0);
    for (const auto& [name, section, value] : objects) {
        symtab.u32(strtab.size()).u32(value).u32(4).u8(0x11).u8(0).u16(section);
        strtab.str(name);
    }
    f.extra.push_back(SectionSpec{".strtab", strtab.data, 3});
    f.extra.push_back(SectionSpec{".symtab", symtab.data, 2, 0, 0, 0, ".strtab"});
    return f;
}

TEST(DwarfGlobals, AtAnAllocatedZeroOnlyVariablesThatTheSymbolTableHasThere) {
    // Discarded variables read 0 too; where flash starts at 0 that address
    // is in the image, so only a data object symbol of the variable's name
    // (mangled for C++) makes it real. Section 4 is .text, 0 undefined.
    auto collected = [](DwarfFile f) {
        Unit5 u;
        u.var("discarded", 0);
        u.var("vectors", 0);
        u.var("table", 0);
        u.var("data", 0x1000);
        return names(loadUnit(u, std::move(f)));
    };
    EXPECT_EQ(collected(imageAtZero({})), (std::vector<std::string>{"data"}));
    EXPECT_EQ(collected(imageAtZero({{"discarded", 0}})), (std::vector<std::string>{"data"}));
    EXPECT_EQ(collected(imageAtZero({{"vectors", 4}})), (std::vector<std::string>{"vectors", "data"}));
    EXPECT_EQ(collected(imageAtZero({{"_ZN2ns5tableE", 4}})), (std::vector<std::string>{"table", "data"}));
    // The length may follow a name that ends in a digit; a wrong one does not count.
    EXPECT_EQ(collected(imageAtZero({{"_ZN4ns_15tableE", 4}})), (std::vector<std::string>{"table", "data"}));
    EXPECT_EQ(collected(imageAtZero({{"_ZN2ns6tableXE", 4}, {"_ZN2ns4tableE", 4}})),
              (std::vector<std::string>{"data"}));
    DwarfFile noSymbols;
    noSymbols.extra.push_back(SectionSpec{".text", std::vector<std::uint8_t>(0x100, 0), 1, 0x6, 0, 0});
    EXPECT_EQ(collected(noSymbols), (std::vector<std::string>{"data"}));

    // A block of merged statics that the linker discarded has the operand 0
    // too, plus each one's offset: a live block there has symbols at 0 + N.
    auto merged = [](DwarfFile f) {
        Unit5 u;
        u.merged("boot_pc", 0, 4);
        u.merged("dead_b", 0, 4);
        u.merged("dead_c", 0, 8);
        u.merged("moved", 0x20, 8);
        return names(loadUnit(u, std::move(f)));
    };
    EXPECT_EQ(merged(imageAtZero({})), (std::vector<std::string>{"moved"}));
    EXPECT_EQ(merged(imageAtZero({{"boot_pc", 4, 4}, {"dead_c", 4, 0}, {"_ZN2ns6dead_bE", 4, 8}})),
              (std::vector<std::string>{"boot_pc", "moved"}));
    EXPECT_EQ(merged(imageAtZero({{"_ZL6dead_b", 4, 4}})), (std::vector<std::string>{"dead_b", "moved"}));

    // A 4.4 MB name of digits, held at every place of one 9 MB symbol of the
    // same digits: searched in well under a second, where comparing the name
    // again at each place took eleven minutes.
    const std::string digits(4444444, '4');
    const std::string symbol = "_Z" + std::string(9000000, '4');
    Unit5 u;
    u.var(digits.c_str(), 0);
    EXPECT_EQ(names(loadUnit(u, imageAtZero({{symbol.c_str(), 4}}))), (std::vector<std::string>{digits}));
}

TEST(DwarfGlobals, AtZeroEveryVariableThatASymbolNamesIsTaken) {
    // Thousands at 0 of each, two symbols naming variables, late in both
    // lists: every name is searched for, and each one held is taken.
    constexpr int kCount = 3000;
    Unit5 u;
    std::vector<std::string> vars, symbols;
    for (int i = 0; i < kCount; ++i) {
        vars.push_back("v" + std::to_string(i));
        symbols.push_back("_ZN2ns" + std::to_string(2 + std::to_string(i).size()) + "w_" + std::to_string(i) +
                          "E");
    }
    symbols[kCount - 2] = "_ZN2ns5v2998E";
    symbols[kCount - 1] = "v2999";
    for (const std::string& v : vars) u.var(v.c_str(), 0);
    DwarfFile f;
    f.extra.push_back(SectionSpec{".text", std::vector<std::uint8_t>(0x100, 0), 1, 0x6, 0, 0});
    Bytes strtab, symtab;
    strtab.u8(0);
    symtab.u32(0).u32(0).u32(0).u8(0).u8(0).u16(0);
    for (const std::string& name : symbols) {
        symtab.u32(strtab.size()).u32(0).u32(4).u8(0x11).u8(0).u16(4);
        strtab.str(name);
    }
    f.extra.push_back(SectionSpec{".strtab", strtab.data, 3});
    f.extra.push_back(SectionSpec{".symtab", symtab.data, 2, 0, 0, 0, ".strtab"});
    EXPECT_EQ(names(loadUnit(u, std::move(f))), (std::vector<std::string>{"v2998", "v2999"}));
}

}  // namespace
}  // namespace vk::elf
