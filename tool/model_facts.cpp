#include "tool/model_facts.h"

namespace vk::tool {

namespace {

// RAT_FUNC gives raw = (a*p*p + b*p + c) / (d*p*p + e*p + f) for physical p; it
// is a line when a, d and e are 0.
std::optional<LinearConversion> linear(const vk::a2l::CompuMethod& method) {
    using vk::a2l::ConversionType;
    switch (method.conversionType) {
        case ConversionType::Identical:
        case ConversionType::TabVerb:
            return LinearConversion{};
        case ConversionType::Linear:
            return LinearConversion{method.coeffsLinear[0], method.coeffsLinear[1]};
        case ConversionType::RatFunc: {
            const auto& [a, b, c, d, e, f] = method.coeffs;
            if (a != 0 || d != 0 || e != 0 || b == 0 || f == 0) return std::nullopt;
            return LinearConversion{f / b, -c / b};
        }
        default:
            return std::nullopt;
    }
}

}  // namespace

// Each lookup of the module finds the first object of a name; only that one counts.
ModelFacts::ModelFacts(const vk::a2l::Module& module)
    : moduleName_(module.name), byteOrder_(module.byteOrder) {
    for (const auto& method : module.compuMethods) {
        const std::optional<LinearConversion> line = linear(method);
        if (line && module.findCompuMethod(method.name) == &method)
            linearConversions_.emplace(method.name, *line);
    }
    for (const auto& m : module.measurements) {
        if (m.elementCount != 1 && module.findMeasurement(m.name) == &m) arrays_.insert(m.name);
    }
    for (const auto& c : module.characteristics) {
        if (c.type == vk::a2l::CharacteristicType::Value && module.findCharacteristic(c.name) == &c)
            values_.insert(c.name);
    }
    for (const auto& layout : module.recordLayouts) {
        if (layout.fncValues && module.findRecordLayout(layout.name) == &layout)
            fncValuesTypes_.emplace(layout.name, layout.fncValues->dataType);
    }
}

bool ModelFacts::isArray(std::string_view measurement) const {
    return arrays_.count(std::string(measurement)) != 0;
}

bool ModelFacts::isValue(std::string_view characteristic) const {
    return values_.count(std::string(characteristic)) != 0;
}

std::optional<vk::a2l::DataType> ModelFacts::fncValuesType(std::string_view recordLayout) const {
    auto it = fncValuesTypes_.find(std::string(recordLayout));
    if (it == fncValuesTypes_.end()) return std::nullopt;
    return it->second;
}

std::optional<LinearConversion> ModelFacts::linearConversion(std::string_view compuMethod) const {
    auto it = linearConversions_.find(std::string(compuMethod));
    if (it == linearConversions_.end()) return std::nullopt;
    return it->second;
}

}  // namespace vk::tool
