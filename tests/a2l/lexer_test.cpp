#include "a2l/lexer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace vk::a2l {
namespace {

// Every lexeme up to and including EndOfInput; fails the test on a lexical error.
std::vector<Lexeme> lexAll(std::string_view text) {
    Lexer lexer(text);
    std::vector<Lexeme> out;
    for (;;) {
        auto next = lexer.next();
        if (!next.ok()) {
            ADD_FAILURE() << "unexpected error: " << next.error().message();
            return out;
        }
        out.push_back(next.value());
        if (out.back().kind == LexemeKind::EndOfInput) return out;
    }
}

// The message of the first lexical error, or "" when the text lexes cleanly.
std::string lexErrorOf(std::string_view text) {
    Lexer lexer(text);
    for (;;) {
        auto next = lexer.next();
        if (!next.ok()) {
            EXPECT_EQ(next.error().code, ErrorCode::InvalidArgument);
            EXPECT_EQ(next.error().systemError, 0);
            return next.error().message();
        }
        if (next.value().kind == LexemeKind::EndOfInput) return "";
    }
}

Token onlyToken(std::string_view text) {
    const auto lexemes = lexAll(text);
    EXPECT_EQ(lexemes.size(), 2u) << text;
    EXPECT_EQ(lexemes[0].kind, LexemeKind::Token) << text;
    return lexemes[0].token;
}

TEST(LexerTrivia, EmptyInputsEndAtOnceCountingLineFeeds) {
    struct Case {
        std::string_view text;
        std::uint32_t line;
    };
    for (const Case& c : {Case{"", 1}, Case{" \t\v\f\r\n\n", 3}, Case{"// a\n/* b\n c */", 3},
                          Case{"\xEF\xBB\xBF", 1}, Case{"\xEF\xBB\xBF\n", 2}}) {
        const auto lexemes = lexAll(c.text);
        ASSERT_EQ(lexemes.size(), 1u) << c.text;
        EXPECT_EQ(lexemes[0].kind, LexemeKind::EndOfInput);
        EXPECT_EQ(lexemes[0].line, c.line) << c.text;
    }
}

TEST(LexerTrivia, EndOfInputRepeats) {
    Lexer lexer("x");
    for (LexemeKind expected : {LexemeKind::Token, LexemeKind::EndOfInput, LexemeKind::EndOfInput}) {
        auto next = lexer.next();
        ASSERT_TRUE(next.ok());
        EXPECT_EQ(next.value().kind, expected);
    }
}

TEST(LexerTrivia, BlockCommentCloseNeedsItsOwnStar) {
    // "/*/" does not close itself; "/**/" is a whole comment.
    auto lexemes = lexAll("/*/ x */ y /**/ z");
    ASSERT_EQ(lexemes.size(), 3u);
    EXPECT_EQ(lexemes[0].token.text, "y");
    EXPECT_EQ(lexemes[1].token.text, "z");
    EXPECT_EQ(lexErrorOf("a\n/*/"), "A2L line 2: unterminated comment");
    EXPECT_EQ(lexErrorOf("a\n/*"), "A2L line 2: unterminated comment");
    // The line feeds inside the unclosed comment are not counted.
    EXPECT_EQ(lexErrorOf("/* \n\n\n *"), "A2L line 1: unterminated comment");
}

TEST(LexerTrivia, LinesCountThroughCommentsAndStrings) {
    const auto lexemes = lexAll("a // c\nb /* \n\n */ c \"s\n\\\nt\" d\r\ne");
    ASSERT_EQ(lexemes.size(), 7u);
    const std::uint32_t lines[] = {1, 2, 4, 4, 6, 7};
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(lexemes[i].token.line, lines[i]) << i;
    EXPECT_EQ(lexemes[6].line, 7u);
}

TEST(LexerTrivia, WordsEndAtSlashAndQuote) {
    const auto lexemes = lexAll("abc//x\nab\"q\"/");
    ASSERT_EQ(lexemes.size(), 5u);
    EXPECT_EQ(lexemes[0].token.text, "abc");
    EXPECT_EQ(lexemes[1].token.text, "ab");
    EXPECT_EQ(lexemes[2].token.kind, TokenKind::String);
    EXPECT_EQ(lexemes[2].token.text, "q");
    EXPECT_EQ(lexemes[3].token.text, "/");  // a final lone slash is a word
}

TEST(LexerTokens, OtherBytesAreOneByteWords) {
    const auto lexemes = lexAll("a\\b^`\x01\xC3\xA4");
    std::vector<std::string_view> texts;
    for (const auto& l : lexemes) {
        if (l.kind == LexemeKind::Token) {
            EXPECT_EQ(l.token.kind, TokenKind::Word);
            texts.push_back(l.token.text);
        }
    }
    EXPECT_EQ(texts, (std::vector<std::string_view>{"a", "\\", "b", "^", "`", "\x01", "\xC3", "\xA4"}));
}

TEST(LexerTokens, StringsKeepRawBytesAndTheirOpeningLine) {
    const auto lexemes = lexAll("\"x\n\\\"y\n\xC3\xA4\tz\" next");
    ASSERT_EQ(lexemes.size(), 3u);
    const Token& s = lexemes[0].token;
    EXPECT_EQ(s.kind, TokenKind::String);
    EXPECT_EQ(s.text, "x\n\\\"y\n\xC3\xA4\tz");
    EXPECT_EQ(s.line, 1u);
    EXPECT_EQ(s.number, 0);
    EXPECT_EQ(unescape(s.text), "x\n\"y\n\xC3\xA4\tz");
    EXPECT_EQ(lexemes[1].token.line, 3u);
}

TEST(LexerTokens, UnterminatedStringReportsTheLastLine) {
    EXPECT_EQ(lexErrorOf("a \"b\n\nc"), "A2L line 3: unterminated string");
    EXPECT_EQ(lexErrorOf("\"ends in backslash\\"), "A2L line 1: unterminated string");
    EXPECT_EQ(lexErrorOf("\"escaped quote\\\""), "A2L line 1: unterminated string");
}

TEST(LexerTokens, DoubledQuotesStayInsideTheString) {
    // Other tools write a quote inside a string as two quotes.
    std::vector<std::string> texts;
    for (const Lexeme& l :
         lexAll("\"Pressure \"\"chamber\"\" 03\" \"\"\"\" \"\"\"a\"\"\"\n\"\" \"a\" \"b\" \"\"\n0")) {
        if (l.kind == LexemeKind::Token)
            texts.push_back(unescape(l.token.text) + "|" + std::to_string(l.token.line));
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"Pressure \"chamber\" 03|1", "\"|1", "\"a\"|1", "|2", "a|2",
                                               "b|2", "|2", "0|3"}));
    EXPECT_EQ(onlyToken("\"two\nlines \"\"\n\"\"\"").text, "two\nlines \"\"\n\"\"");
    EXPECT_EQ(lexErrorOf("\"abc\"\""), "A2L line 1: unterminated string");
    EXPECT_EQ(lexErrorOf("x \"a\"\"\nb"), "A2L line 2: unterminated string");
}

