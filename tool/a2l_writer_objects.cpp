// MEASUREMENTs and CHARACTERISTICs: one per item, with limits from the data
// type scaled by factor and offset (unless the conversion is verbal),
// narrowed for bit fields and enumerations, and overridden by an entry's
// "min" and "max".
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

// The limits as written, with what they were computed from.
struct ObjectLimits {
    Limits limits;
    Limits range;             // what the integer data type or bit field holds, in the limits' units
    bool lowerGiven = false;  // by "min"
    bool upperGiven = false;  // by "max"
    bool isFloat = false;     // its nominal range lies well inside what the type holds

    // A computed integer limit stays inside the range also when rounded for the text.
    std::string text(double limit, bool given) const {
        return given || isFloat ? formatNumber(limit) : formatNumberWithin(limit, range.lower, range.upper);
    }
    std::string lowerText() const { return text(limits.lower, lowerGiven); }
    std::string upperText() const { return text(limits.upper, upperGiven); }
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

// The entry's number under `key` into `limit`, when it has one.
bool given(const Json& entry, const char* key, double& limit) {
    const auto found = entry.find(key);
    if (found == entry.end()) return false;
    limit = found->get<double>();
    return true;
}

// The values of the data type, or of the bit field, through the conversion.
Limits scaledRange(const A2lItem& item, double factor, double offset) {
    Limits limits{item.lower * factor + offset, item.upper * factor + offset};
    order(limits);
    if (item.isBitField) {
        const std::uint64_t width = item.bitMask == 0 ? 0 : item.bitMask >> std::countr_zero(item.bitMask);
        const bool isSigned = item.lower < 0;  // the data type's range holds negative values
        limits = isSigned ? signedFieldLimits(width, factor, offset)
                          : Limits{offset, static_cast<double>(width) * factor + offset};
        order(limits);
    }
    return limits;
}

ObjectLimits itemLimits(const A2lItem& item, const vk::elf::TypeInfo* type, bool verbal) {
    double factor = item.entry->value("factor", 1.0);
    double offset = item.entry->value("offset", 0.0);
    if (verbal) {
        // A verbal conversion maps raw values to texts; it uses neither.
        factor = 1.0;
        offset = 0.0;
    }
    ObjectLimits result;
    result.isFloat = item.isFloat;
    result.range = scaledRange(item, factor, offset);
    result.limits = result.range;
    if (type != nullptr && type->kind == vk::elf::TypeKind::Enum && !type->enumerators.empty()) {
        const auto [low, high] = enumeratorRange(*type);
        result.limits = {low, high};
        result.range = scaledRange(item, 1.0, 0.0);  // enumerator values are raw values
    }
    Limits& limits = result.limits;
    result.lowerGiven = given(*item.entry, "min", limits.lower);
    result.upperGiven = given(*item.entry, "max", limits.upper);
    requireFinite(item, "lower", limits.lower);
    requireFinite(item, "upper", limits.upper);
    return result;
}

std::string bitMaskLine(const A2lItem& item) {
    return item.isBitField ? "      BIT_MASK " + hexDigits(item.bitMask, 2) + "\n" : std::string();
}

void writeMeasurement(std::string& out, const A2lItem& item, const std::string& description,
                      const ObjectLimits& limits, const VariableList& list, ListWarnings& warnings) {
    const std::uint16_t event =
        eventIndexFromJson(memberOrNull(*item.entry, "event"), list.events, list.defaultEvent);
    if (!list.events.empty() && event >= list.events.size()) {
        warnings.add(*item.entry, ListWarnings::kUndeclaredEvent,
                     "event " + std::to_string(event) + " is not among the " +
                         std::to_string(list.events.size()) + " events declared");
    }
    out += "    /begin MEASUREMENT " + item.identifier + " " + vk::tool::quoted(description) + "\n";
    out += "      " + item.dataType + " CM_" + item.identifier + " 0 0 " + limits.lowerText() + " " +
           limits.upperText() + "\n";
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
                         const ObjectLimits& limits) {
    out += "    /begin CHARACTERISTIC " + item.identifier + " " + vk::tool::quoted(description) + "\n";
    out += "      VALUE " + hexAddress(item.address) + " RL_" + item.dataType + " 0 CM_" + item.identifier +
           " " + limits.lowerText() + " " + limits.upperText() + "\n";
    out += bitMaskLine(item);
    out += "    /end CHARACTERISTIC\n";
}

}  // namespace

void writeObjects(std::string& out, const std::vector<A2lItem>& items, const std::vector<bool>& verbal,
                  const VariableList& list, const vk::elf::DebugInfo& debug, GeneratedA2l& result,
                  ListWarnings& warnings) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        const A2lItem& item = items[i];
        const ObjectLimits limits = itemLimits(item, itemType(item, debug), verbal[i]);
        if (limits.limits.lower > limits.limits.upper) {
            warnings.add(*item.entry, ListWarnings::kCrossedLimits,
                         "lower limit " + limits.lowerText() + " above upper limit " + limits.upperText() +
                             ", first for " + item.name);
        }
        const auto description = item.entry->find("description");
        const std::string text = description != item.entry->end() ? description->get<std::string>()
                                                                  : vk::elf::typeName(debug, item.type);
        if (item.entry->value("parameter", false)) {
            writeCharacteristic(out, item, text, limits);
            ++result.parameterCount;
        } else {
            writeMeasurement(out, item, text, limits, list, warnings);
            ++result.measurementCount;
        }
    }
}

}  // namespace vk::tool
