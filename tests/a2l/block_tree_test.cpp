#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "a2l/block.h"

namespace vk::a2l {
namespace {

Block treeOf(std::string_view text) {
    auto tree = parseTree(text);
    if (!tree.ok()) {
        ADD_FAILURE() << "unexpected error: " << tree.error().message();
        return Block{};
    }
    return std::move(tree.value());
}

std::string treeErrorOf(std::string_view text) {
    auto tree = parseTree(text);
    if (tree.ok()) return "";
    EXPECT_EQ(tree.error().code, ErrorCode::InvalidArgument);
    return tree.error().message();
}

std::vector<std::string_view> textsOf(const Block& block) {
    std::vector<std::string_view> out;
    for (const Token& t : block.tokens) out.push_back(t.text);
    return out;
}

TEST(BlockTree, TextWithoutBlocksIsTheRoot) {
    for (std::string_view text : {"", "a \"b\" 3"}) {
        const Block root = treeOf(text);
        EXPECT_TRUE(root.name.empty());
        EXPECT_TRUE(root.children.empty());
        EXPECT_EQ(root.line, 0u);
        EXPECT_EQ(root.beginOffset, 0u);
        EXPECT_EQ(root.endOffset, 0u);
        EXPECT_EQ(root.afterEndOffset, 0u);
        EXPECT_EQ(root.tokens.size(), text.empty() ? 0u : 3u);
    }
}

TEST(BlockTree, NestingTokensAndOffsets) {
    const std::string_view text = "/begin A /begin B /end B x /end A";
    const Block root = treeOf(text);
    ASSERT_EQ(root.children.size(), 1u);
    const Block& a = root.children[0];
    EXPECT_EQ(a.name, "A");
    EXPECT_EQ(textsOf(a), (std::vector<std::string_view>{"x"}));
    ASSERT_EQ(a.children.size(), 1u);
    EXPECT_EQ(a.children[0].name, "B");
    EXPECT_TRUE(a.children[0].tokens.empty());
    EXPECT_EQ(a.line, 1u);
    EXPECT_EQ(a.beginOffset, 0u);
    EXPECT_EQ(a.endOffset, text.rfind("/end"));
    EXPECT_EQ(a.afterEndOffset, text.size());
    const Block& b = a.children[0];
    EXPECT_EQ(text.substr(b.beginOffset, b.afterEndOffset - b.beginOffset), "/begin B /end B");
}

TEST(BlockTree, EndAndNameOnDifferentLines) {
    const std::string_view text = "\xEF\xBB\xBF/begin A\n/end // why\n  A\n";
    const Block root = treeOf(text);
    const Block& a = root.children.at(0);
    EXPECT_EQ(a.beginOffset, 3u);
    EXPECT_EQ(a.endOffset, text.find("/end"));
    EXPECT_EQ(a.afterEndOffset, text.rfind('A') + 1);
    EXPECT_EQ(treeErrorOf("/begin A\n/end\n\nB"), "A2L line 4: /end B does not match /begin A (line 1)");
}

TEST(BlockTree, ChildFindsTheFirstDirectChildOnly) {
    const Block root =
        treeOf("/begin P /begin C 1 /end C /begin C 2 /end C /begin D /begin E /end E /end D /end P");
    const Block& p = root.children.at(0);
    ASSERT_EQ(p.children.size(), 3u);
    ASSERT_NE(p.child("C"), nullptr);
    EXPECT_EQ(p.child("C"), &p.children[0]);
    EXPECT_EQ(p.child("E"), nullptr);
    EXPECT_EQ(p.child("c"), nullptr);
    EXPECT_EQ(root.child("P"), &p);
}

TEST(BlockTreeErrors, StructuralMessagesAndLines) {
    EXPECT_EQ(treeErrorOf("/end A"), "A2L line 1: unexpected /end A");
    EXPECT_EQ(treeErrorOf("/begin A\n\n/end B"), "A2L line 3: /end B does not match /begin A (line 1)");
    EXPECT_EQ(treeErrorOf("/begin A /end a"), "A2L line 1: /end a does not match /begin A (line 1)");
    EXPECT_EQ(treeErrorOf("\n/begin A\nx\ny\nz"), "A2L line 5: missing /end A for block at line 2");
    EXPECT_EQ(treeErrorOf("\n/begin A\n/begin B\ny\nz"), "A2L line 5: missing /end B for block at line 3");
}

TEST(BlockTreeErrors, LexicalErrorsPassThrough) {
    EXPECT_EQ(treeErrorOf("/begin A \"x\n"), "A2L line 2: unterminated string");
    EXPECT_EQ(treeErrorOf("/begin A /*"), "A2L line 1: unterminated comment");
    EXPECT_EQ(treeErrorOf("/begin A /end"), "A2L line 1: keyword expected after /begin or /end");
}

std::string nested(std::size_t depth) {
    std::string text;
    text.reserve(depth * 16);
    for (std::size_t i = 0; i < depth; ++i) text += "/begin a\n";
    for (std::size_t i = 0; i < depth; ++i) text += "/end a ";
    return text;
}

TEST(BlockTreeErrors, DeepNestingIsRefusedNotACrash) {
    EXPECT_EQ(treeErrorOf(nested(1000000)), "A2L line 257: /begin a nested deeper than 256 levels");
    const Block root = treeOf(nested(kMaxBlockDepth));
    const Block* deepest = &root;
    std::uint32_t depth = 0;
    while (!deepest->children.empty()) {
        deepest = &deepest->children[0];
        ++depth;
    }
    EXPECT_EQ(depth, kMaxBlockDepth);
}

TEST(BlockTreeA2ml, SkippedRawAndLeftOutOfTheTree) {
    const std::string_view text =
        "/begin M x\n/begin A2ML \"/end\" /end X struct { } /end\n  \r\t A2ML y\n/end M z";
    const Block root = treeOf(text);
    const Block& m = root.children.at(0);
    EXPECT_TRUE(m.children.empty());
    EXPECT_EQ(textsOf(m), (std::vector<std::string_view>{"x", "y"}));
    EXPECT_EQ(m.tokens[1].line, 3u);
    EXPECT_EQ(root.tokens.at(0).line, 4u);
    EXPECT_EQ(m.endOffset, text.rfind("/end M"));
}

TEST(BlockTreeA2ml, OnlyTheExactNameIsRaw) {
    const Block root = treeOf("/begin a2ml x /end a2ml /begin A2MLX y /end A2MLX");
    ASSERT_EQ(root.children.size(), 2u);
    EXPECT_EQ(root.children[1].name, "A2MLX");
    // Vertical tab and form feed do not count as blanks between "/end" and "A2ML".
    EXPECT_EQ(treeErrorOf("/begin A2ML /end\vA2ML"), "A2L line 1: missing /end A2ML");
}

TEST(BlockTreeA2ml, MissingEndReportsTheLastEndSeen) {
    EXPECT_EQ(treeErrorOf("/begin\nA2ML\n\n\"x\""), "A2L line 2: missing /end A2ML");
    EXPECT_EQ(treeErrorOf("/begin A2ML\n/end X\n\n/end\n\nY\n"), "A2L line 4: missing /end A2ML");
    // "/endA2ML" closes: no blank is needed.
    EXPECT_TRUE(parseTree("/begin A2ML /endA2ML").ok());
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A file as other tools write them: byte order mark, CR LF, both comment kinds,
// an A2ML grammar with "/end" in a string, foreign IF_DATA, UTF-8 in strings.
TEST(BlockTreeSample, RealisticFileReadsWhole) {
    const std::string text = readFile(VK_SOURCE_DIR "/tests/a2l/data/sample.a2l");
    ASSERT_EQ(text.substr(0, 3), "\xEF\xBB\xBF");
    ASSERT_NE(text.find("\r\n"), std::string::npos);
    const Block root = treeOf(text);
    ASSERT_EQ(textsOf(root), (std::vector<std::string_view>{"ASAP2_VERSION", "1", "71"}));
    const Block* project = root.child("PROJECT");
    ASSERT_NE(project, nullptr);
    const Block* module = project->child("MODULE");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(module->child("A2ML"), nullptr);
    ASSERT_GE(module->tokens.size(), 2u);
    EXPECT_EQ(unescape(module->tokens[1].text), "Steuerger\xC3\xA4t \"ECU\"");

    // Every block's offsets frame exactly its own keywords and names.
    std::vector<const Block*> pending{project};
    std::size_t blocks = 0;
    while (!pending.empty()) {
        const Block* b = pending.back();
        pending.pop_back();
        ++blocks;
        EXPECT_EQ(text.substr(b->beginOffset, 6), "/begin");
        EXPECT_EQ(text.substr(b->endOffset, 4), "/end");
        EXPECT_EQ(text.substr(b->afterEndOffset - b->name.size(), b->name.size()), b->name);
        EXPECT_EQ(static_cast<std::size_t>(b->name.data() - text.data()),
                  text.find(b->name, b->beginOffset + 6));
        for (const Block& c : b->children) pending.push_back(&c);
    }
    EXPECT_EQ(blocks, 15u);

    const Block* measurement = module->child("MEASUREMENT");
    ASSERT_NE(measurement, nullptr);
    EXPECT_EQ(measurement->line, 43u);
    EXPECT_EQ(measurement->children.size(), 2u);  // two IF_DATA of other tools
    const Token& address = measurement->tokens.at(9);
    EXPECT_EQ(address.text, "0x20001000");
    EXPECT_EQ(text.substr(static_cast<std::size_t>(address.text.data() - text.data()), 10), "0x20001000");
    EXPECT_EQ(address.line, 47u);
}

}  // namespace
}  // namespace vk::a2l
