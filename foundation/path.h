// Conversions between UTF-8 text and file-system paths. All text in the
// program is UTF-8; a path is made from it when a file is opened and turned
// back into UTF-8 when it is named in a message. Where paths are byte strings
// the bytes pass unconverted.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vk {

inline std::filesystem::path pathFromUtf8(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string pathToUtf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace vk
