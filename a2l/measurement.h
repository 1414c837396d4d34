// MEASUREMENT objects: the readable variables of a module with their data
// type, limits, ECU address and the DAQ events their IF_DATA XCP blocks name.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "a2l/block.h"
#include "a2l/data_types.h"

namespace vk::a2l {

struct Measurement {
    std::string name;
    std::string longIdentifier;
    DataType dataType{};
    std::string conversion;
    double lowerLimit = 0;
    double upperLimit = 0;
    std::optional<std::uint32_t> ecuAddress;
    std::uint8_t ecuAddressExtension = 0;
    std::optional<std::uint64_t> bitMask;
    std::optional<ByteOrder> byteOrder;
    std::uint32_t elementCount = 1;
    std::string displayIdentifier;
    std::string format;
    std::string physUnit;
    bool readWrite = false;
    std::vector<std::uint16_t> events;
};

// Throws ObjectError for a bad MEASUREMENT.
Measurement parseMeasurement(const Block& block);

}  // namespace vk::a2l
