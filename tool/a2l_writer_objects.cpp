// MEASUREMENTs and CHARACTERISTICs: one per item, with limits from the data
// type scaled by factor and offset, narrowed for bit fields and
// enumerations, and overridden by an entry's "min" and "max".
#include <algorithm>
#include <bit>
#include <cmath>
#include <stdexcept>
#include <utility>

#include "elf/flatten.h"
#include "tool/a2l_datatype.h"
#include "tool/a2l_format.h"
#include "tool/a2l_writer.h"

namespace vk::tool {
namespace {

struct Limits {
    double lower = 0;
    double upper = 0;
};

void order(Limits& limits) {
    if (limits.lower > limits.upper) std::swap(limits.lower, limits.upper);
}

void requireFinite(const A2lItem& item, const char* which, double value) {
    if (!std::isfinite(value)) {
        throw std::runtime_error(item.name + ": " + which + " limit " + formatNumber(value) +
                                 " is not a finite number");
    }
}

// A field of a signed data type holds an n-bit two's-complement value, n
// the bits of `width`; its sign bit is the field's top bit, not the type's.
Limits signedFieldLimits(std::uint64_t width, double factor, double offset) {
    if (width == 0) return {offset, offset};
    const double half = std::ldexp(1.0, static_cast<int>(std::bit_width(width)) - 1);
    return {-half * factor + offset, (half - 1) * factor + offset};
}

Limits itemLimits(const A2lItem& item, const vk::elf::TypeInfo* type) {
    const double factor = item.entry->value("factor", 1.0);
    const double offset = item.entry->value("offset", 0.0);
    Limits limits{item.lower * factor + offset, item.upper * factor + offset};
    order(limits);
    if (item.isBitField) {
        const std::uint64_t width = item.bitMask == 0 ? 0 : item.bitMask >> std::countr_zero(item.bitMask);
        const bool isSigned = item.lower < 0;  // the data type's range holds negative values
        limits = isSigned ? signedFieldLimits(width, factor, offset)
                          : Limits{offset, static_cast<double>(width) * factor + offset};
        order(limits);
    }
    if (type != nullptr && type->kind == vk::elf::TypeKind::Enum && !type->enumerators.empty()) {
        const auto [low, high] = enumeratorRange(*type);
        limits = {low, high};
    }
    limits.lower = item.entry->value("min", limits.lower);
    limits.upper = item.entry->value("max", limits.upper);
    requireFinite(item, "lower", limits.lower);
    requireFinite(item, "upper", limits.upper);
    return limits;
}

std::string bitMaskLine(const A2lItem& item) {
    return item.isBitField ? "      BIT_MASK " + hexDigits(item.bitMask, 2) + "\n" : std::string();
}

void writeMeasurement(std::string& out, const A2lItem& item, const std::string& description,
                      const Limits& limits, const VariableList& list) {
    const std::uint16_t event =
        eventIndexFromJson(memberOrNull(*item.entry, "event"), list.events, list.defaultEvent);
    out += "    /begin MEASUREMENT " + item.identifier + " " + vk::tool::quoted(description) + "\n";
    out += "      " + item.dataType + " CM_" + item.identifier + " 0 0 " + formatNumber(limits.lower) + " " +
           formatNumber(limits.upper) + "\n";
    out += "      ECU_ADDRESS " + hexAddress(item.address) + "\n";
    out += bitMaskLine(item);
    if (item.entry->value("writable", false)) out += "      READ_WRITE\n";
    if (!list.events.empty()) {
        out += "      /begin IF_DATA XCP\n";
        out += "        /begin DAQ_EVENT FIXED_EVENT_LIST EVENT " + hexDigits(event, 4) + " /end DAQ_EVENT\n";
        out += "      /end IF_DATA\n";
    }
    out += "    /end MEASUREMENT\n";
}

void writeCharacteristic(std::string& out, const A2lItem& item, const std::string& description,
                         const Limits& limits) {
    out += "    /begin CHARACTERISTIC " + item.identifier + " " + vk::tool::quoted(description) + "\n";
    out += "      VALUE " + hexAddress(item.address) + " RL_" + item.dataType + " 0 CM_" + item.identifier +
           " " + formatNumber(limits.lower) + " " + formatNumber(limits.upper) + "\n";
    out += bitMaskLine(item);
    out += "    /end CHARACTERISTIC\n";
}

}  // namespace

void writeObjects(std::string& out, const std::vector<A2lItem>& items, const VariableList& list,
                  const vk::elf::DebugInfo& debug, GeneratedA2l& result) {
    for (const A2lItem& item : items) {
        const Limits limits = itemLimits(item, itemType(item, debug));
        const auto description = item.entry->find("description");
        const std::string text = description != item.entry->end() ? description->get<std::string>()
                                                                  : vk::elf::typeName(debug, item.type);
        if (item.entry->value("parameter", false)) {
            writeCharacteristic(out, item, text, limits);
            ++result.parameterCount;
        } else {
            writeMeasurement(out, item, text, limits, list);
            ++result.measurementCount;
        }
    }
}

}  // namespace vk::tool
