#include "tool/output_target.h"

#include <cerrno>
#include <string>
#include <system_error>
#include <vector>

#include "foundation/path.h"

#if defined(__linux__)
#include <unistd.h>
#endif

namespace vk::tool {
namespace {

namespace fs = std::filesystem;

Error linkError(const fs::path& path, int number) {
    return Error::fromErrno(ErrorCode::IoError, number, "cannot write " + pathToUtf8(path));
}

// When `hop` is an entry of a process's descriptor table (/proc/PID/fd/N or
// /proc/PID/task/TID/fd/N, also reached as /dev/fd/N or /proc/self/fd/N):
// the target for writing to it. Its link leads to the file behind the
// descriptor, which must not be replaced.
#if defined(__linux__)
bool allDigits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}
#endif

bool descriptorEntry(const fs::path& hop, OutputTarget& target) {
#if defined(__linux__)
    const std::string number = pathToUtf8(hop.filename());
    if (!allDigits(number)) return false;
    std::error_code error;
    const fs::path table = fs::weakly_canonical(fs::absolute(hop, error).parent_path(), error);
    if (error) return false;
    std::vector<std::string> parts;
    for (const fs::path& part : table.relative_path()) parts.push_back(pathToUtf8(part));
    const bool process = parts.size() == 3 && parts[0] == "proc" && allDigits(parts[1]) && parts[2] == "fd";
    const bool thread = parts.size() == 5 && parts[0] == "proc" && allDigits(parts[1]) &&
                        parts[2] == "task" && allDigits(parts[3]) && parts[4] == "fd";
    if (!process && !thread) return false;
    target.isDescriptor = true;
    target.file = hop;
    if (parts[1] == std::to_string(::getpid()) && number.size() < 10) target.descriptor = std::stoi(number);
    return true;
#else
    (void)hop;
    (void)target;
    return false;
#endif
}

// A device, FIFO or socket would be replaced by a regular file, and a
// self-check reading one back could block, so only files are written.
bool isSpecialFile(const fs::path& file) {
#if defined(_WIN32)
    if (isWindowsDeviceName(file)) return true;
#endif
    std::error_code ignored;
    const fs::file_status status = fs::status(file, ignored);
    return fs::exists(status) && !fs::is_regular_file(status) && !fs::is_directory(status);
}

}  // namespace

bool isWindowsDeviceName(const fs::path& path) {
    std::string name = pathToUtf8(path.filename());
    name = name.substr(0, name.find_first_of(".:"));
    while (!name.empty() && name.back() == ' ') name.pop_back();
    for (char& c : name) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    if (name == "CON" || name == "PRN" || name == "AUX" || name == "NUL") return true;
    return name.size() == 4 && (name.starts_with("COM") || name.starts_with("LPT")) && name[3] >= '1' &&
           name[3] <= '9';
}

// Symbolic links are followed to their last target, so that the link itself
// stays (a dangling link leads to the file it names); relative links count
// from the link's directory.
Result<OutputTarget> resolveOutputTarget(const fs::path& path) {
    constexpr int kMaxLinks = 40;  // as the kernel allows before ELOOP
    OutputTarget target;
    fs::path hop = path;
    for (int count = 0; count <= kMaxLinks; ++count) {
        if (descriptorEntry(hop, target)) return target;
        std::error_code error;
        if (!fs::is_symlink(hop, error)) {
            if (isSpecialFile(hop))
                return makeError(ErrorCode::IoError,
                                 "cannot write " + pathToUtf8(path) + ": not a regular file");
            target.file = hop;
            return target;
        }
        const fs::path link = fs::read_symlink(hop, error);
        if (error) return linkError(path, error.value());
        hop = link.is_absolute() ? link : hop.parent_path() / link;
    }
    return linkError(path, ELOOP);
}

}  // namespace vk::tool
