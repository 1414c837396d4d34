// Writing a whole text to a file without ever leaving a half-written one:
// the text goes to a temporary file in the target's directory and replaces
// the target only after every byte was written and the file was closed.
#pragma once

#include <filesystem>
#include <string_view>

#include "foundation/result.h"

namespace vk::tool {

// Writes every byte of text (NUL bytes included) to path. On failure the
// temporary file is removed, any file already at path is left as it was,
// and the error names the path. Writing over the file that the text was
// read from is safe. A symbolic link is written through (the link stays);
// a device, FIFO or socket at path is refused.
Result<Empty> writeFileSafely(const std::filesystem::path& path, std::string_view text);

}  // namespace vk::tool
