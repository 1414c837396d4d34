// Cuts A2L text into lexemes: plain tokens, "/begin" and "/end" with their block
// names and byte offsets, and the end of the input. Single pass over the bytes, no
// allocation per token: every text is a view into the source, which must outlive it.
#pragma once

#include <cstdint>
#include <string_view>

#include "a2l/token.h"
#include "foundation/error.h"
#include "foundation/result.h"

namespace vk::a2l {

enum class LexemeKind : std::uint32_t {
    Token = 0,
    Begin = 1,  // "/begin" NAME
    End = 2,    // "/end" NAME
    EndOfInput = 3,
};

struct Lexeme {
    LexemeKind kind = LexemeKind::EndOfInput;
    Token token;            // for LexemeKind::Token only
    std::string_view name;  // block name of Begin and End
    // Line of the lexeme's first byte (the "/" of a keyword); for EndOfInput the
    // current line.
    std::uint32_t line = 0;
    std::uint64_t keywordOffset = 0;  // Begin, End: offset of the keyword's "/"
    std::uint64_t nameEnd = 0;        // Begin, End: offset just past the name
};

// Offsets count from the first byte of the text, a byte order mark included.
struct Lexer {
    // Starts at offset 3 when the text begins with the UTF-8 byte order mark.
    explicit Lexer(std::string_view source);

    // The next lexeme or a lexical error; EndOfInput repeats once reached. After
    // an error the lexer is not to be used any more.
    Result<Lexeme> next();

    std::string_view text;
    std::uint64_t pos = 0;   // next unread byte
    std::uint32_t line = 1;  // grows at every LF passed
};

// An invalid-argument error reading "A2L line " + the lexer's line + ": " + text.
Error lexError(const Lexer& lexer, std::string_view text);

}  // namespace vk::a2l
