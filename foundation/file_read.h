// Reading an input file whole. A read that fails after the file opened (failing
// storage, a network file system, /proc-style files) is an error of its own,
// never a shorter text: an update written over its input from a cut text
// would destroy it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/result.h"

namespace vk {

// NotFound "cannot open PATH" when the file cannot be opened or is a
// directory; IoError "cannot read PATH: <system text>" when a read fails,
// "cannot read PATH: Cannot allocate memory" when the file does not fit in
// memory, and "cannot read PATH: not a regular file and longer than N MiB"
// when a device, pipe or FIFO does not end within a bound well inside the
// memory (4 GiB at most).
Result<std::string> readFileText(const std::filesystem::path& path);
Result<std::vector<std::uint8_t>> readFileBytes(const std::filesystem::path& path);

}  // namespace vk
