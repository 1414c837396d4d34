#include "a2l/field_reader.h"

#include <cmath>

#include "a2l/truncate.h"

namespace vk::a2l {

namespace {

// Takes the next token, counting it as read even when the caller then rejects it.
const Token& take(FieldReader& reader, std::string_view field) {
    if (reader.index >= reader.block->tokens.size()) throw ObjectError{"missing " + std::string(field)};
    return reader.block->tokens[reader.index++];
}

}  // namespace

std::string FieldReader::word(std::string_view field) {
    const Token& token = take(*this, field);
    if (token.kind == TokenKind::String) throw ObjectError{std::string(field) + " must not be a string"};
    return std::string(token.text);
}

std::string FieldReader::string(std::string_view field) {
    const Token& token = take(*this, field);
    if (token.kind != TokenKind::String) throw ObjectError{std::string(field) + " must be a string"};
    return unescape(token.text);
}

double FieldReader::number(std::string_view field) {
    const Token& token = take(*this, field);
    if (token.kind != TokenKind::Number) {
        throw ObjectError{std::string(field) + " must be a number, got '" + std::string(token.text) + "'"};
    }
    return token.number;
}

template <typename Width>
Width FieldReader::count(std::string_view field) {
    const double value = number(field);
    if (!(value >= 0) || std::trunc(value) != value) {
        throw ObjectError{std::string(field) + " must be a non-negative integer"};
    }
    return static_cast<Width>(truncateToInt32(value));
}

template std::uint16_t FieldReader::count<std::uint16_t>(std::string_view field);
template std::uint8_t FieldReader::count<std::uint8_t>(std::string_view field);

}  // namespace vk::a2l
