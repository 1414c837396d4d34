#include "a2l/lexer.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "a2l/char_classes.h"

namespace vk::a2l {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::uint32_t countLineFeeds(std::string_view text, std::uint64_t from, std::uint64_t to) {
    return static_cast<std::uint32_t>(std::count(text.data() + from, text.data() + to, '\n'));
}

// Offset of the "*" of the "*/" closing a block comment whose "/*" stands at
// start, or npos. The "*" must stand two bytes after the "/" at least, so that
// "/*/" does not close itself.
std::size_t findCommentEnd(std::string_view text, std::size_t start) {
    std::size_t at = start + 2;
    while (at + 1 < text.size()) {
        const void* star = std::memchr(text.data() + at, '*', text.size() - 1 - at);
        if (star == nullptr) return std::string_view::npos;
        at = static_cast<std::size_t>(static_cast<const char*>(star) - text.data());
        if (text[at + 1] == '/') return at;
        ++at;
    }
    return std::string_view::npos;
}

// Whitespace and both kinds of comment; an error only for an unclosed "/*".
Result<Empty> skipTrivia(Lexer& lexer) {
    const std::string_view text = lexer.text;
    while (lexer.pos < text.size()) {
        const char c = text[lexer.pos];
        if (isSpace(c)) {
            if (c == '\n') ++lexer.line;
            ++lexer.pos;
            continue;
        }
        if (c != '/' || lexer.pos + 1 >= text.size()) break;
        const char after = text[lexer.pos + 1];
        if (after == '/') {
            const void* lf = std::memchr(text.data() + lexer.pos, '\n', text.size() - lexer.pos);
            lexer.pos = lf == nullptr ? text.size() : static_cast<const char*>(lf) - text.data();
        } else if (after == '*') {
            const std::size_t star = findCommentEnd(text, lexer.pos);
            if (star == std::string_view::npos) return lexError(lexer, "unterminated comment");
            lexer.line += countLineFeeds(text, lexer.pos, star);
            lexer.pos = star + 2;
        } else {
            break;
        }
    }
    return Empty{};
}

std::uint64_t wordEnd(std::string_view text, std::uint64_t pos) {
    while (pos < text.size() && isWordChar(text[pos])) ++pos;
    return pos;
}

// The keyword at pos, if it stands there whole (not followed by a word character).
bool keywordAt(std::string_view text, std::uint64_t pos, std::string_view keyword) {
    if (text.substr(pos, keyword.size()) != keyword) return false;
    const std::uint64_t after = pos + keyword.size();
    return after >= text.size() || !isWordChar(text[after]);
}

Result<Lexeme> blockKeyword(Lexer& lexer, LexemeKind kind, std::size_t keywordLength) {
    Lexeme lexeme;
    lexeme.kind = kind;
    lexeme.line = lexer.line;
    lexeme.keywordOffset = lexer.pos;
    lexer.pos += keywordLength;
    if (auto skipped = skipTrivia(lexer); !skipped.ok()) return skipped.error();
    const std::uint64_t end = wordEnd(lexer.text, lexer.pos);
    if (end == lexer.pos) return lexError(lexer, "keyword expected after /begin or /end");
    lexeme.name = lexer.text.substr(lexer.pos, end - lexer.pos);
    lexeme.nameEnd = end;
    lexer.pos = end;
    return lexeme;
}

Result<Lexeme> quotedString(Lexer& lexer) {
    const std::string_view text = lexer.text;
    const std::uint32_t line = lexer.line;
    const std::uint64_t start = ++lexer.pos;
    std::uint64_t at = start;
    while (at < text.size()) {
        const char c = text[at];
        if (c == '"') {
            // Two quotes stand for one inside the string, as other tools write it.
            if (at + 1 >= text.size() || text[at + 1] != '"') break;
            ++at;
        } else if (c == '\\' && at + 1 < text.size()) {
            ++at;
            if (text[at] == '\n') ++lexer.line;
        } else if (c == '\n') {
            ++lexer.line;
        }
        ++at;
    }
    if (at >= text.size()) {
        lexer.pos = text.size();
        return lexError(lexer, "unterminated string");
    }
    lexer.pos = at + 1;
    Lexeme lexeme;
    lexeme.kind = LexemeKind::Token;
    lexeme.token = Token{TokenKind::String, text.substr(start, at - start), 0, line};
    lexeme.line = line;
    return lexeme;
}

Lexeme tokenLexeme(const Token& token) {
    Lexeme lexeme;
    lexeme.kind = LexemeKind::Token;
    lexeme.token = token;
    lexeme.line = token.line;
    return lexeme;
}

}  // namespace

Lexer::Lexer(std::string_view source) : text(source) {
    if (source.substr(0, kByteOrderMark.size()) == kByteOrderMark) pos = kByteOrderMark.size();
}

Result<Lexeme> Lexer::next() {
    if (auto skipped = skipTrivia(*this); !skipped.ok()) return skipped.error();
    if (pos >= text.size()) {
        Lexeme lexeme;
        lexeme.line = line;
        return lexeme;
    }
    const char c = text[pos];
    if (c == '/') {
        if (keywordAt(text, pos, "/begin")) return blockKeyword(*this, LexemeKind::Begin, 6);
        if (keywordAt(text, pos, "/end")) return blockKeyword(*this, LexemeKind::End, 4);
    } else if (c == '"') {
        return quotedString(*this);
    } else if (isWordChar(c)) {
        const std::uint64_t end = wordEnd(text, pos);
        const Token token = classifyWord(text.substr(pos, end - pos), line);
        pos = end;
        return tokenLexeme(token);
    }
    const Token token{TokenKind::Word, text.substr(pos, 1), 0, line};
    ++pos;
    return tokenLexeme(token);
}

Error lexError(const Lexer& lexer, std::string_view text) {
    std::string message = "A2L line " + std::to_string(lexer.line) + ": ";
    message += text;
    return makeError(ErrorCode::InvalidArgument, std::move(message));
}

}  // namespace vk::a2l
