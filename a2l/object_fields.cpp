#include "a2l/object_fields.h"

#include "a2l/truncate.h"

namespace vk::a2l {

std::uint8_t readAddressExtension(const Block& block, std::uint64_t start) {
    const std::optional<double> value = numberAfterKeyword(block, start, "ECU_ADDRESS_EXTENSION");
    return value ? low8(*value) : 0;
}

std::optional<std::uint64_t> readBitMask(const Block& block, std::uint64_t start) {
    const std::uint64_t i = indexAfterKeyword(block, start, "BIT_MASK");
    if (i >= block.tokens.size() || block.tokens[i].kind != TokenKind::Number) return std::nullopt;
    return unsignedValue(block.tokens[i]);
}

std::uint32_t readElementCount(const Block& block, std::uint64_t start, std::string_view countKeyword) {
    std::uint32_t count = 1;
    if (const std::optional<double> value = numberAfterKeyword(block, start, countKeyword))
        count = low32(*value);
    std::uint64_t i = indexAfterKeyword(block, start, "MATRIX_DIM");
    if (i == kNoIndex) return count;
    std::uint32_t product = 1;
    for (; i < block.tokens.size() && block.tokens[i].kind == TokenKind::Number; ++i) {
        // A zero dimension stands for an unused one, not for an empty object.
        const std::uint32_t factor = low32(block.tokens[i].number);
        product *= factor == 0 ? 1 : factor;
    }
    return product;
}

std::uint32_t readAddressField(FieldReader& reader) {
    const double value = reader.number("address");
    if (!isNonNegativeWhole(value)) throw ObjectError{"address must be a non-negative integer"};
    return low32(value);
}

}  // namespace vk::a2l
