#include "a2l/block.h"

#include <algorithm>
#include <string>

namespace vk::a2l {

namespace {

constexpr std::string_view kA2ml = "A2ML";

bool isA2mlBlank(char c) {
    return c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

// A2ML is a grammar, not A2L text, so it is passed over without lexing: the block
// ends at the first "/end" that blanks and "A2ML" follow, wherever it stands.
Result<Empty> skipA2ml(Lexer& lexer) {
    const std::string_view text = lexer.text;
    std::uint64_t counted = lexer.pos;  // line feeds before this offset are in lexer.line
    std::uint64_t from = lexer.pos;
    while (from < text.size()) {
        const std::size_t end = text.find("/end", from);
        if (end == std::string_view::npos) break;
        lexer.line += static_cast<std::uint32_t>(std::count(text.data() + counted, text.data() + end, '\n'));
        counted = end;
        std::uint64_t at = end + 4;
        while (at < text.size() && isA2mlBlank(text[at])) ++at;
        if (text.substr(at, kA2ml.size()) == kA2ml) {
            lexer.line +=
                static_cast<std::uint32_t>(std::count(text.data() + counted, text.data() + at, '\n'));
            lexer.pos = at + kA2ml.size();
            return Empty{};
        }
        from = end + 4;
    }
    return lexError(lexer, "missing /end A2ML");
}

// The messages are built out of line, to keep the frame of the recursive body
// reader small.
Error tooDeep(const Lexer& lexer, std::string_view name) {
    return lexError(lexer, "/begin " + std::string(name) + " nested deeper than " +
                               std::to_string(kMaxBlockDepth) + " levels");
}

Error endMismatch(const Lexer& lexer, const Block& block, std::string_view endName) {
    if (block.name.empty()) return lexError(lexer, "unexpected /end " + std::string(endName));
    return lexError(lexer, "/end " + std::string(endName) + " does not match /begin " +
                               std::string(block.name) + " (line " + std::to_string(block.line) + ")");
}

Error missingEnd(const Lexer& lexer, const Block& block) {
    return lexError(lexer, "missing /end " + std::string(block.name) + " for block at line " +
                               std::to_string(block.line));
}

Result<Empty> parseBody(Lexer& lexer, Block& block, std::uint32_t depth) {
    for (;;) {
        auto next = lexer.next();
        if (!next.ok()) return next.error();
        const Lexeme& lexeme = next.value();
        switch (lexeme.kind) {
            case LexemeKind::Token:
                block.tokens.push_back(lexeme.token);
                break;
            case LexemeKind::Begin: {
                if (lexeme.name == kA2ml) {
                    if (auto skipped = skipA2ml(lexer); !skipped.ok()) return skipped;
                    break;
                }
                if (depth >= kMaxBlockDepth) return tooDeep(lexer, lexeme.name);
                Block& child = block.children.emplace_back();
                child.name = lexeme.name;
                child.line = lexeme.line;
                child.beginOffset = lexeme.keywordOffset;
                if (auto nested = parseBody(lexer, child, depth + 1); !nested.ok()) return nested;
                break;
            }
            case LexemeKind::End:
                // The root has no name, so no /end can close it.
                if (lexeme.name != block.name || block.name.empty())
                    return endMismatch(lexer, block, lexeme.name);
                block.endOffset = lexeme.keywordOffset;
                block.afterEndOffset = lexeme.nameEnd;
                return Empty{};
            case LexemeKind::EndOfInput:
                if (block.name.empty()) return Empty{};
                return missingEnd(lexer, block);
        }
    }
}

}  // namespace

const Block* Block::child(std::string_view childName) const {
    for (const Block& c : children) {
        if (c.name == childName) return &c;
    }
    return nullptr;
}

Result<Empty> parseBlockBody(Lexer& lexer, Block& block) {
    return parseBody(lexer, block, 0);
}

Result<Block> parseTree(std::string_view text) {
    Lexer lexer(text);
    Block root;
    auto body = parseBlockBody(lexer, root);
    if (!body.ok()) return body.error();
    return root;
}

}  // namespace vk::a2l
