// Arbitrary text through the source index that the in-place updater edits
// by; every span it gives must lie inside the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "a2l/source_index.h"

namespace {

void checkSpan(const vk::a2l::TokenSpan& span, std::size_t size) {
    if (!span.present()) return;
    const auto offset = static_cast<std::uint64_t>(span.offset);
    if (offset > size || span.length > size - offset) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto objects = vk::a2l::scanSource(text);
    if (!objects.ok()) return 0;
    for (const auto& object : objects.value()) {
        checkSpan(object.addressToken, size);
        checkSpan(object.dataTypeToken, size);
        checkSpan(object.conversionToken, size);
        checkSpan(object.lowerLimitToken, size);
        checkSpan(object.upperLimitToken, size);
        if (object.blockBegin > object.blockEnd || object.blockEnd > size) std::abort();
    }
    (void)vk::a2l::buildSourceIndex(text);
    return 0;
}
