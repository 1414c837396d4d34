#include <string>

#include "a2l/project.h"
#include "foundation/file_read.h"
#include "foundation/path.h"

namespace vk::a2l {

Result<Project> load(const std::filesystem::path& path) {
    Result<std::string> text = readFileText(path);
    if (!text.ok() && text.error().code == ErrorCode::NotFound)
        return makeError(ErrorCode::NotFound, "cannot open A2L file " + vk::pathToUtf8(path));
    if (!text.ok()) return text.error();
    Result<Project> project = parseUnindexed(text.value());
    if (!project.ok()) {
        const Error& inner = project.error();
        return makeError(inner.code, vk::pathToUtf8(path.filename()) + ": " + inner.message());
    }
    // The project holds copies of all it keeps; the text goes before the indexes come.
    std::string().swap(text.value());
    for (Module& module : project.value().modules) module.reindex();
    return project;
}

}  // namespace vk::a2l
