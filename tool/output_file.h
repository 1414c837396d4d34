// Writing a whole text to a file without ever leaving a half-written one:
// the text goes to a temporary file in the target's directory and replaces
// the target only after every byte was written and the file was closed. An
// interrupted run removes its temporary file.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "foundation/result.h"

namespace vk::tool {

// Writes every byte of text (NUL bytes included) to path. On failure the
// temporary file is removed, any file already at path is left as it was,
// and the error names the path. Writing over the file that the text was
// read from is safe. A symbolic link is written through (the link stays);
// a device, FIFO or socket at path is refused. A path that names an open
// descriptor (/dev/stdout, /dev/fd/N) gets the text written to that
// descriptor, and nothing is replaced.
Result<Empty> writeFileSafely(const std::filesystem::path& path, std::string_view text);

// Reads back the file just written (given its temporary name).
using WrittenCheck = std::function<Result<Empty>(const std::filesystem::path& written)>;

// As writeFileSafely, but the file replaces what stands at path only after it
// passed the check; a failed check leaves path as it was, and its error names
// path instead of the temporary file. Text written to a descriptor is not
// checked: it cannot be read back. The text is released once it is written,
// so that it never stands beside what the check reads.
Result<Empty> writeFileChecked(const std::filesystem::path& path, std::string&& text,
                               const WrittenCheck& check);

}  // namespace vk::tool
