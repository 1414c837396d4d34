#include "elf/name_store.h"

#include <cstring>
#include <utility>

namespace vk::elf {
namespace {

// Names are short; they are packed into blocks of this size, and a name of
// more than a quarter of it gets a block of its own.
constexpr std::size_t kBlockSize = std::size_t{64} << 10;

}  // namespace

NameStore& NameStore::operator=(NameStore&& other) noexcept {
    if (this == &other) return *this;  // its blocks would go, its free pointer stay
    blocks_ = std::move(other.blocks_);
    free_ = std::exchange(other.free_, nullptr);
    room_ = std::exchange(other.room_, 0);
    bytes_ = std::exchange(other.bytes_, 0);
    other.blocks_.clear();  // a moved-from vector is only valid, not empty
    return *this;
}

std::string_view NameStore::keep(std::string_view text) {
    if (text.empty()) return {};
    char* at = nullptr;
    if (text.size() > kBlockSize / 4) {
        // A block of its own; the room left in the last shared block stays in use.
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(text.size()));
        at = blocks_.back().get();
    } else {
        if (room_ < text.size()) {
            blocks_.push_back(std::make_unique_for_overwrite<char[]>(kBlockSize));
            free_ = blocks_.back().get();
            room_ = kBlockSize;
        }
        at = free_;
        free_ += text.size();
        room_ -= text.size();
    }
    std::memcpy(at, text.data(), text.size());
    bytes_ += text.size();
    return {at, text.size()};
}

}  // namespace vk::elf
