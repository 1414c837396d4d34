#include "tool/a2l_output.h"

#include <filesystem>

#include "a2l/project.h"
#include "tool/file_path.h"
#include "tool/output_file.h"

namespace vk::tool {

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

}  // namespace vk::tool
