#include "tool/options.h"

namespace vk::tool {

Mode chooseMode(const Options& options) {
    if (!options.update.empty()) return Mode::Update;
    if (options.list || options.variables.empty()) return Mode::List;
    return Mode::Generate;
}

std::string fileStem(std::string_view path) {
#ifdef _WIN32
    const std::size_t slash = path.find_last_of("/\\");
#else
    const std::size_t slash = path.find_last_of('/');
#endif
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    if (name == "." || name == "..") return std::string(name);
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos || dot == 0) return std::string(name);
    return std::string(name.substr(0, dot));
}

}  // namespace vk::tool
