#include "tool/file_path.h"

#include <string>

#include "foundation/file_read.h"
#include "foundation/path.h"

namespace vk::tool {

namespace {

// Length of the UTF-8 sequence that lead byte b starts, 0 when b cannot
// start one (a continuation byte, an overlong C0/C1 or a byte above F4).
std::size_t sequenceLength(unsigned char b) {
    if (b < 0x80) return 1;
    if (b < 0xC2) return 0;
    if (b < 0xE0) return 2;
    if (b < 0xF0) return 3;
    if (b < 0xF5) return 4;
    return 0;
}

}  // namespace

bool isValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = sequenceLength(lead);
        if (length == 0 || text.size() - i < length) return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        if (length > 1) {
            const auto second = static_cast<unsigned char>(text[i + 1]);
            // Overlong three- and four-byte forms, UTF-16 surrogates and
            // code points above U+10FFFF.
            if (lead == 0xE0 && second < 0xA0) return false;
            if (lead == 0xED && second >= 0xA0) return false;
            if (lead == 0xF0 && second < 0x90) return false;
            if (lead == 0xF4 && second >= 0x90) return false;
        }
        i += length;
    }
    return true;
}

Result<std::filesystem::path> pathFromArgument(std::string_view argument) {
#ifdef _WIN32
    if (!isValidUtf8(argument)) {
        return makeError(ErrorCode::InvalidArgument, "file name is not valid UTF-8");
    }
#endif
    return pathFromUtf8(argument);
}

Result<std::string> readInputFile(std::string_view argument) {
    Result<std::filesystem::path> path = pathFromArgument(argument);
    if (!path.ok()) return path.error();
    return readFileText(path.value());
}

}  // namespace vk::tool
