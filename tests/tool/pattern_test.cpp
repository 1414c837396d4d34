// The whole-name wildcard match of list mode and the generator's selection.
#include "tool/pattern.h"

#include <gtest/gtest.h>

namespace vk::tool {
namespace {

TEST(MatchPattern, StarMatchesAnyRunIncludingNone) {
    EXPECT_TRUE(matchPattern("temp*", "temp"));
    EXPECT_TRUE(matchPattern("temp*", "temp.a"));
    EXPECT_TRUE(matchPattern("temp*", "temperature[3]"));
    EXPECT_TRUE(matchPattern("*", ""));
    EXPECT_TRUE(matchPattern("*", "anything.at[all]"));
    EXPECT_TRUE(matchPattern("**", "x"));
    EXPECT_TRUE(matchPattern("a*c", "abc"));
    EXPECT_TRUE(matchPattern("a*c", "ac"));
    EXPECT_FALSE(matchPattern("a*c", "acb"));
    EXPECT_TRUE(matchPattern("s.*.x", "s.a.x"));
    EXPECT_TRUE(matchPattern("s.*.x", "s.a.b.x"));
    EXPECT_FALSE(matchPattern("s.*.x", "s.a.b.y"));
    EXPECT_TRUE(matchPattern("*map[1]*", "cal.map[1][2]"));
}

TEST(MatchPattern, QuestionMarkIsExactlyOneByte) {
    EXPECT_TRUE(matchPattern("?", "a"));
    EXPECT_TRUE(matchPattern("?", "*"));
    EXPECT_FALSE(matchPattern("?", ""));
    EXPECT_FALSE(matchPattern("?", "ab"));
    EXPECT_TRUE(matchPattern("g[?]", "g[7]"));
    EXPECT_FALSE(matchPattern("g[?]", "g[10]"));
    // A two-byte UTF-8 letter takes two question marks.
    EXPECT_TRUE(matchPattern("??", "\xC3\xA4"));
}

TEST(MatchPattern, WholeNameCaseSensitiveNoClasses) {
    EXPECT_FALSE(matchPattern("Temp*", "temp"));
    EXPECT_FALSE(matchPattern("temp", "temp.a"));
    EXPECT_FALSE(matchPattern("temp.a", "temp"));
    EXPECT_TRUE(matchPattern("", ""));
    EXPECT_FALSE(matchPattern("", "a"));
    EXPECT_FALSE(matchPattern("[ab]", "a"));
    EXPECT_TRUE(matchPattern("[ab]", "[ab]"));
}

TEST(MatchPattern, StarMeetingAStarInTheNameIsTakenLiterally) {
    EXPECT_FALSE(matchPattern("a*", "a*b"));
    EXPECT_TRUE(matchPattern("a*", "a*"));
    EXPECT_TRUE(matchPattern("a*", "ab*"));  // taken as a wildcard before the name's star
    EXPECT_TRUE(matchPattern("*b", "a*b"));
}

TEST(MatchPattern, BacktrackingEndsOnLongInputs) {
    const std::string name(4000, 'a');
    EXPECT_FALSE(matchPattern("*a*a*a*a*b", name));
    EXPECT_TRUE(matchPattern("*a*a*a*a*", name));
}

}  // namespace
}  // namespace vk::tool
