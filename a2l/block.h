// The /begin ... /end block tree of an A2L text: each block keeps its own tokens,
// its nested blocks and the byte offsets of its keywords, which the in-place updater
// edits by. Names and token texts are views into the source text.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "a2l/lexer.h"
#include "a2l/token.h"
#include "foundation/result.h"

namespace vk::a2l {

struct Block {
    std::string_view name;             // empty for the root
    std::vector<Token> tokens;         // own tokens only, in text order
    std::vector<Block> children;       // nested blocks in text order, A2ML excepted
    std::uint32_t line = 0;            // line of the "/" of "/begin"; 0 for the root
    std::uint64_t beginOffset = 0;     // the "/" of "/begin"
    std::uint64_t endOffset = 0;       // the "/" of "/end"
    std::uint64_t afterEndOffset = 0;  // just past the name after "/end"

    // The first direct child of that name (case-sensitive), or null.
    const Block* child(std::string_view childName) const;
};

// Deeper nesting is refused with an error, so that no walker over a tree can run
// out of stack; real files nest about ten levels.
inline constexpr std::uint32_t kMaxBlockDepth = 256;

// Takes the children of chosen blocks one at a time, each as soon as its "/end" is
// read, so that a reader of a large block never holds all of its children at once.
class ChildSink {
public:
    // Asked as each block but the root opens (name, line and beginOffset set, no
    // tokens yet), with its depth: 1 for the root's children. True hands the block's
    // children to take() instead of keeping them in its children.
    virtual bool claims(const Block& block, std::uint32_t depth) = 0;
    // A complete child of a claimed block, dropped when this returns. The claimed
    // block's own tokens are not yet known.
    virtual void take(const Block& child) = 0;

protected:
    ~ChildSink() = default;
};

// The root block of the text, or the first lexical or structural error.
Result<Block> parseTree(std::string_view text);
// The same, with the children of the blocks that the sink claims handed to it.
Result<Block> parseTree(std::string_view text, ChildSink& sink);

// Reads lexemes into the block until its own "/end" (for the root: the end of the
// input), nesting the blocks it meets and skipping A2ML blocks raw. The block's
// name, line and beginOffset are set by the caller.
Result<Empty> parseBlockBody(Lexer& lexer, Block& block);

}  // namespace vk::a2l
