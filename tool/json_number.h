// Integer values of the variable list. The JSON library's own conversion is
// kept, except for a floating-point number whose integer part the target type
// cannot hold: the library would cast it with undefined behaviour, so it is
// refused with the list's out-of-range error instead.
#pragma once

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <type_traits>

namespace vk::tool {

// The values a key accepts, as its out-of-range message names them.
struct IntegerRange {
    long long low = 0;
    unsigned long long high = 0;
};

template <typename T>
constexpr IntegerRange fullRange() {
    return {static_cast<long long>(std::numeric_limits<T>::min()),
            static_cast<unsigned long long>(std::numeric_limits<T>::max())};
}

// Throws std::runtime_error "WHAT VALUE is out of range LOW to HIGH".
[[noreturn]] void throwOutOfRange(const std::string& what, const std::string& value, IntegerRange range);

// Throws the out-of-range error when value is a floating-point number that
// is not finite or whose truncation lies outside [low, highExclusive).
void checkFloatFits(const nlohmann::json& value, double low, double highExclusive, const std::string& what,
                    IntegerRange range);

// value.get<T>() without its undefined cases. Integers that do not fit
// still keep their low bits, as the library's conversion gives them.
template <typename T>
T jsonInteger(const nlohmann::json& value, const std::string& what, IntegerRange range = fullRange<T>()) {
    static_assert(std::is_integral_v<T> && !std::is_same_v<T, bool>);
    // Both bounds are powers of two (or zero), so exact as doubles.
    checkFloatFits(value, static_cast<double>(std::numeric_limits<T>::min()),
                   std::ldexp(1.0, std::numeric_limits<T>::digits), what, range);
    return value.get<T>();
}

// object.value(key, fallback) without its undefined cases: the fallback when
// the key is absent, the library's own error when object is no object.
template <typename T>
T jsonIntegerOr(const nlohmann::json& object, const char* key, T fallback,
                IntegerRange range = fullRange<T>()) {
    const auto found = object.find(key);
    if (found == object.end()) return object.value(key, fallback);
    return jsonInteger<T>(*found, key, range);
}

}  // namespace vk::tool
