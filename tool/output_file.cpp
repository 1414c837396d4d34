#include "tool/output_file.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>
#include <utility>

#include "foundation/path.h"

#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#endif

namespace vk::tool {
namespace {

namespace fs = std::filesystem;

Error writeError(const fs::path& path, int number) {
    if (number == 0) number = EIO;
    return Error::fromErrno(ErrorCode::IoError, number, "cannot write " + pathToUtf8(path));
}

// Creates a file next to the target that did not exist before ("x" mode),
// so that no other file is ever truncated.
std::FILE* createTemporary(const fs::path& target, fs::path& temporary) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = target;
        candidate += ".tmp" + (attempt == 0 ? std::string() : std::to_string(attempt));
#if defined(_WIN32)
        std::FILE* file = _wfopen(candidate.c_str(), L"wbx");
#else
        std::FILE* file = std::fopen(candidate.c_str(), "wbx");
#endif
        if (file != nullptr) {
            temporary = std::move(candidate);
            return file;
        }
        if (errno != EEXIST) return nullptr;
    }
    errno = EEXIST;
    return nullptr;
}

// Flushes the data to the device where the platform allows it, so that a
// crash right after the rename cannot leave an empty target behind.
bool syncToDisk(std::FILE* file) {
#if defined(__unix__) || defined(__APPLE__)
    return ::fsync(fileno(file)) == 0;
#else
    (void)file;
    return true;
#endif
}

bool writeAll(std::FILE* file, std::string_view text) {
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), file) != text.size()) return false;
    return std::fflush(file) == 0 && std::ferror(file) == 0 && syncToDisk(file);
}

// The file that writing to `path` reaches: a symbolic link is followed to
// its last target, so that the link itself stays (a dangling link leads to
// the file it names). Relative links count from the link's directory.
Result<fs::path> followLinks(const fs::path& path) {
    constexpr int kMaxLinks = 40;  // as the kernel allows before ELOOP
    fs::path target = path;
    for (int hop = 0; hop <= kMaxLinks; ++hop) {
        std::error_code error;
        if (!fs::is_symlink(target, error)) return target;
        const fs::path link = fs::read_symlink(target, error);
        if (error) return writeError(path, error.value());
        target = link.is_absolute() ? link : target.parent_path() / link;
    }
    return writeError(path, ELOOP);
}

// A device, FIFO or socket would be replaced by a regular file, and a
// self-check reading one back could block, so only files are written.
bool isSpecialFile(const fs::path& target) {
    std::error_code ignored;
    const fs::file_status status = fs::status(target, ignored);
    return fs::exists(status) && !fs::is_regular_file(status) && !fs::is_directory(status);
}

void keepPermissions(const fs::path& target, const fs::path& temporary) {
    std::error_code ignored;
    const fs::file_status status = fs::status(target, ignored);
    if (!ignored && fs::is_regular_file(status)) fs::permissions(temporary, status.permissions(), ignored);
}

// A text written in full to a temporary file beside the file it is to replace.
struct Staged {
    fs::path target;
    fs::path temporary;
};

void discard(const Staged& staged) {
    std::error_code ignored;
    fs::remove(staged.temporary, ignored);
}

Result<Staged> stage(const fs::path& path, std::string_view text) {
    const Result<fs::path> followed = followLinks(path);
    if (!followed.ok()) return followed.error();
    Staged staged{followed.value(), {}};
    if (isSpecialFile(staged.target))
        return makeError(ErrorCode::IoError, "cannot write " + pathToUtf8(path) + ": not a regular file");

    errno = 0;
    std::FILE* file = createTemporary(staged.target, staged.temporary);
    if (file == nullptr) return writeError(path, errno);

    errno = 0;
    const bool written = writeAll(file, text);
    int number = errno;
    const bool closed = std::fclose(file) == 0;
    if (written && !closed) number = errno;
    if (written && closed) return staged;
    discard(staged);
    return writeError(path, number);
}

Result<Empty> commit(const fs::path& path, const Staged& staged) {
    keepPermissions(staged.target, staged.temporary);
    std::error_code error;
    fs::rename(staged.temporary, staged.target, error);
    if (!error) return Empty{};
    discard(staged);
    return makeError(ErrorCode::IoError, "cannot write " + pathToUtf8(path) + ": " + error.message());
}

// The check read the temporary file, which is gone by now: its message names
// the file as the user did.
Error namedAsTarget(Error error, const fs::path& path, const Staged& staged) {
    for (const auto& [from, to] :
         {std::pair{pathToUtf8(staged.temporary), pathToUtf8(path)},
          std::pair{pathToUtf8(staged.temporary.filename()), pathToUtf8(path.filename())}}) {
        const std::size_t at = error.text.find(from);
        if (at == std::string::npos) continue;
        error.text.replace(at, from.size(), to);
        break;
    }
    return error;
}

}  // namespace

Result<Empty> writeFileSafely(const fs::path& path, std::string_view text) {
    const Result<Staged> staged = stage(path, text);
    if (!staged.ok()) return staged.error();
    return commit(path, staged.value());
}

Result<Empty> writeFileChecked(const fs::path& path, std::string&& text, const WrittenCheck& check) {
    const Result<Staged> staged = stage(path, text);
    std::string().swap(text);
    if (!staged.ok()) return staged.error();
    if (Result<Empty> checked = check(staged.value().temporary); !checked.ok()) {
        discard(staged.value());
        return namedAsTarget(checked.error(), path, staged.value());
    }
    return commit(path, staged.value());
}

}  // namespace vk::tool
