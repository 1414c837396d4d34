// What the updater's checks need from the object model of the A2L text's first
// MODULE, kept apart so that the model itself, about twice the size of the text,
// is released right after it was read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "a2l/module.h"

namespace vk::tool {

// A conversion from raw to physical values that is a straight line:
// physical = factor * raw + offset.
struct LinearConversion {
    double factor = 1;
    double offset = 0;
};

class ModelFacts {
public:
    explicit ModelFacts(const vk::a2l::Module& module);

    const std::string& moduleName() const { return moduleName_; }
    // The module's BYTE_ORDER in MOD_COMMON, when it has one.
    std::optional<vk::a2l::ByteOrder> byteOrder() const { return byteOrder_; }
    // The first COMPU_METHOD of that name, when it is a straight line; a verbal
    // table's limits are raw values, so it counts as the identity.
    std::optional<LinearConversion> linearConversion(std::string_view compuMethod) const;

    // Whether the first MEASUREMENT of that name describes several elements
    // (ARRAY_SIZE or MATRIX_DIM).
    bool isArray(std::string_view measurement) const;
    // Whether the first CHARACTERISTIC of that name is of type VALUE.
    bool isValue(std::string_view characteristic) const;
    // The FNC_VALUES data type of the first RECORD_LAYOUT of that name, when it
    // has FNC_VALUES.
    std::optional<vk::a2l::DataType> fncValuesType(std::string_view recordLayout) const;

private:
    std::string moduleName_;
    std::optional<vk::a2l::ByteOrder> byteOrder_;
    std::unordered_map<std::string, LinearConversion> linearConversions_;
    std::unordered_set<std::string> arrays_;
    std::unordered_set<std::string> values_;
    std::unordered_map<std::string, vk::a2l::DataType> fncValuesTypes_;
};

}  // namespace vk::tool
