// A2L identifiers for names from the debug information: every byte that an
// A2L identifier cannot hold becomes "_", so ns::speed reads ns__speed. The
// module name passes through the same function.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vk::tool {

// The most characters an A2L identifier holds.
inline constexpr std::size_t kMaxA2lIdentifier = 1024;

std::string makeA2lIdentifier(const std::string& name);

// Whether the name is its own identifier, so that nothing else leads to it.
bool isA2lIdentifier(std::string_view name);

// Whether makeA2lIdentifier keeps every byte of the text as it is: what a
// name's identifier must know of text appended to the name.
bool keepsEveryByte(std::string_view text);

}  // namespace vk::tool
