// A value or an error. Every operation that can fail because of its input
// or environment returns one; reading the wrong alternative is a
// programming error and aborts with one line on standard error.
#pragma once

#include <utility>
#include <variant>

#include "foundation/error.h"

namespace vk {

[[noreturn]] void failedResultAccess(const Error* error);

// For operations that report only success or an error.
struct Empty {};

template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return state_.index() == 0; }

    T& value() & {
        if (state_.index() == 1) failedResultAccess(&std::get<1>(state_));
        return std::get<0>(state_);  // throws when valueless
    }
    const T& value() const& {
        if (state_.index() == 1) failedResultAccess(&std::get<1>(state_));
        return std::get<0>(state_);
    }
    T& value() && = delete;

    const Error& error() const {
        if (state_.index() == 0) failedResultAccess(nullptr);
        return std::get<1>(state_);
    }

private:
    std::variant<T, Error> state_;
};

}  // namespace vk
