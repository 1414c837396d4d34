#include "tool/json_number.h"

#include <stdexcept>

namespace vk::tool {
namespace {

// The number as the list would write it; the parser admits no NaN or
// infinity, but a value built in code can hold them.
std::string numberText(const nlohmann::json& value, double number) {
    if (std::isnan(number)) return "nan";
    if (std::isinf(number)) return number > 0 ? "inf" : "-inf";
    return value.dump();
}

}  // namespace

void throwOutOfRange(const std::string& what, const std::string& value, IntegerRange range) {
    throw std::runtime_error(what + " " + value + " is out of range " + std::to_string(range.low) + " to " +
                             std::to_string(range.high));
}

void checkFloatFits(const nlohmann::json& value, double low, double highExclusive, const std::string& what,
                    IntegerRange range) {
    if (!value.is_number_float()) return;
    const double number = value.get<double>();
    const double truncated = std::trunc(number);
    // Written so that NaN fails too.
    if (!(truncated >= low && truncated < highExclusive))
        throwOutOfRange(what, numberText(value, number), range);
}

}  // namespace vk::tool
