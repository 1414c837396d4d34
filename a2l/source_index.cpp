#include "a2l/source_index.h"

#include <algorithm>
#include <utility>

#include "a2l/truncate.h"

namespace vk::a2l {
namespace {

TokenSpan spanOf(const char* origin, const Token& token) {
    return TokenSpan{static_cast<std::int64_t>(token.text.data() - origin), token.text.size()};
}

std::string textOf(const Token& token) {
    return std::string(token.text);
}

bool isDefinition(std::string_view name) {
    return name == "COMPU_METHOD" || name == "COMPU_VTAB" || name == "COMPU_VTAB_RANGE" ||
           name == "RECORD_LAYOUT";
}

// The first ECU_ADDRESS word followed by a number, looked for from token 4 on so
// that the name, long identifier and data type are never taken for the keyword.
void findEcuAddress(const char* origin, const std::vector<Token>& tokens, SourceIndex::Object& object) {
    for (std::size_t i = 4; i < tokens.size(); ++i) {
        if (tokens[i - 1].is("ECU_ADDRESS") && tokens[i].kind == TokenKind::Number) {
            object.address = low32(tokens[i].number);
            object.addressToken = spanOf(origin, tokens[i]);
            return;
        }
    }
}

// As the object reader finds it: the first BIT_MASK word after the positional
// fields, when a number follows it.
void findBitMask(const std::vector<Token>& tokens, std::size_t fields, SourceIndex::Object& object) {
    for (std::size_t i = fields; i + 1 < tokens.size(); ++i) {
        if (!tokens[i].is("BIT_MASK")) continue;
        object.hasBitMask = tokens[i + 1].kind == TokenKind::Number;
        if (object.hasBitMask) object.bitMask = unsignedValue(tokens[i + 1]);
        return;
    }
}

bool indexMeasurement(const char* origin, const std::vector<Token>& t, SourceIndex::Object& object) {
    if (t.size() < 3) return false;
    object.kind = ObjectKind::Measurement;
    object.dataTypeOrDeposit = textOf(t[2]);
    object.dataTypeToken = spanOf(origin, t[2]);
    if (t.size() >= 8) {
        object.conversion = textOf(t[3]);
        object.conversionToken = spanOf(origin, t[3]);
        object.lowerLimitToken = spanOf(origin, t[6]);
        object.upperLimitToken = spanOf(origin, t[7]);
        object.limitsAreNumbers = t[6].kind == TokenKind::Number && t[7].kind == TokenKind::Number;
        findBitMask(t, 8, object);
    }
    if (t.size() >= 5) findEcuAddress(origin, t, object);
    return true;
}

bool indexCharacteristic(const char* origin, const std::vector<Token>& t, SourceIndex::Object& object) {
    if (t.size() < 5 || t[3].kind != TokenKind::Number) return false;
    object.kind = ObjectKind::Characteristic;
    object.characteristicType = textOf(t[2]);
    object.address = low32(t[3].number);
    object.addressToken = spanOf(origin, t[3]);
    object.dataTypeOrDeposit = textOf(t[4]);
    if (t.size() >= 9) {
        object.conversion = textOf(t[6]);
        object.conversionToken = spanOf(origin, t[6]);
        object.lowerLimitToken = spanOf(origin, t[7]);
        object.upperLimitToken = spanOf(origin, t[8]);
        findBitMask(t, 9, object);
    }
    return true;
}

bool indexAxisPts(const char* origin, const std::vector<Token>& t, SourceIndex::Object& object) {
    if (t.size() < 5 || t[2].kind != TokenKind::Number) return false;
    object.kind = ObjectKind::AxisPts;
    object.address = low32(t[2].number);
    object.addressToken = spanOf(origin, t[2]);
    object.dataTypeOrDeposit = textOf(t[4]);
    return true;
}

bool isSlash(const Token& token) {
    return token.kind == TokenKind::Word && token.text.size() == 1 && token.text[0] == '/';
}

bool touches(const Token& before, const Token& after) {
    return before.text.data() + before.text.size() == after.text.data();
}

// The lexer gives "/include" as the words "/" and "include". An unquoted path
// is cut into several tokens at its slashes and other odd bytes; it runs as
// long as they touch.
void findIncludes(const char* origin, const std::vector<Token>& t, SourceIndex& index) {
    for (std::size_t i = 0; i + 2 < t.size(); ++i) {
        if (!isSlash(t[i]) || !t[i + 1].is("include") || !touches(t[i], t[i + 1])) continue;
        std::size_t last = i + 2;
        if (t[last].kind != TokenKind::String) {
            while (last + 1 < t.size() && t[last + 1].kind != TokenKind::String &&
                   touches(t[last], t[last + 1]))
                ++last;
        }
        const char* begin = t[i + 2].text.data();
        const char* end = t[last].text.data() + t[last].text.size();
        index.includes.push_back(SourceIndex::Include{std::string(begin, end),
                                                      static_cast<std::uint64_t>(t[i].text.data() - origin)});
        i = last;
    }
}

void indexObject(const char* origin, const Block& block, SourceIndex& index) {
    SourceIndex::Object object;
    bool recorded = false;
    if (block.name == "MEASUREMENT") {
        recorded = indexMeasurement(origin, block.tokens, object);
    } else if (block.name == "CHARACTERISTIC") {
        recorded = indexCharacteristic(origin, block.tokens, object);
    } else if (block.name == "AXIS_PTS") {
        recorded = indexAxisPts(origin, block.tokens, object);
    }
    if (!recorded) return;
    // Every kind needs at least five tokens, except a MEASUREMENT with three.
    object.name = textOf(block.tokens[0]);
    object.longIdentifier = textOf(block.tokens[1]);
    object.blockBegin = block.beginOffset;
    object.blockEnd = block.afterEndOffset;
    index.objects.push_back(std::move(object));
}

}  // namespace

void indexBlock(const char* origin, const Block& block, SourceIndex& index) {
    if (block.name == "MODULE" && index.moduleEnd == ~std::uint64_t{0}) {
        index.moduleName = block.tokens.empty() ? std::string() : textOf(block.tokens[0]);
        index.moduleEnd = block.endOffset;
    }
    if (isDefinition(block.name) && !block.tokens.empty()) {
        index.definitions.push_back(SourceIndex::Definition{std::string(block.name), textOf(block.tokens[0]),
                                                            block.beginOffset, block.afterEndOffset});
    }
    indexObject(origin, block, index);
    findIncludes(origin, block.tokens, index);
    // Another tool's IF_DATA may hold blocks named like ours that are not objects.
    // The tree's depth is bounded by the block reader, so recursion is safe.
    for (const Block& child : block.children) {
        if (child.name != "IF_DATA") indexBlock(origin, child, index);
    }
}

Result<SourceIndex> buildSourceIndex(std::string_view text) {
    Result<Block> tree = parseTree(text);
    if (!tree.ok()) return tree.error();
    SourceIndex index;
    indexBlock(text.data(), tree.value(), index);
    // A block's own tokens are read before its children, which may stand between them.
    std::sort(
        index.includes.begin(), index.includes.end(),
        [](const SourceIndex::Include& a, const SourceIndex::Include& b) { return a.offset < b.offset; });
    return index;
}

Result<std::vector<SourceIndex::Object>> scanSource(std::string_view text) {
    Result<SourceIndex> index = buildSourceIndex(text);
    if (!index.ok()) return index.error();
    return std::move(index.value().objects);
}

}  // namespace vk::a2l
