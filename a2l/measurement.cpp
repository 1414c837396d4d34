#include "a2l/measurement.h"

#include "a2l/field_reader.h"
#include "a2l/object_fields.h"
#include "a2l/truncate.h"

namespace vk::a2l {

namespace {

bool isXcpIfData(const Block& block) {
    return block.name == "IF_DATA" && !block.tokens.empty() &&
           (block.tokens.front().text == "XCP" || block.tokens.front().text == "XCPplus");
}

}  // namespace

Measurement parseMeasurement(const Block& block) {
    Measurement m;
    FieldReader reader(block);
    m.name = reader.word("name");
    m.longIdentifier = reader.string("long identifier");
    m.dataType = parseDataType(reader.word("data type"));
    m.conversion = reader.word("conversion");
    reader.number("resolution");
    reader.number("accuracy");
    m.lowerLimit = reader.number("lower limit");
    m.upperLimit = reader.number("upper limit");
    const std::uint64_t p = reader.index;

    // Unlike the positional addresses of other objects, a negative or
    // fractional ECU_ADDRESS is not refused: it is only narrowed.
    if (const std::optional<double> address = numberAfterKeyword(block, p, "ECU_ADDRESS")) {
        m.ecuAddress = low32(*address);
    }
    m.ecuAddressExtension = readAddressExtension(block, p);
    m.bitMask = readBitMask(block, p);
    m.byteOrder = readByteOrder(reader);
    m.elementCount = readElementCount(block, p, "ARRAY_SIZE");
    m.displayIdentifier = textAfterKeyword(block, p, "DISPLAY_IDENTIFIER");
    m.format = textAfterKeyword(block, p, "FORMAT");
    m.physUnit = textAfterKeyword(block, p, "PHYS_UNIT");
    m.readWrite = indexAfterKeyword(block, p, "READ_WRITE") != kNoIndex;
    for (const Block& child : block.children) {
        if (isXcpIfData(child)) collectDaqEvents(child, m.events);
    }
    return m;
}

}  // namespace vk::a2l
