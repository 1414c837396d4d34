// The failure of one A2L object reader. The guard around the reader turns it into a
// skip warning and goes on; it deliberately derives from no standard exception, so
// guards that catch those do not catch it.
#pragma once

#include <string>

namespace vk::a2l {

struct ObjectError {
    std::string message;
};

}  // namespace vk::a2l
