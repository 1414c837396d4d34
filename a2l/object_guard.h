// The guard around one A2L object reader: a bad object becomes the warning
// "line N: KIND NAME skipped: MESSAGE" and the load goes on. Only ObjectError
// is caught; anything else (memory exhaustion) leaves the load.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "a2l/block.h"
#include "a2l/object_error.h"

namespace vk::a2l {

// NAME is the raw text of the block's first token, empty when it has none.
std::string skipWarning(const Block& block, std::string_view message);

// Runs read(); on ObjectError appends the block's skip warning instead.
template <typename Read>
void guardObject(const Block& block, std::vector<std::string>& warnings, Read&& read) {
    try {
        read();
    } catch (const ObjectError& error) {
        warnings.push_back(skipWarning(block, error.message));
    }
}

}  // namespace vk::a2l
