// AXIS_PTS objects: axis point tables shared by curves and maps. The module
// walker reads them with readAxisPts under its own skip guard.
#pragma once

#include <cstdint>
#include <string>

#include "a2l/block.h"

namespace vk::a2l {

struct AxisPts {
    std::string name;
    std::string longIdentifier;
    std::uint32_t address = 0;
    std::uint8_t ecuAddressExtension = 0;
    std::string inputQuantity;
    std::string deposit;
    std::string conversion;
    std::uint16_t maxAxisPoints = 0;
    double lowerLimit = 0;
    double upperLimit = 0;
};

// Throws ObjectError for a bad AXIS_PTS.
AxisPts readAxisPts(const Block& block);

}  // namespace vk::a2l
