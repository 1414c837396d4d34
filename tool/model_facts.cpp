#include "tool/model_facts.h"

namespace vk::tool {

// Each lookup of the module finds the first object of a name; only that one counts.
ModelFacts::ModelFacts(const vk::a2l::Module& module) {
    for (const auto& m : module.measurements) {
        if (m.bitMask && module.findMeasurement(m.name) == &m) bitMasks_.emplace(m.name, *m.bitMask);
    }
    for (const auto& c : module.characteristics) {
        if (c.type == vk::a2l::CharacteristicType::Value && module.findCharacteristic(c.name) == &c)
            values_.insert(c.name);
    }
    for (const auto& layout : module.recordLayouts) {
        if (layout.fncValues && module.findRecordLayout(layout.name) == &layout)
            fncValuesSizes_.emplace(layout.name, vk::a2l::dataTypeSize(layout.fncValues->dataType));
    }
}

std::optional<std::uint64_t> ModelFacts::bitMask(std::string_view measurement) const {
    auto it = bitMasks_.find(std::string(measurement));
    if (it == bitMasks_.end()) return std::nullopt;
    return it->second;
}

bool ModelFacts::isValue(std::string_view characteristic) const {
    return values_.count(std::string(characteristic)) != 0;
}

std::optional<std::uint64_t> ModelFacts::fncValuesSize(std::string_view recordLayout) const {
    auto it = fncValuesSizes_.find(std::string(recordLayout));
    if (it == fncValuesSizes_.end()) return std::nullopt;
    return it->second;
}

}  // namespace vk::tool
