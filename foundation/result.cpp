#include "foundation/result.h"

#include <cstdio>
#include <cstdlib>

namespace vk {

void failedResultAccess(const Error* error) {
    if (error != nullptr) {
        std::fprintf(stderr, "vk: accessed value of failed Result: %s\n", error->message().c_str());
    } else {
        std::fprintf(stderr, "vk: accessed error of successful Result\n");
    }
    std::abort();
}

}  // namespace vk
