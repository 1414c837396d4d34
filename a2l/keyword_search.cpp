
#include "a2l/field_reader.h"
#include "a2l/truncate.h"

namespace vk::a2l {

std::uint64_t indexAfterKeyword(const Block& block, std::uint64_t start, std::string_view keyword) {
    for (std::uint64_t i = start; i < block.tokens.size(); ++i) {
        if (block.tokens[i].is(keyword)) return i + 1;
    }
    return kNoIndex;
}

namespace {

// The token after the first match, or null when there is none.
const Token* tokenAfterKeyword(const Block& block, std::uint64_t start, std::string_view keyword) {
    const std::uint64_t i = indexAfterKeyword(block, start, keyword);
    return i < block.tokens.size() ? &block.tokens[i] : nullptr;
}

}  // namespace

std::optional<double> numberAfterKeyword(const Block& block, std::uint64_t start, std::string_view keyword) {
    const Token* token = tokenAfterKeyword(block, start, keyword);
    if (token == nullptr || token->kind != TokenKind::Number) return std::nullopt;
    return token->number;
}

std::optional<std::uint32_t> intAfterKeyword(const Block& block, std::string_view keyword) {
    const std::optional<double> value = numberAfterKeyword(block, 0, keyword);
    if (!value) return std::nullopt;
    return static_cast<std::uint32_t>(truncateToInt64(*value));
}

std::string textAfterKeyword(const Block& block, std::uint64_t start, std::string_view keyword) {
    const Token* token = tokenAfterKeyword(block, start, keyword);
    if (token == nullptr) return {};
    if (token->kind == TokenKind::String) return unescape(token->text);
    return std::string(token->text);
}

std::optional<ByteOrder> readByteOrder(const FieldReader& reader) {
    const Token* token = tokenAfterKeyword(*reader.block, reader.index, "BYTE_ORDER");
    if (token == nullptr) return std::nullopt;
    if (token->text == "MSB_LAST" || token->text == "BIG_ENDIAN") return ByteOrder::MsbLast;
    if (token->text == "MSB_FIRST" || token->text == "LITTLE_ENDIAN") return ByteOrder::MsbFirst;
    return std::nullopt;
}

void collectDaqEvents(const Block& block, std::vector<std::uint16_t>& events) {
    const std::vector<Token>& tokens = block.tokens;
    for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
        if (tokens[i].is("EVENT") && tokens[i + 1].kind == TokenKind::Number) {
            events.push_back(static_cast<std::uint16_t>(truncateToInt32(tokens[i + 1].number)));
        }
    }
    // The tree's depth limit bounds this recursion.
    for (const Block& child : block.children) {
        if (child.name == "DAQ_EVENT" || child.name == "FIXED_EVENT_LIST" || child.name == "IF_DATA") {
            collectDaqEvents(child, events);
        }
    }
}

}  // namespace vk::a2l
