#include "foundation/file_read.h"

#include <cerrno>
#include <cstdio>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>

#include "foundation/path.h"

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/sysinfo.h>
#elif defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace vk {
namespace {

struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The memory of the system, RAM and swap; 0 when unknown.
std::uint64_t systemMemory() {
#if defined(__linux__)
    struct sysinfo info {};
    if (::sysinfo(&info) == 0)
        return (std::uint64_t{info.totalram} + info.totalswap) * std::uint64_t{info.mem_unit};
#elif defined(_WIN32)
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (::GlobalMemoryStatusEx(&status)) return status.ullTotalPageFile;
#endif
    return 0;
}

// The most read from an input that is not a regular file (a device such as
// /dev/zero, a pipe or FIFO), whose size is not known before it ends: 4 GiB,
// or a quarter of the memory the process may have, so that the buffer's last
// doubling and the rest of the run still fit.
std::uint64_t streamLimit() {
    std::uint64_t memory = systemMemory();
#if defined(__linux__)
    for (int resource : {RLIMIT_AS, RLIMIT_DATA}) {
        struct rlimit limit {};
        if (::getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
            (memory == 0 || limit.rlim_cur < memory))
            memory = limit.rlim_cur;
    }
#endif
    constexpr std::uint64_t kCap = std::uint64_t{4} << 30;
    return memory == 0 || memory / 4 > kCap ? kCap : memory / 4;
}

Error tooLarge(const std::filesystem::path& path) {
    return Error::fromErrno(ErrorCode::IoError, ENOMEM, "cannot read " + pathToUtf8(path));
}

Error endless(const std::filesystem::path& path, std::uint64_t limit) {
    return makeError(ErrorCode::IoError, "cannot read " + pathToUtf8(path) +
                                             ": not a regular file and longer than " +
                                             std::to_string(limit >> 20) + " MiB");
}

template <typename Buffer>
Result<Buffer> readOpened(std::FILE* file, const std::filesystem::path& path) {
    Buffer data;
    // Sized once for the file as it stands, so a large file is not copied
    // while its buffer doubles. A file that the system's memory cannot hold is
    // refused before the allocation: a sanitizer's allocator ends the process
    // for it, and an overcommitting kernel grants it and kills the process later.
    std::error_code ec;
    const bool regular = std::filesystem::is_regular_file(path, ec);
    const std::uintmax_t size = regular ? std::filesystem::file_size(path, ec) : 0;
    const std::uint64_t memory = systemMemory();
    if (regular && !ec && memory != 0 && size > memory) return tooLarge(path);
    if (regular && !ec && size < data.max_size()) data.reserve(static_cast<std::size_t>(size));
    // Checked before each chunk is added, so the buffer never grows past it.
    const std::uint64_t limit = regular ? std::numeric_limits<std::uint64_t>::max() : streamLimit();
    char chunk[1 << 16];
    for (;;) {
        errno = 0;
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, file);
        if (got > limit - data.size()) return endless(path, limit);
        data.insert(data.end(), chunk, chunk + got);
        if (got == sizeof chunk) continue;
        if (std::ferror(file)) {
            const int number = errno != 0 ? errno : EIO;
            return Error::fromErrno(ErrorCode::IoError, number, "cannot read " + pathToUtf8(path));
        }
        return data;
    }
}

template <typename Buffer>
Result<Buffer> readWhole(const std::filesystem::path& path) {
    // A directory opens on some systems and then reads as empty.
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        return makeError(ErrorCode::NotFound, "cannot open " + pathToUtf8(path));
#if defined(_WIN32)
    std::unique_ptr<std::FILE, Closer> file(_wfopen(path.c_str(), L"rb"));
#else
    std::unique_ptr<std::FILE, Closer> file(std::fopen(path.c_str(), "rb"));
#endif
    if (!file) return makeError(ErrorCode::NotFound, "cannot open " + pathToUtf8(path));
    // A file larger than the memory the process may have (a sparse one, one
    // that grows) fails as a read does, not as the end of the program.
    try {
        return readOpened<Buffer>(file.get(), path);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    return tooLarge(path);
}

}  // namespace

Result<std::string> readFileText(const std::filesystem::path& path) {
    return readWhole<std::string>(path);
}

Result<std::vector<std::uint8_t>> readFileBytes(const std::filesystem::path& path) {
    return readWhole<std::vector<std::uint8_t>>(path);
}

}  // namespace vk