TEST(LexerTokens, Unescape) {
    EXPECT_EQ(unescape("a\\tb"), "a\tb");
    EXPECT_EQ(unescape("\\r\\n\\q\\\\"), "\r\nq\\");
    EXPECT_EQ(unescape("end\\"), "end\\");
    EXPECT_EQ(unescape(""), "");
    EXPECT_EQ(unescape("say \"\"hi\"\" \\\"\""), "say \"hi\" \"\"");
}

struct Classified {
    std::string_view text;
    TokenKind kind;
    double number;
};

TEST(LexerClassification, NumbersAndWords) {
    const Classified cases[] = {
        {"-5", TokenKind::Number, -5},
        {"+5", TokenKind::Number, 5},
        {"+", TokenKind::Word, 0},
        {"-", TokenKind::Word, 0},
        {"+-1", TokenKind::Word, 0},
        {"-+1", TokenKind::Word, 0},
        {"0x1F", TokenKind::Number, 31},
        {"-0x10", TokenKind::Number, -16},
        {"+0X10", TokenKind::Number, 16},
        {"0X00000000000000000001", TokenKind::Number, 1},
        {"0xFFFFFFFFFFFFFFFF", TokenKind::Number, 18446744073709551616.0},
        {"0x0000FFFFFFFFFFFFFFFF", TokenKind::Number, 18446744073709551616.0},
        {"0x10000000000000000", TokenKind::Word, 0},
        {"0x", TokenKind::Word, 0},
        {"0xG1", TokenKind::Word, 0},
        {"0x1G", TokenKind::Word, 0},
        {"0x1.5", TokenKind::Word, 0},
        {".5", TokenKind::Number, 0.5},
        {"-.5", TokenKind::Number, -0.5},
        {"+.5", TokenKind::Number, 0.5},
        {"5.", TokenKind::Number, 5},
        {".", TokenKind::Word, 0},
        {".x", TokenKind::Word, 0},
        {"1e5", TokenKind::Number, 100000},
        {"1E+05", TokenKind::Number, 100000},
        {"2.5e-3", TokenKind::Number, 0.0025},
        {"1e999", TokenKind::Word, 0},
        {"1e-999", TokenKind::Word, 0},
        {"-1e999", TokenKind::Word, 0},
        {"0e-999", TokenKind::Number, 0},
        {"1.7976931348623157e308", TokenKind::Number, 1.7976931348623157e308},
        {"inf", TokenKind::Word, 0},
        {"nan", TokenKind::Word, 0},
        {"-inf", TokenKind::Word, 0},
        {"infinity", TokenKind::Word, 0},
        {"12ab", TokenKind::Word, 12},
        {"1.5.2", TokenKind::Word, 1.5},
        {"5-3", TokenKind::Word, 5},
        {"-1e", TokenKind::Word, -1},
        {"1e+", TokenKind::Word, 1},
        {"1e999x", TokenKind::Word, 0},
        {"_1", TokenKind::Word, 0},
        {"[0]", TokenKind::Word, 0},
        {"a.b[1]", TokenKind::Word, 0},
    };
    for (const Classified& c : cases) {
        const Token token = onlyToken(c.text);
        EXPECT_EQ(token.text, c.text);
        EXPECT_EQ(token.kind, c.kind) << c.text;
        EXPECT_EQ(token.number, c.number) << c.text;
    }
}

