#include "foundation/error.h"

#include <cerrno>
#include <cstring>

namespace vk {

std::string_view errorText(ErrorCode code) noexcept {
    switch (code) {
    case ErrorCode::InvalidArgument: return "invalid argument";
    case ErrorCode::NotFound: return "not found";
    case ErrorCode::PermissionDenied: return "permission denied";
    case ErrorCode::IoError: return "I/O error";
    case ErrorCode::Timeout: return "timeout";
    case ErrorCode::WouldBlock: return "would block";
    case ErrorCode::NotOpen: return "not open";
    case ErrorCode::AlreadyOpen: return "already open";
    case ErrorCode::Unsupported: return "unsupported";
    case ErrorCode::ProtocolError: return "protocol error";
    case ErrorCode::Closed: return "closed";
    }
    return "unknown error";
}

std::string Error::message() const {
    if (!text.empty()) return text;
    return std::string(errorText(code));
}

Error Error::fromErrno(ErrorCode code, int number, std::string_view context) {
    std::string text(context);
    text += ": ";
    text += std::strerror(number);
    return Error{code, std::move(text), number, -1};
}

ErrorCode errnoToCode(int number) noexcept {
    switch (number) {
    case EPERM:
    case EACCES: return ErrorCode::PermissionDenied;
    case ENOENT:
    case ENXIO:
    case ENODEV: return ErrorCode::NotFound;
    case EAGAIN:
    case ENOBUFS: return ErrorCode::WouldBlock;
    case EINVAL:
    case ERANGE: return ErrorCode::InvalidArgument;
    case EOPNOTSUPP: return ErrorCode::Unsupported;
    case ETIMEDOUT: return ErrorCode::Timeout;
    default: return ErrorCode::IoError;
    }
}

}  // namespace vk
