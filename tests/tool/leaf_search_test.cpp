// The updater's name lookup: the search that expands only the named parts of
// the globals must find exactly what flattening everything would, and the name
// map must keep exact names before aliases before symbols.
#include "tool/leaf_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/tool/update_test_support.h"
#include "tool/identifier.h"
#include "tool/name_map.h"

namespace vk::tool {
namespace {

using vk::elf::DebugInfo;
using vk::elf::Member;
using vk::elf::TypeInfo;
using vk::elf::TypeKind;
using vk::elf::Variable;

// What the updater's lookup means, computed the direct way: every leaf of every
// global, and per key the first leaf named so, the first aliased so and the
// first whose name is no identifier but whose identifier the key is.
struct Reference {
    std::vector<Variable> leaves;
    std::map<std::string, std::size_t> exact;
    std::map<std::string, std::size_t> alias;
    std::map<std::string, std::size_t> identifier;
    std::map<std::string, std::set<std::uint64_t>> exactAddresses;
    std::map<std::string, std::set<std::uint64_t>> aliasAddresses;
    std::map<std::string, std::set<std::uint64_t>> identifierAddresses;
};

Reference flattenEverything(const DebugInfo& debug, std::uint64_t limit) {
    Reference r;
    for (const auto& global : debug.globals)
        for (auto& leaf : vk::elf::flattenVariable(debug, global, limit, nullptr)) r.leaves.push_back(leaf);
    for (std::size_t i = 0; i < r.leaves.size(); ++i) {
        const Variable& leaf = r.leaves[i];
        r.exact.emplace(leaf.name, i);
        r.alias.emplace(flattenIndices(leaf.name), i);
        r.exactAddresses[leaf.name].insert(leaf.address);
        r.aliasAddresses[flattenIndices(leaf.name)].insert(leaf.address);
        if (makeA2lIdentifier(leaf.name) == leaf.name) continue;
        r.identifier.emplace(makeA2lIdentifier(leaf.name), i);
        r.identifierAddresses[makeA2lIdentifier(leaf.name)].insert(leaf.address);
    }
    return r;
}

// Every name, alias and identifier, and near misses around them.
std::vector<std::string> keysFor(const Reference& r) {
    std::vector<std::string> keys;
    for (const Variable& leaf : r.leaves) {
        keys.push_back(leaf.name);
        keys.push_back(flattenIndices(leaf.name));
        keys.push_back(makeA2lIdentifier(leaf.name));
        keys.push_back(leaf.name + "[0]");
        keys.push_back(leaf.name.substr(0, leaf.name.size() / 2));
        if (auto open = leaf.name.rfind('['); open != std::string::npos) {
            std::string padded = leaf.name;
            padded.insert(open + 1, "0");  // [07] is no index text flattening writes
            keys.push_back(padded);
            keys.push_back(leaf.name.substr(0, open) + "[99999]");
        }
    }
    keys.push_back("");
    keys.push_back("no_such_variable");
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    return keys;
}

std::vector<std::string_view> viewsOf(const std::vector<std::string>& keys) {
    return std::vector<std::string_view>(keys.begin(), keys.end());
}

void expectSameLeaf(const Variable* found, const Variable* expected, const std::string& key) {
    ASSERT_EQ(found == nullptr, expected == nullptr) << key;
    if (found == nullptr) return;
    EXPECT_EQ(found->name, expected->name) << key;
    EXPECT_EQ(found->address, expected->address) << key;
    EXPECT_EQ(found->type, expected->type) << key;
    EXPECT_EQ(found->size, expected->size) << key;
    EXPECT_EQ(found->bitMask, expected->bitMask) << key;
    EXPECT_EQ(found->isBitField, expected->isBitField) << key;
}

// Every address a key leads to: its first leaf's and those noted elsewhere.
void expectSameAddresses(const std::vector<std::size_t>& first,
                         const std::vector<std::pair<std::size_t, std::uint64_t>>& elsewhere,
                         const LeafMatches& matches,
                         const std::map<std::string, std::set<std::uint64_t>>& expected,
                         const std::vector<std::string>& keys) {
    std::map<std::string, std::set<std::uint64_t>> found;
    for (std::size_t k = 0; k < keys.size(); ++k)
        if (first[k] != kNoLeaf) found[keys[k]].insert(matches.leaves[first[k]].address);
    for (const auto& [k, address] : elsewhere) found[keys[k]].insert(address);
    std::map<std::string, std::set<std::uint64_t>> wanted;
    for (const std::string& key : keys)
        if (auto it = expected.find(key); it != expected.end()) wanted.insert(*it);
    EXPECT_EQ(found, wanted);
}

// everyAddress: also every address each key leads to. Where an element count
// wraps, index texts repeat and only the first element of a text is searched for.
void expectSameAsFlattening(const DebugInfo& debug, std::uint64_t limit, const std::string& label,
                            bool everyAddress = true) {
    const Reference reference = flattenEverything(debug, limit);
    const std::vector<std::string> keys = keysFor(reference);
    // 1 splits every part down to its leaves; the default expands the fixtures whole.
    for (std::uint64_t whole : {std::uint64_t{1}, std::uint64_t{3}, std::uint64_t{65536}}) {
        SCOPED_TRACE(label + ", parts up to " + std::to_string(whole) + " leaves whole");
        const LeafMatches matches = findLeaves(debug, viewsOf(keys), limit, whole);
        ASSERT_EQ(matches.exact.size(), keys.size());
        auto leafOf = [&](const std::vector<std::size_t>& first, std::size_t k) {
            return first[k] == kNoLeaf ? nullptr : &matches.leaves[first[k]];
        };
        auto expected = [&](const std::map<std::string, std::size_t>& first, const std::string& key) {
            auto it = first.find(key);
            return it == first.end() ? nullptr : &reference.leaves[it->second];
        };
        std::vector<std::size_t> identified(keys.size(), kNoLeaf);
        for (const auto& [k, leaf] : matches.identifier) identified.at(k) = leaf;
        for (std::size_t k = 0; k < keys.size(); ++k) {
            expectSameLeaf(leafOf(matches.exact, k), expected(reference.exact, keys[k]), keys[k]);
            expectSameLeaf(leafOf(matches.alias, k), expected(reference.alias, keys[k]), keys[k]);
            expectSameLeaf(leafOf(identified, k), expected(reference.identifier, keys[k]), keys[k]);
        }
        if (!everyAddress) continue;
        expectSameAddresses(matches.exact, matches.exactElsewhere, matches, reference.exactAddresses, keys);
        expectSameAddresses(matches.alias, matches.aliasElsewhere, matches, reference.aliasAddresses, keys);
        expectSameAddresses(identified, matches.identifierElsewhere, matches, reference.identifierAddresses,
                            keys);
    }
}

std::int32_t add(DebugInfo& debug, TypeInfo type) {
    debug.types.push_back(std::move(type));
    return static_cast<std::int32_t>(debug.types.size() - 1);
}

TypeInfo baseType(std::uint64_t size) {
    TypeInfo t;
    t.kind = TypeKind::Base;
    t.name = "uint";
    t.byteSize = size;
    t.encoding = 0x08;
    return t;
}

TypeInfo arrayOf(std::int32_t element, std::vector<std::uint64_t> dims) {
    TypeInfo t;
    t.kind = TypeKind::Array;
    t.target = element;
    t.dims = std::move(dims);
    return t;
}

TypeInfo aggregate(TypeKind kind, std::vector<Member> members, std::uint64_t size) {
    TypeInfo t;
    t.kind = kind;
    t.members = std::move(members);
    t.byteSize = size;
    return t;
}

TEST(LeafSearch, FindsWhatFlatteningEverythingFindsInEveryFixture) {
    const std::size_t images = testing::forEachLoadableFixture(
        false, [](const std::string& name, const vk::elf::ElfFile&, const DebugInfo& debug) {
            expectSameAsFlattening(debug, 1048576, name);
            expectSameAsFlattening(debug, 2, name + " limit 2");
        });
    EXPECT_GE(images, 100u);
}

// Shapes the fixtures lack: arrays of typedef'd arrays, unnamed unions whose
// members repeat names, bit fields in a part that is split (one read through a
// wider window, one left out), two globals of one name, names that are no A2L
// identifiers, a product of dimensions that wraps, an array without dimensions,
// a virtual base.
TEST(LeafSearch, FindsWhatFlatteningEverythingFindsInOddShapes) {
    DebugInfo debug;
    const auto u8 = add(debug, baseType(1));
    const auto u16 = add(debug, baseType(2));
    const auto row = add(debug, arrayOf(u16, {3}));
    TypeInfo rowName;
    rowName.kind = TypeKind::Typedef;
    rowName.name = "row_t";
    rowName.target = row;
    const auto rowTypedef = add(debug, rowName);
    // More elements than are tried one by one, so that indices are read from the keys.
    const auto grid = add(debug, arrayOf(rowTypedef, {20, 4}));
    const auto inner = add(
        debug, aggregate(TypeKind::Struct, {{"x", 0, u8, 0, 0}, {"y", 1, u8, 0, 0}, {"y$", 1, u8, 0, 0}}, 2));
    const auto anon = add(debug, aggregate(TypeKind::Union, {{"x", 0, u16, 0, 0}, {"", 0, inner, 0, 0}}, 2));
    const auto node = add(debug, aggregate(TypeKind::Struct, {{"nodeId", 0, u16, 0, 0}}, 2));
    const auto cell = add(debug, aggregate(TypeKind::Struct,
                                           {{"", 0, anon, 0, 0},
                                            {"", 0, node, 0, 0, vk::elf::kVirtualBase},
                                            {"on", 2, u16, 1, 3},
                                            {"level", 2, u16, 4, 4},
                                            {"raw", 2, -1, 2, 9},
                                            {"across", 1, u8, 7, 5, 2},
                                            {"spread", 0, u16, 60, 0, vk::elf::kNoBitWindow},
                                            {"grid", 4, grid, 0, 0}},
                                           52));
    const auto cells = add(debug, arrayOf(cell, {9, 11}));
    const auto noDims = add(debug, arrayOf(u16, {}));
    debug.globals = {{"cells", 0x1000, cells, true, "a.c"},   {"cells", 0x9000, cells, true, "b.c"},
                     {"nd", 0x3000, noDims, true, "a.c"},     {"g", 0x4000, grid, true, "a.c"},
                     {"ns::g", 0x5000, grid, true, "a.c"},    {"ns__g", 0x5800, grid, true, "a.c"},
                     {"7\xC3\xA9", 0x6000, cell, true, "a.c"}};
    expectSameAsFlattening(debug, 1048576, "odd shapes");
    // With a wrapping product, index texts repeat; only small limits keep the
    // reference small.
    const auto wraps = add(debug, arrayOf(u8, {0x100000000, 0x100000001, 3}));
    debug.globals.push_back({"w", 0x2000, wraps, true, "a.c"});
    expectSameAsFlattening(debug, 70, "odd shapes, limit 70", false);
    expectSameAsFlattening(debug, 5, "odd shapes, limit 5", false);
    expectSameAsFlattening(debug, 0, "odd shapes, limit 0", false);
    // Flattening leaves such an array out, whose index texts would repeat,
    // and the members of a virtual base, which only the running program places.
    for (std::uint64_t whole : {std::uint64_t{1}, std::uint64_t{16}}) {
        const LeafMatches leftOut =
            findLeaves(debug, {"cells[0][0].nodeId", "w[0][0][0]", "w_0_0_1"}, 70, whole);
        EXPECT_TRUE(leftOut.leaves.empty());
    }
}

// 2^40 leaves from a few bytes of debug information: only the named ones are
// expanded, so this takes no time and no memory.
TEST(LeafSearch, NestedMillionElementArraysStaySmall) {
    DebugInfo debug;
    const auto u8 = add(debug, baseType(1));
    const auto bytes = add(debug, arrayOf(u8, {1u << 20}));
    const auto block = add(debug, aggregate(TypeKind::Struct, {{"a", 0, bytes, 0, 0}}, 1u << 20));
    const auto blocks = add(debug, arrayOf(block, {2u << 20}));
    debug.globals = {{"s", 0x10000000, blocks, true, "a.c"}};
    const std::vector<std::string> keys = {
        "s[0].a[0]", "s[1048575].a[1048575]", "s[1048576].a[0]", "s_7.a_9", "s[3].a[03]", "s[3].a[1048576]"};
    std::vector<std::string> sorted = keys;
    std::sort(sorted.begin(), sorted.end());
    const auto start = std::chrono::steady_clock::now();
    const LeafMatches matches = findLeaves(debug, viewsOf(sorted), 1048576);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    auto exact = [&](const std::string& key) -> const Variable* {
        const auto k =
            static_cast<std::size_t>(std::find(sorted.begin(), sorted.end(), key) - sorted.begin());
        return matches.exact[k] == kNoLeaf ? nullptr : &matches.leaves[matches.exact[k]];
    };
    ASSERT_NE(exact("s[0].a[0]"), nullptr);
    EXPECT_EQ(exact("s[0].a[0]")->address, 0x10000000u);
    ASSERT_NE(exact("s[1048575].a[1048575]"), nullptr);
    EXPECT_EQ(exact("s[1048575].a[1048575]")->address, 0x10000000u + 1048575ull * (1u << 20) + 1048575);
    EXPECT_EQ(exact("s[1048576].a[0]"), nullptr);  // past the array limit
    EXPECT_EQ(exact("s[3].a[03]"), nullptr);
    EXPECT_EQ(exact("s[3].a[1048576]"), nullptr);
    const auto k =
        static_cast<std::size_t>(std::find(sorted.begin(), sorted.end(), "s_7.a_9") - sorted.begin());
    ASSERT_NE(matches.alias[k], kNoLeaf);
    EXPECT_EQ(matches.leaves[matches.alias[k]].name, "s[7].a[9]");
    EXPECT_LE(matches.leaves.size(), keys.size());
}

TEST(FlattenIndices, TurnsIndicesIntoUnderscores) {
    EXPECT_EQ(flattenIndices("a.b[3].c[1][2]"), "a.b_3.c_1_2");
    EXPECT_EQ(flattenIndices("plain.name"), "plain.name");
    EXPECT_EQ(flattenIndices("]x["), "x_");
    EXPECT_EQ(flattenIndices(""), "");
}

TEST(NameMap, ExactNamesBeforeAliasesBeforeSymbols) {
    for (const char* variant : {"x86_64", "ppc"}) {
        SCOPED_TRACE(variant);
        const testing::Image image = testing::loadImage("update_after", variant);
        const auto symbols = vk::elf::readSymbols(image.elf);
        NameMap names(
            image.debug, symbols,
            {"buf[2]", "buf_2", "buf_3", "map_2_1", "_start.ticks", "path[3].y", "nowhere", "buf_3"});

        const AddressEntry* exact = names.find("buf[2]");
        ASSERT_NE(exact, nullptr);
        ASSERT_NE(exact->variable, nullptr);
        EXPECT_EQ(exact->variable->name, "buf[2]");
        EXPECT_EQ(exact->address, image.leaf("buf[0]").address + 2);
        EXPECT_EQ(exact->size, 1u);

        // The variable buf_2 comes first, but the alias of buf[2] counts too.
        const AddressEntry* own = names.find("buf_2");
        ASSERT_NE(own, nullptr);
        EXPECT_EQ(own->variable->name, "buf_2");
        EXPECT_EQ(own->address, image.leaf("buf_2").address);
        EXPECT_EQ(names.ambiguousAddresses("buf_2"),
                  (std::vector<std::uint64_t>{std::min(own->address, exact->address),
                                              std::max(own->address, exact->address)}));

        const AddressEntry* alias = names.find("buf_3");
        ASSERT_NE(alias, nullptr);
        EXPECT_EQ(alias->variable->name, "buf[3]");
        EXPECT_EQ(names.find("map_2_1")->variable->name, "map[2][1]");
        EXPECT_EQ(names.find("path[3].y")->address, image.leaf("path[3].y").address);

        const AddressEntry* symbol = names.find("_start.ticks");
        ASSERT_NE(symbol, nullptr);
        EXPECT_EQ(symbol->variable, nullptr);
        EXPECT_EQ(symbol->size, 4u);
        auto it = std::find_if(symbols.begin(), symbols.end(),
                               [](const auto& s) { return s.name == "_start.ticks"; });
        ASSERT_NE(it, symbols.end());
        EXPECT_EQ(symbol->address, it->value);

        EXPECT_EQ(names.find("nowhere"), nullptr);
        EXPECT_EQ(names.find("not a key"), nullptr);
    }
}

TEST(NameMap, SymbolsOnlyOfObjectTypeWithNames) {
    DebugInfo debug;
    std::vector<vk::elf::Symbol> symbols = {
        {"func", 0x100, 4, 2, 1, 1}, {"", 0x200, 4, 1, 1, 1},    {"obj", 0x300, 8, 1, 1, 1},
        {"obj", 0x400, 8, 1, 1, 1},  {"obj", 0x300, 8, 1, 1, 1}, {"one", 0x600, 8, 1, 1, 1},
        {"obj", 0x500, 8, 1, 1, 0},  // undefined: names no address of this file
    };
    NameMap names(debug, symbols, {"func", "obj", "", "one"});
    EXPECT_EQ(names.ambiguousAddresses("obj"), (std::vector<std::uint64_t>{0x300, 0x400}));
    EXPECT_TRUE(names.ambiguousAddresses("one").empty());
    EXPECT_EQ(names.find("func"), nullptr);
    EXPECT_EQ(names.find(""), nullptr);
    ASSERT_NE(names.find("obj"), nullptr);
    EXPECT_EQ(names.find("obj")->address, 0x300u);  // the first symbol of a name
}

}  // namespace
}  // namespace vk::tool
