#include <fstream>

#include "a2l/project.h"

namespace vk::a2l {

namespace {

std::string utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// The whole file, or nothing when it cannot be opened or read; a path that
// opens but cannot be read (a directory) must not pass as an empty text.
std::optional<std::string> readFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::string text;
    char chunk[65536];
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
        text.append(chunk, static_cast<std::size_t>(file.gcount()));
    }
    if (file.bad()) return std::nullopt;
    return text;
}

}  // namespace

Result<Project> load(const std::filesystem::path& path) {
    const std::optional<std::string> text = readFile(path);
    if (!text) return makeError(ErrorCode::NotFound, "cannot open A2L file " + utf8(path));
    Result<Project> project = parse(*text);
    if (!project.ok()) {
        const Error& inner = project.error();
        return makeError(inner.code, utf8(path.filename()) + ": " + inner.message());
    }
    return project;
}

}  // namespace vk::a2l
