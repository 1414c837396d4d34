// Where generate and update mode put their A2L text: standard output, byte
// for byte, or the -o file, which the text replaces only once it reads back
// with the system's own loader, so that a run that ends in an error leaves
// every existing file as it was.
#pragma once

#include <string>
#include <string_view>

#include "foundation/result.h"

namespace vk::tool {

// Every byte of the text (NUL bytes, CR LF line ends) as -o would write it;
// false when a write fails. On Windows standard output is in binary mode for
// this write only: list lines, messages and reports stay in text mode.
bool writeA2lToStdout(std::string_view text);

// Fails with the path's or the write's error, or with `failure` followed by the
// loader's message. The text is released once it is written.
Result<Empty> writeLoadableA2l(std::string_view argument, std::string&& text, std::string_view failure);

// "cannot write OUTPUT: it is the ROLE" when the -o argument names the same
// file as the input argument, through links or another spelling of it.
Result<Empty> refuseOutputOverInput(std::string_view output, std::string_view input, std::string_view role);

}  // namespace vk::tool
