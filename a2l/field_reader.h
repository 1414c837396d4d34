// Tools of the A2L object readers: a cursor over the positional fields of a block,
// whose messages name the offending field, and the searches for optional keywords
// among a block's own tokens. Failures throw ObjectError, which ends one object only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "a2l/block.h"
#include "a2l/data_types.h"
#include "a2l/object_error.h"

namespace vk::a2l {

struct FieldReader {
    explicit FieldReader(const Block& source) : block(&source) {}

    // Each read consumes one token, also when it throws. The field name is used
    // only in messages.
    std::string word(std::string_view field);    // any token but a string, raw text
    std::string string(std::string_view field);  // a string token, unescaped
    double number(std::string_view field);       // a number token
    // A whole number not below 0 (infinity passes), truncated to 32 signed bits of
    // which the low bits of Width are kept; Width is std::uint16_t or std::uint8_t.
    template <typename Width>
    Width count(std::string_view field);

    const Block* block;       // must outlive the reader
    std::uint64_t index = 0;  // next token; after the fields, where keyword searches start
};

extern template std::uint16_t FieldReader::count<std::uint16_t>(std::string_view field);
extern template std::uint8_t FieldReader::count<std::uint8_t>(std::string_view field);

// Keyword searches: a keyword matches only a word token of exactly its text, and only
// the first match at or after the start index counts. None of them throws.

inline constexpr std::uint64_t kNoIndex = ~std::uint64_t{0};

// Index just after the first match (the token count when it is the last token), or
// kNoIndex when there is none or start is not below the token count.
std::uint64_t indexAfterKeyword(const Block& block, std::uint64_t start, std::string_view keyword);

// The token after the first match when it is a number.
std::optional<double> numberAfterKeyword(const Block& block, std::uint64_t start, std::string_view keyword);

// The number after the first match from token 0, truncated to 64 signed bits of which
// the low 32 are kept (NaN and magnitudes of 2^63 or more give 0).
std::optional<std::uint32_t> intAfterKeyword(const Block& block, std::string_view keyword);

// The token after the first match, unescaped when it is a string, raw otherwise;
// empty when there is none.
std::string textAfterKeyword(const Block& block, std::uint64_t start, std::string_view keyword);

// The value after the first BYTE_ORDER at or after the reader's index.
std::optional<ByteOrder> readByteOrder(const FieldReader& reader);

// Appends the number after every EVENT word of the block's own tokens (low 16 bits of
// its 32-bit truncation), then does the same in the DAQ_EVENT, FIXED_EVENT_LIST and
// IF_DATA children, recursively and in order.
void collectDaqEvents(const Block& block, std::vector<std::uint16_t>& events);

}  // namespace vk::a2l
