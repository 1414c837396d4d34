// The A2L reader's front door: an A2L text or file becomes a Project with its
// modules and the warning lines of the objects that were left out. Only a
// lexical or structural error, or a missing PROJECT or MODULE, fails a load.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "a2l/module.h"
#include "foundation/result.h"

namespace vk::a2l {

struct Project {
    std::uint16_t asap2Version = 0;
    std::uint16_t asap2Upgrade = 0;
    std::string name;
    std::vector<Module> modules;
    std::vector<std::string> warnings;
};

// The text needs to live only for the call.
Result<Project> parse(std::string_view text);

// parse without the modules' name indexes: a caller that frees the text first and
// then calls Module::reindex on each module never holds both at once.
Result<Project> parseUnindexed(std::string_view text);

// Errors: "cannot open A2L file " + path (not found), or the file name, ": "
// and the parse error.
Result<Project> load(const std::filesystem::path& path);

}  // namespace vk::a2l
