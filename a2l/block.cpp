#include "a2l/block.h"

#include <algorithm>
#include <cstddef>
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

// One pass over the text. The own tokens of the open blocks wait in one shared
// stack and each block takes a copy of exactly its own when it closes: per-block
// vectors grown token by token would hold up to twice the tokens they keep.
struct TreeBuilder {
    Lexer& lexer;
    ChildSink* sink = nullptr;
    std::vector<Token> pending;  // own tokens of the open blocks, innermost last
};

void keepTokens(TreeBuilder& builder, Block& block, std::size_t first) {
    const auto from = builder.pending.begin() + static_cast<std::ptrdiff_t>(first);
    block.tokens.assign(from, builder.pending.end());
    builder.pending.erase(from, builder.pending.end());
}

Result<Empty> parseBody(TreeBuilder& builder, Block& block, std::uint32_t depth, bool claimed) {
    Lexer& lexer = builder.lexer;
    const std::size_t firstToken = builder.pending.size();
    for (;;) {
        auto next = lexer.next();
        if (!next.ok()) return next.error();
        const Lexeme& lexeme = next.value();
        switch (lexeme.kind) {
            case LexemeKind::Token:
                builder.pending.push_back(lexeme.token);
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
                const bool childClaimed = builder.sink != nullptr && builder.sink->claims(child, depth + 1);
                if (auto nested = parseBody(builder, child, depth + 1, childClaimed); !nested.ok())
                    return nested;
                if (claimed) {
                    builder.sink->take(child);
                    block.children.pop_back();
                }
                break;
            }
            case LexemeKind::End:
                // The root has no name, so no /end can close it.
                if (lexeme.name != block.name || block.name.empty())
                    return endMismatch(lexer, block, lexeme.name);
                keepTokens(builder, block, firstToken);
                block.endOffset = lexeme.keywordOffset;
                block.afterEndOffset = lexeme.nameEnd;
                return Empty{};
            case LexemeKind::EndOfInput:
                if (!block.name.empty()) return missingEnd(lexer, block);
                keepTokens(builder, block, firstToken);
                return Empty{};
        }
    }
}

Result<Block> buildTree(std::string_view text, ChildSink* sink) {
    Lexer lexer(text);
    TreeBuilder builder{lexer, sink, {}};
    Block root;
    auto body = parseBody(builder, root, 0, false);
    if (!body.ok()) return body.error();
    return root;
}

}  // namespace

const Block* Block::child(std::string_view childName) const {
    for (const Block& c : children) {
        if (c.name == childName) return &c;
    }
    return nullptr;
}

Result<Empty> parseBlockBody(Lexer& lexer, Block& block) {
    TreeBuilder builder{lexer, nullptr, {}};
    return parseBody(builder, block, 0, false);
}

Result<Block> parseTree(std::string_view text) {
    return buildTree(text, nullptr);
}

Result<Block> parseTree(std::string_view text, ChildSink& sink) {
    return buildTree(text, &sink);
}

}  // namespace vk::a2l
