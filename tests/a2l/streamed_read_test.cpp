// Reading children while the tree is built: a claimed block's children reach the
// sink complete and in order, and the project read that way equals one read from
// the whole tree, warnings and module names included.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "a2l/block.h"
#include "a2l/module.h"
#include "a2l/project.h"

namespace vk::a2l {
namespace {

// Claims the blocks of the given name and records what it is asked and given.
class RecordingSink final : public ChildSink {
public:
    explicit RecordingSink(std::string_view claimed) : claimed_(claimed) {}

    bool claims(const Block& block, std::uint32_t depth) override {
        asked.push_back(std::string(block.name) + "@" + std::to_string(depth));
        EXPECT_TRUE(block.tokens.empty());
        return block.name == claimed_;
    }

    void take(const Block& child) override {
        std::string seen = std::string(child.name) + ":";
        for (const Token& t : child.tokens) seen += " " + std::string(t.text);
        seen += " children " + std::to_string(child.children.size());
        taken.push_back(seen);
    }

    std::vector<std::string> asked;
    std::vector<std::string> taken;

private:
    std::string_view claimed_;
};

TEST(StreamedTree, ClaimedChildrenGoToTheSinkComplete) {
    RecordingSink sink("M");
    const Result<Block> tree = parseTree(
        "t /begin P p /begin M m1 /begin A a1 /begin B /end B a2 /end A m2 /begin C /end C m3 /end M "
        "/end P /begin M x /begin D /end D /end M",
        sink);
    ASSERT_TRUE(tree.ok()) << tree.error().message();
    EXPECT_EQ(sink.asked, (std::vector<std::string>{"P@1", "M@2", "A@3", "B@4", "C@3", "M@1", "D@2"}));
    EXPECT_EQ(sink.taken,
              (std::vector<std::string>{"A: a1 a2 children 1", "C: children 0", "D: children 0"}));

    const Block& root = tree.value();
    ASSERT_EQ(root.children.size(), 2u);
    const Block& m = root.children[0].children.at(0);
    EXPECT_TRUE(m.children.empty());
    ASSERT_EQ(m.tokens.size(), 3u);  // own tokens from before, between and after the children
    EXPECT_EQ(m.tokens[2].text, "m3");
    EXPECT_EQ(root.children[0].tokens.size(), 1u);
    EXPECT_EQ(root.tokens.size(), 1u);
    EXPECT_TRUE(root.children[1].children.empty());
}

TEST(StreamedTree, ErrorsAreTheSameAsWithoutSink) {
    for (const char* text : {"/begin M /begin A /end A /begin B /end C /end M", "/begin M /begin A /end A",
                             "/begin M /begin A \"open /end A /end M", "/end M"}) {
        RecordingSink sink("M");
        const Result<Block> streamed = parseTree(text, sink);
        const Result<Block> whole = parseTree(text);
        ASSERT_FALSE(streamed.ok()) << text;
        ASSERT_FALSE(whole.ok()) << text;
        EXPECT_EQ(streamed.error().message(), whole.error().message());
    }
}

// The project as parse reads it, against parseModule over the whole tree.
TEST(StreamedProject, SameModulesAndWarningsAsTheWholeTree) {
    const std::string text = R"(ASAP2_VERSION 1 61
/begin PROJECT P ""
  /begin HEADER "" /end HEADER
  /begin MODULE
    /begin MEASUREMENT bad "" UBYTE /end MEASUREMENT
    first "module one"
    /begin MEASUREMENT m1 "" UBYTE cm 0 0 0 1 /end MEASUREMENT
    /begin COMPU_METHOD cm "" IDENTICAL "%8.0" "" /end COMPU_METHOD
  /end MODULE
  /begin GROUP G "" /begin MODULE hidden /end MODULE /end GROUP
  /begin MODULE second ""
    /begin MEASUREMENT m1 "" UBYTE cm 0 0 0 1 /end MEASUREMENT
    /begin COMPU_VTAB v "" TAB_VERB x /end COMPU_VTAB
    /begin MEASUREMENT m1 "" UWORD cm 0 0 0 2 /end MEASUREMENT
  /end MODULE
/end PROJECT
/begin PROJECT Q /begin MODULE third /begin MEASUREMENT q "" UBYTE /end MEASUREMENT /end MODULE /end PROJECT
)";
    const Result<Project> parsed = parse(text);
    ASSERT_TRUE(parsed.ok()) << parsed.error().message();
    const Project& project = parsed.value();

    const Result<Block> tree = parseTree(text);
    ASSERT_TRUE(tree.ok());
    std::vector<std::string> warnings;
    std::vector<Module> expected;
    for (const Block& child : tree.value().child("PROJECT")->children) {
        if (child.name == "MODULE") expected.push_back(parseModule(child, warnings));
    }

    EXPECT_EQ(project.warnings, warnings);
    EXPECT_EQ(project.warnings,
              (std::vector<std::string>{
                  "line 5: MEASUREMENT bad skipped: missing conversion",
                  "line 13: COMPU_VTAB v skipped: number of entries must be a number, got 'x'",
              }));
    ASSERT_EQ(project.modules.size(), 2u);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const Module& got = project.modules[i];
        EXPECT_EQ(got.name, expected[i].name);
        EXPECT_EQ(got.longIdentifier, expected[i].longIdentifier);
        EXPECT_EQ(got.measurements.size(), expected[i].measurements.size());
        EXPECT_EQ(got.compuMethods.size(), expected[i].compuMethods.size());
        EXPECT_EQ(got.measurementIndex, expected[i].measurementIndex);
    }
    EXPECT_EQ(project.modules[0].name, "first");  // its first own token, after an object
    EXPECT_EQ(project.modules[0].longIdentifier, "module one");
    ASSERT_NE(project.modules[1].findMeasurement("m1"), nullptr);
    EXPECT_EQ(project.modules[1].findMeasurement("m1")->upperLimit, 1.0);  // the first of the name
}

TEST(StreamedProject, AStructuralErrorAfterTheObjectsFailsTheWholeParse) {
    const Result<Project> parsed = parse(
        "/begin PROJECT P /begin MODULE M /begin MEASUREMENT bad /end MEASUREMENT\n"
        "/begin MEASUREMENT m \"\" UBYTE c 0 0 0 1 /end MEASUREMENT /end PROJECT");
    ASSERT_FALSE(parsed.ok());
    EXPECT_EQ(parsed.error().message(), "A2L line 2: /end PROJECT does not match /begin MODULE (line 1)");
}

}  // namespace
}  // namespace vk::a2l
