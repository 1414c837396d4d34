// The -o file of generate and update mode: the A2L text replaces what stands
// there only once it reads back with the system's own loader, so that a run
// that ends in an error leaves every existing file as it was.
#pragma once

#include <string>
#include <string_view>

#include "foundation/result.h"

namespace vk::tool {

// Fails with the path's or the write's error, or with `failure` followed by the
// loader's message. The text is released once it is written.
Result<Empty> writeLoadableA2l(std::string_view argument, std::string&& text, std::string_view failure);

}  // namespace vk::tool
