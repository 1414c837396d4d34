// RECORD_LAYOUT objects: where the values, axis points and axis point count
// of a calibration object lie and in which data type. Only the items the
// updater and the model need are read; other layout keywords are ignored.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "a2l/block.h"
#include "a2l/data_types.h"

namespace vk::a2l {

struct Module;

struct LayoutItem {
    std::uint16_t position = 0;
    DataType dataType{};
};

struct RecordLayout {
    std::string name;
    std::optional<LayoutItem> fncValues;
    std::optional<LayoutItem> axisPtsX;
    std::optional<LayoutItem> noAxisPtsX;
    std::optional<std::uint16_t> fixNoAxisPtsX;
    std::string fncValuesIndexMode;
};

// Appends the layout to the module's recordLayouts, or the skip warning to
// warnings when the layout is bad.
void parseRecordLayout(const Block& block, std::vector<std::string>& warnings, Module& module);

}  // namespace vk::a2l
