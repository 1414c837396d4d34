// The objects of an A2L text whose tokens the in-place updater may rewrite
// (MEASUREMENT, CHARACTERISTIC, AXIS_PTS), with the byte position of each of
// those tokens, and the conversion and layout blocks by name. Reads fixed token
// positions of the block tree only and never fails on a malformed object.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "a2l/block.h"
#include "foundation/result.h"

namespace vk::a2l {

// Where one token stands in the indexed text; (-1, 0) when absent. For a quoted
// string it covers the bytes between the quotes.
struct TokenSpan {
    std::int64_t offset = -1;
    std::uint64_t length = 0;

    bool present() const { return offset >= 0; }
};

enum class ObjectKind : std::uint8_t {
    Measurement = 0,
    Characteristic = 1,
    AxisPts = 2,
};

struct SourceIndex {
    struct Object {
        // The small fields first, together, so that no padding comes between them.
        ObjectKind kind = ObjectKind::Measurement;
        bool limitsAreNumbers = false;  // both limit tokens are numbers
        bool hasBitMask = false;
        std::uint32_t address = 0;  // as written; 0 without an address token
        std::string name;
        TokenSpan addressToken;
        // MEASUREMENT and CHARACTERISTIC: the number after the first BIT_MASK
        // that follows the positional fields, exact to the last bit.
        std::uint64_t bitMask = 0;
        std::string dataTypeOrDeposit;   // MEASUREMENT: data type; others: deposit
        std::string characteristicType;  // CHARACTERISTIC only, e.g. "VALUE"
        TokenSpan dataTypeToken;         // MEASUREMENT only
        std::string longIdentifier;      // raw, escapes unresolved
        std::string conversion;
        TokenSpan conversionToken;
        TokenSpan lowerLimitToken;
        TokenSpan upperLimitToken;
        std::uint64_t blockBegin = 0;  // the "/" of "/begin"
        std::uint64_t blockEnd = 0;    // just past the name after "/end"
    };

    struct Definition {
        std::string keyword;  // COMPU_METHOD, COMPU_VTAB, COMPU_VTAB_RANGE or RECORD_LAYOUT
        std::string name;
        std::uint64_t blockBegin = 0;
        std::uint64_t blockEnd = 0;
    };

    // A file named by "/include": its path as written (the bytes between the
    // quotes, or the unquoted run of tokens) and the offset of its "/".
    struct Include {
        std::string file;
        std::uint64_t offset = 0;
    };

    std::vector<Object> objects;                  // in the text order of their "/begin"
    std::vector<Definition> definitions;          // likewise
    std::vector<Include> includes;                // in text order
    std::string moduleName;                       // of the first MODULE only
    std::uint64_t moduleEnd = ~std::uint64_t{0};  // its "/end"; all ones without a MODULE
};

// The objects of the text; fails only with the lexer's or block tree's error.
Result<std::vector<SourceIndex::Object>> scanSource(std::string_view text);

Result<SourceIndex> buildSourceIndex(std::string_view text);

// Indexes `block` and, depth first, everything below it except IF_DATA blocks.
// `origin` is the first byte of the indexed text, from which offsets count.
void indexBlock(const char* origin, const Block& block, SourceIndex& index);

}  // namespace vk::a2l
