// A2L identifiers for names from the debug information: every byte that an
// A2L identifier cannot hold becomes "_", so ns::speed reads ns__speed. The
// module name passes through the same function.
#pragma once

#include <cstddef>
#include <string>

namespace vk::tool {

// The most characters an A2L identifier holds.
inline constexpr std::size_t kMaxA2lIdentifier = 1024;

std::string makeA2lIdentifier(const std::string& name);

}  // namespace vk::tool
