// Where a write to an output path lands: the regular file at the end of its
// symbolic links, which is created or replaced; an open descriptor that the
// path names (/dev/stdout, /dev/fd/N, /proc/self/fd/N), which gets the text as
// a shell redirection would; or something that is no file to replace.
#pragma once

#include <filesystem>

#include "foundation/result.h"

namespace vk::tool {

struct OutputTarget {
    // The file to create or replace, symbolic links followed; for a
    // descriptor of another process, the path to open it by.
    std::filesystem::path file;
    bool isDescriptor = false;
    int descriptor = -1;  // this process's descriptor, or -1
};

// "cannot write PATH: not a regular file" for a device, FIFO or socket, and on
// Windows for a device name (NUL, CON, COM1, ...); "cannot write PATH: ..."
// with the system's text when a link cannot be followed.
Result<OutputTarget> resolveOutputTarget(const std::filesystem::path& path);

// The names Windows reserves for its devices in every folder: CON, PRN, AUX,
// NUL, COM1 to COM9 and LPT1 to LPT9, in any case, with any extension.
bool isWindowsDeviceName(const std::filesystem::path& path);

}  // namespace vk::tool
