// CHARACTERISTIC objects: the calibratable parameters of a module, with
// their record layout, limits and the axes (AXIS_DESCR) of curves and maps.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "a2l/block.h"
#include "a2l/data_types.h"

namespace vk::a2l {

enum class CharacteristicType : std::uint8_t {
    Value = 0,
    Curve = 1,
    Map = 2,
    Cuboid = 3,
    Cube4 = 4,
    Cube5 = 5,
    ValBlk = 6,
    Ascii = 7,
};

struct AxisDescr {
    std::string attribute;
    std::string inputQuantity;
    std::string conversion;
    std::uint16_t maxAxisPoints = 0;
    double lowerLimit = 0;
    double upperLimit = 0;
    std::string axisPtsRef;
};

struct Characteristic {
    std::string name;
    std::string longIdentifier;
    CharacteristicType type{};
    std::uint32_t address = 0;
    std::uint8_t ecuAddressExtension = 0;
    std::string deposit;
    double maxDiff = 0;
    std::string conversion;
    double lowerLimit = 0;
    double upperLimit = 0;
    std::optional<std::pair<double, double>> extendedLimits;
    std::optional<std::uint64_t> bitMask;
    std::optional<ByteOrder> byteOrder;
    std::uint32_t elementCount = 1;
    std::string displayIdentifier;
    std::string format;
    std::string physUnit;
    std::optional<double> stepSize;
    bool readOnly = false;
    std::vector<AxisDescr> axisDescrs;
};

// Throws ObjectError for a bad CHARACTERISTIC, also for a bad AXIS_DESCR.
Characteristic parseCharacteristic(const Block& block);

}  // namespace vk::a2l
