#include "foundation/file_read.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>
#include <stdexcept>
#include <system_error>

#include "foundation/path.h"

#if defined(__linux__)
#include <sys/sysinfo.h>
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
#endif
    return 0;
}

Error tooLarge(const std::filesystem::path& path) {
    return Error::fromErrno(ErrorCode::IoError, ENOMEM, "cannot read " + pathToUtf8(path));
}

template <typename Buffer>
Result<Buffer> readOpened(std::FILE* file, const std::filesystem::path& path) {
    Buffer data;
    // Sized once for the file as it stands, so a large file is not copied
    // while its buffer doubles. A file that the system's memory cannot hold is
    // refused before the allocation: a sanitizer's allocator ends the process
    // for it, and an overcommitting kernel grants it and kills the process later.
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    const std::uint64_t memory = systemMemory();
    if (!ec && memory != 0 && size > memory) return tooLarge(path);
    if (!ec && size < data.max_size()) data.reserve(static_cast<std::size_t>(size));
    char chunk[1 << 16];
    for (;;) {
        errno = 0;
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, file);
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
