#include <cstdint>
#include <fstream>
#include <system_error>

#include "a2l/project.h"
#include "foundation/path.h"

namespace vk::a2l {

namespace {

// The whole file, or nothing when it cannot be opened or read; a path that
// opens but cannot be read (a directory) must not pass as an empty text.
std::optional<std::string> readFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::string text;
    // Sized once for the file as it stands: grown chunk by chunk, the text would
    // hold up to twice its length, and three times while it is being copied.
    std::error_code ignored;
    const std::uintmax_t size = std::filesystem::file_size(path, ignored);
    if (!ignored && size < text.max_size()) text.reserve(static_cast<std::size_t>(size));
    char chunk[65536];
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
        text.append(chunk, static_cast<std::size_t>(file.gcount()));
    }
    if (file.bad()) return std::nullopt;
    return text;
}

}  // namespace

Result<Project> load(const std::filesystem::path& path) {
    std::optional<std::string> text = readFile(path);
    if (!text) return makeError(ErrorCode::NotFound, "cannot open A2L file " + vk::pathToUtf8(path));
    Result<Project> project = parseUnindexed(*text);
    if (!project.ok()) {
        const Error& inner = project.error();
        return makeError(inner.code, vk::pathToUtf8(path.filename()) + ": " + inner.message());
    }
    // The project holds copies of all it keeps; the text goes before the indexes come.
    text.reset();
    for (Module& module : project.value().modules) module.reindex();
    return project;
}

}  // namespace vk::a2l
