#include "a2l/axis_pts.h"

#include "a2l/field_reader.h"
#include "a2l/object_fields.h"

namespace vk::a2l {

AxisPts readAxisPts(const Block& block) {
    AxisPts axis;
    FieldReader reader(block);
    axis.name = reader.word("name");
    axis.longIdentifier = reader.string("long identifier");
    axis.address = readAddressField(reader);
    axis.inputQuantity = reader.word("input quantity");
    axis.deposit = reader.word("deposit");
    reader.number("max diff");
    axis.conversion = reader.word("conversion");
    axis.maxAxisPoints = reader.count<std::uint16_t>("max axis points");
    axis.lowerLimit = reader.number("lower limit");
    axis.upperLimit = reader.number("upper limit");
    axis.ecuAddressExtension = readAddressExtension(block, reader.index);
    return axis;
}

}  // namespace vk::a2l
