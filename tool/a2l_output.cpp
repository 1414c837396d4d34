#include "tool/a2l_output.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "a2l/project.h"
#include "tool/file_path.h"
#include "tool/output_file.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace vk::tool {

bool writeA2lToStdout(std::string_view text) {
    if (std::fflush(stdout) != 0) return false;
#if defined(_WIN32)
    // Text mode would write each "\n" as CR LF, and a CR LF of the text as CR CR LF.
    const int mode = ::_setmode(::_fileno(stdout), _O_BINARY);
#endif
    const bool written = (text.empty() || std::fwrite(text.data(), 1, text.size(), stdout) == text.size()) &&
                         std::fflush(stdout) == 0;
#if defined(_WIN32)
    if (mode != -1) ::_setmode(::_fileno(stdout), mode);
#endif
    return written;
}

Result<Empty> writeLoadableA2l(std::string_view argument, std::string&& text, std::string_view failure) {
    const Result<std::filesystem::path> path = pathFromArgument(argument);
    if (!path.ok()) return path.error();
    // Only success counts: the skip warnings of the reloaded project are not shown.
    const auto loads = [failure](const std::filesystem::path& written) -> Result<Empty> {
        const Result<vk::a2l::Project> reloaded = vk::a2l::load(written);
        if (reloaded.ok()) return Empty{};
        return makeError(reloaded.error().code, std::string(failure) + reloaded.error().message());
    };
    return writeFileChecked(path.value(), std::move(text), loads);
}

Result<Empty> refuseOutputOverInput(std::string_view output, std::string_view input, std::string_view role) {
    const Result<std::filesystem::path> outputPath = pathFromArgument(output);
    if (!outputPath.ok()) return outputPath.error();
    // An input that cannot be named fails when it is read.
    const Result<std::filesystem::path> inputPath = pathFromArgument(input);
    std::error_code error;
    if (inputPath.ok() && std::filesystem::equivalent(outputPath.value(), inputPath.value(), error))
        return makeError(ErrorCode::InvalidArgument,
                         "cannot write " + std::string(output) + ": it is the " + std::string(role));
    return Empty{};
}

}  // namespace vk::tool