TEST(LexerClassification, SubnormalsAreNumbers) {
    // Only a non-zero literal that rounds to zero underflows.
    const Token token = onlyToken("4.9e-324");
    EXPECT_EQ(token.kind, TokenKind::Number);
    EXPECT_GT(token.number, 0);
    EXPECT_EQ(onlyToken("1e-330").kind, TokenKind::Word);
}

TEST(LexerKeywords, BeginAndEndWithNamesAndOffsets) {
    const std::string_view text = "/begin /* c */ M\n/end\n\n  M";
    const auto lexemes = lexAll(text);
    ASSERT_EQ(lexemes.size(), 3u);
    EXPECT_EQ(lexemes[0].kind, LexemeKind::Begin);
    EXPECT_EQ(lexemes[0].name, "M");
    EXPECT_EQ(lexemes[0].keywordOffset, 0u);
    EXPECT_EQ(lexemes[0].nameEnd, 16u);
    EXPECT_EQ(lexemes[1].kind, LexemeKind::End);
    EXPECT_EQ(lexemes[1].line, 2u);  // the keyword's line, not the name's
    EXPECT_EQ(lexemes[1].keywordOffset, 17u);
    EXPECT_EQ(lexemes[1].nameEnd, text.size());
    EXPECT_EQ(lexemes[2].line, 4u);
}

TEST(LexerKeywords, OffsetsIncludeTheByteOrderMark) {
    const auto lexemes = lexAll("\xEF\xBB\xBF/begin A");
    EXPECT_EQ(lexemes[0].keywordOffset, 3u);
    EXPECT_EQ(lexemes[0].nameEnd, 11u);
}

TEST(LexerKeywords, NearMissesAreASlashWord) {
    const auto lexemes = lexAll("/beginX /END /end_1 /");
    std::vector<std::string_view> texts;
    for (const auto& l : lexemes) {
        if (l.kind == LexemeKind::Token) texts.push_back(l.token.text);
    }
    EXPECT_EQ(texts, (std::vector<std::string_view>{"/", "beginX", "/", "END", "/", "end_1", "/"}));
}

TEST(LexerKeywords, NameMayLookLikeANumber) {
    const auto lexemes = lexAll("/begin 0x10");
    EXPECT_EQ(lexemes[0].kind, LexemeKind::Begin);
    EXPECT_EQ(lexemes[0].name, "0x10");
}

TEST(LexerKeywords, MissingNameErrors) {
    EXPECT_EQ(lexErrorOf("/begin   "), "A2L line 1: keyword expected after /begin or /end");
    EXPECT_EQ(lexErrorOf("/begin \"A\""), "A2L line 1: keyword expected after /begin or /end");
    EXPECT_EQ(lexErrorOf("/end\n// c\n/x"), "A2L line 3: keyword expected after /begin or /end");
    EXPECT_EQ(lexErrorOf("/begin\n/* \n"), "A2L line 2: unterminated comment");
}

TEST(LexerRobustness, ArbitraryBytesAlwaysProgress) {
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> byte(0, 255);
    const std::string_view alphabet = "/*\"\\\n x0.-+e";
    for (int round = 0; round < 2000; ++round) {
        std::string text(static_cast<std::size_t>(byte(random) % 40), '\0');
        for (char& c : text) {
            const int b = byte(random);
            c = b < 128 ? alphabet[static_cast<std::size_t>(b) % alphabet.size()] : static_cast<char>(b);
        }
        Lexer lexer(text);
        for (std::size_t steps = 0; steps <= text.size() + 1; ++steps) {
            const std::uint64_t before = lexer.pos;
            auto next = lexer.next();
            if (!next.ok() || next.value().kind == LexemeKind::EndOfInput) break;
            ASSERT_GT(lexer.pos, before);
            ASSERT_LE(lexer.pos, text.size());
        }
    }
}

}  // namespace
}  // namespace vk::a2l
