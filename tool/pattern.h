// Whole-name wildcard match used to filter scalars by name: "?" stands for
// one byte, "*" for any run of bytes. Bytes compare as they are.
#pragma once

#include <string_view>

namespace vk::tool {

// A pattern byte is tried as "?" first, then literally, and only then as
// "*"; so a "*" that meets a "*" in the name is consumed as that byte.
bool matchPattern(std::string_view pattern, std::string_view name);

// True when some name that begins with `prefix` matches the pattern, so
// that an expansion must look under it. A prefix holding a "*" is always
// let through, rather than model that byte's literal reading.
bool prefixCanMatch(std::string_view pattern, std::string_view prefix);

}  // namespace vk::tool
