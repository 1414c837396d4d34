// Error codes and the error value through which every fallible operation
// reports failure. Errors are plain values built where the failure is found.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vk {

enum class ErrorCode : std::uint8_t {
    InvalidArgument = 0,  // malformed input: ELF, DWARF, JSON, A2L
    NotFound = 1,         // a file that cannot be opened, missing debug data
    PermissionDenied = 2,
    IoError = 3,
    Timeout = 4,
    WouldBlock = 5,
    NotOpen = 6,
    AlreadyOpen = 7,
    Unsupported = 8,
    ProtocolError = 9,
    Closed = 10,
};

std::string_view errorText(ErrorCode code) noexcept;

struct Error {
    ErrorCode code = ErrorCode::InvalidArgument;
    std::string text;
    std::int32_t systemError = 0;
    std::int32_t extra = -1;

    // The text, or the code's own text when the text is empty.
    std::string message() const;

    static Error fromErrno(ErrorCode code, int number, std::string_view context);
};

// Shorthand for the errors this system builds: no system error, -1 extra.
inline Error makeError(ErrorCode code, std::string text) {
    return Error{code, std::move(text), 0, -1};
}

ErrorCode errnoToCode(int number) noexcept;

}  // namespace vk
