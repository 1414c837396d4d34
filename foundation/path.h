// Conversions between UTF-8 text and file-system paths. All text in the
// program is UTF-8; paths are made from it when a file is opened and turned
// back into UTF-8 when named in a message. On POSIX systems a path's bytes
// are already that text, so both directions pass the bytes unconverted.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vk {

inline std::filesystem::path pathFromUtf8(std::string_view text) {
    return std::filesystem::path(std::string(text));
}

inline std::string pathToUtf8(const std::filesystem::path& path) { return path.string(); }

// The last element of a path, as named in messages.
inline std::string fileNameUtf8(const std::filesystem::path& path) { return path.filename().string(); }

// The last element without its extension: the default module name.
inline std::string stemUtf8(const std::filesystem::path& path) { return path.stem().string(); }

}  // namespace vk
