// Turns a file name from the command line (UTF-8) into a file-system path.
// Where paths are byte strings the name passes unchanged; where they are
// wide strings a name that is not valid UTF-8 is refused with an error.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "foundation/result.h"

namespace vk::tool {

bool isValidUtf8(std::string_view text);

Result<std::filesystem::path> pathFromArgument(std::string_view argument);

// The whole input file that the argument names; "cannot open ..." when it
// cannot be opened, "cannot read ...: ..." when a read fails.
Result<std::string> readInputFile(std::string_view argument);

}  // namespace vk::tool
