// The whole-name wildcard match of list mode and the generator's selection.
#include "tool/pattern.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// Against its definition: some name that begins with the prefix matches.
TEST(PrefixCanMatch, WhenSomeLongerNameMatches) {
    std::vector<std::string> words{""};
    for (std::size_t begin = 0, length = 1; length <= 4; ++length) {
        const std::size_t end = words.size();
        for (std::size_t w = begin; w < end; ++w)
            for (char c : {'a', 'b', '*', '?'}) words.push_back(words[w] + c);
        begin = end;
    }
    const auto plain = [](const std::string& w) { return w.find_first_of("*?") == std::string::npos; };
    for (const std::string& pattern : words) {
        for (const std::string& prefix : words) {
            if (!plain(prefix)) continue;
            bool some = false;
            for (const std::string& rest : words)
                some = some || (plain(rest) && matchPattern(pattern, prefix + rest));
            EXPECT_EQ(prefixCanMatch(pattern, prefix), some) << pattern << " " << prefix;
        }
    }
    EXPECT_TRUE(prefixCanMatch("log_buf[2999999]", "log_buf[2"));
    EXPECT_FALSE(prefixCanMatch("log_buf[2999999]", "log_buf[0]"));
    EXPECT_FALSE(prefixCanMatch("cal_map*", "frame_buf_00"));
    EXPECT_TRUE(prefixCanMatch("x", "op*"));  // a star in the name: looked under
}

}  // namespace
}  // namespace vk::tool
