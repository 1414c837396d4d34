#include "foundation/file_read.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>

#include "foundation/path.h"

namespace vk {
namespace {

struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

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
    Buffer data;
    // Sized once for the file as it stands, so a large file is not copied
    // while its buffer doubles.
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (!ec && size < data.max_size()) data.reserve(static_cast<std::size_t>(size));
    char chunk[1 << 16];
    for (;;) {
        errno = 0;
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
        data.insert(data.end(), chunk, chunk + got);
        if (got == sizeof chunk) continue;
        if (std::ferror(file.get())) {
            const int number = errno != 0 ? errno : EIO;
            return Error::fromErrno(ErrorCode::IoError, number, "cannot read " + pathToUtf8(path));
        }
        return data;
    }
}

}  // namespace

Result<std::string> readFileText(const std::filesystem::path& path) {
    return readWhole<std::string>(path);
}

Result<std::vector<std::uint8_t>> readFileBytes(const std::filesystem::path& path) {
    return readWhole<std::vector<std::uint8_t>>(path);
}

}  // namespace vk
