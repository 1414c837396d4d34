#include "a2l/characteristic.h"

#include <array>

#include "a2l/field_reader.h"
#include "a2l/object_fields.h"

namespace vk::a2l {

namespace {

CharacteristicType parseCharacteristicType(const std::string& word) {
    static constexpr std::array<std::string_view, 8> kKeywords = {"VALUE",  "CURVE",  "MAP",     "CUBOID",
                                                                  "CUBE_4", "CUBE_5", "VAL_BLK", "ASCII"};
    for (std::size_t i = 0; i < kKeywords.size(); ++i) {
        if (word == kKeywords[i]) return static_cast<CharacteristicType>(i);
    }
    throw ObjectError{"unknown characteristic type '" + word + "'"};
}

AxisDescr parseAxisDescr(const Block& block) {
    AxisDescr axis;
    FieldReader reader(block);
    axis.attribute = reader.word("attribute");
    axis.inputQuantity = reader.word("input quantity");
    axis.conversion = reader.word("conversion");
    axis.maxAxisPoints = reader.count<std::uint16_t>("max axis points");
    axis.lowerLimit = reader.number("lower limit");
    axis.upperLimit = reader.number("upper limit");
    axis.axisPtsRef = textAfterKeyword(block, reader.index, "AXIS_PTS_REF");
    return axis;
}

std::optional<std::pair<double, double>> readExtendedLimits(const Block& block, std::uint64_t start) {
    const std::uint64_t i = indexAfterKeyword(block, start, "EXTENDED_LIMITS");
    if (i == kNoIndex || block.tokens.size() - i < 2) return std::nullopt;
    const Token& lower = block.tokens[i];
    const Token& upper = block.tokens[i + 1];
    if (lower.kind != TokenKind::Number || upper.kind != TokenKind::Number) return std::nullopt;
    return std::pair{lower.number, upper.number};
}

}  // namespace

Characteristic parseCharacteristic(const Block& block) {
    Characteristic c;
    FieldReader reader(block);
    c.name = reader.word("name");
    c.longIdentifier = reader.string("long identifier");
    c.type = parseCharacteristicType(reader.word("type"));
    c.address = readAddressField(reader);
    c.deposit = reader.word("deposit");
    c.maxDiff = reader.number("max diff");
    c.conversion = reader.word("conversion");
    c.lowerLimit = reader.number("lower limit");
    c.upperLimit = reader.number("upper limit");
    const std::uint64_t p = reader.index;

    c.ecuAddressExtension = readAddressExtension(block, p);
    c.bitMask = readBitMask(block, p);
    c.byteOrder = readByteOrder(reader);
    c.extendedLimits = readExtendedLimits(block, p);
    c.elementCount = readElementCount(block, p, "NUMBER");
    c.displayIdentifier = textAfterKeyword(block, p, "DISPLAY_IDENTIFIER");
    c.format = textAfterKeyword(block, p, "FORMAT");
    c.physUnit = textAfterKeyword(block, p, "PHYS_UNIT");
    c.stepSize = numberAfterKeyword(block, p, "STEP_SIZE");
    c.readOnly = indexAfterKeyword(block, p, "READ_ONLY") != kNoIndex;
    for (const Block& child : block.children) {
        if (child.name == "AXIS_DESCR") c.axisDescrs.push_back(parseAxisDescr(child));
    }
    return c;
}

}  // namespace vk::a2l
