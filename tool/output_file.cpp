#include "tool/output_file.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>
#include <utility>

#include "foundation/path.h"
#include "tool/interrupt_cleanup.h"
#include "tool/output_target.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace vk::tool {
namespace {

namespace fs = std::filesystem;

Error writeError(const fs::path& path, int number) {
    if (number == 0) number = EIO;
    return Error::fromErrno(ErrorCode::IoError, number, "cannot write " + pathToUtf8(path));
}

// Opens a file of that name only when none existed, so that no other file is
// ever truncated. The C runtime of Windows ignores fopen's "x".
std::FILE* openNew(const fs::path& path) {
#if defined(_WIN32)
    const int descriptor =
        ::_wopen(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (descriptor < 0) return nullptr;
    std::FILE* file = ::_fdopen(descriptor, "wb");
    if (file == nullptr) {
        const int number = errno;
        ::_close(descriptor);
        ::_wunlink(path.c_str());
        errno = number;
    }
    return file;
#else
    return std::fopen(path.c_str(), "wbx");
#endif
}

// Creates a file next to the target that did not exist before; from then on
// an interrupt of the run removes it.
std::FILE* createTemporary(const fs::path& target, fs::path& temporary) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = target;
        candidate += ".tmp" + (attempt == 0 ? std::string() : std::to_string(attempt));
        const InterruptsDeferred deferred;
        errno = 0;
        std::FILE* file = openNew(candidate);
        const int number = errno;
        if (file != nullptr) {
            removeOnInterrupt(candidate);
            temporary = std::move(candidate);
            return file;
        }
        if (number != EEXIST) {
            errno = number;
            return nullptr;
        }
    }
    errno = EEXIST;
    return nullptr;
}

// Flushes the data to the device, so that a crash right after the rename
// cannot leave an empty target behind.
bool syncToDisk(std::FILE* file) {
#if defined(_WIN32)
    return ::_commit(::_fileno(file)) == 0;
#else
    return ::fsync(fileno(file)) == 0;
#endif
}

bool writeAll(std::FILE* file, std::string_view text) {
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), file) != text.size()) return false;
    return std::fflush(file) == 0 && std::ferror(file) == 0 && syncToDisk(file);
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
    const InterruptsDeferred deferred;
    std::error_code ignored;
    fs::remove(staged.temporary, ignored);
    forgetOnInterrupt();
}

// `target` is the file that path leads to.
Result<Staged> stage(const fs::path& path, const fs::path& target, std::string_view text) {
    Staged staged{target, {}};
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

// The system's text of why the temporary file could not replace the target;
// empty when it did.
std::string replaceTarget(const Staged& staged) {
    const InterruptsDeferred deferred;
#if defined(_WIN32)
    // Written through to the disk before the call returns.
    if (::MoveFileExW(staged.temporary.c_str(), staged.target.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        forgetOnInterrupt();
        return {};
    }
    return std::system_category().message(static_cast<int>(::GetLastError()));
#else
    std::error_code error;
    fs::rename(staged.temporary, staged.target, error);
    if (!error) forgetOnInterrupt();
    return error ? error.message() : std::string();
#endif
}

Result<Empty> commit(const fs::path& path, const Staged& staged) {
    keepPermissions(staged.target, staged.temporary);
    const std::string failure = replaceTarget(staged);
    if (failure.empty()) return Empty{};
    discard(staged);
    return makeError(ErrorCode::IoError, "cannot write " + pathToUtf8(path) + ": " + failure);
}

// An open descriptor gets the text as a shell redirection to it would write
// it: at its offset, or appended where it was opened for appending.
Result<Empty> writeToDescriptor(const fs::path& path, const OutputTarget& target, std::string_view text) {
#if defined(_WIN32)
    (void)target;
    (void)text;
    return writeError(path, EBADF);
#else
    const int descriptor = target.descriptor >= 0
                               ? target.descriptor
                               : ::open(target.file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (descriptor < 0) return writeError(path, errno);
    std::fflush(stdout);
    int number = 0;
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t written = ::write(descriptor, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            number = written < 0 ? errno : EIO;
            break;
        }
        done += static_cast<std::size_t>(written);
    }
    if (descriptor != target.descriptor) ::close(descriptor);
    if (number != 0) return writeError(path, number);
    return Empty{};
#endif
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
    const Result<OutputTarget> target = resolveOutputTarget(path);
    if (!target.ok()) return target.error();
    if (target.value().isDescriptor) return writeToDescriptor(path, target.value(), text);
    const Result<Staged> staged = stage(path, target.value().file, text);
    if (!staged.ok()) return staged.error();
    return commit(path, staged.value());
}

Result<Empty> writeFileChecked(const fs::path& path, std::string&& text, const WrittenCheck& check) {
    const Result<OutputTarget> target = resolveOutputTarget(path);
    if (!target.ok()) return target.error();
    // A descriptor cannot be read back: what it leads to may hold more than
    // this text, or be a pipe.
    if (target.value().isDescriptor) return writeToDescriptor(path, target.value(), text);
    const Result<Staged> staged = stage(path, target.value().file, text);
    std::string().swap(text);
    if (!staged.ok()) return staged.error();
    if (Result<Empty> checked = check(staged.value().temporary); !checked.ok()) {
        discard(staged.value());
        return namedAsTarget(checked.error(), path, staged.value());
    }
    return commit(path, staged.value());
}

}  // namespace vk::tool
