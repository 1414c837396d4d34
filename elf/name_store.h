// The text of every name in the debug information. Types, members,
// enumerators and globals hold views into it, so a name that thousands of
// entries share (an enumerator of a header included by every unit) is held
// once. Its blocks never move: the views stay valid when the store, or the
// DebugInfo that holds it, is moved.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace vk::elf {

class NameStore {
public:
    NameStore() = default;
    NameStore(NameStore&& other) noexcept { *this = std::move(other); }
    NameStore& operator=(NameStore&& other) noexcept;
    // Views into one store cannot follow a copy; DebugInfo copies re-point them.
    NameStore(const NameStore&) = delete;
    NameStore& operator=(const NameStore&) = delete;

    // A copy of `text` that lives as long as the store; empty for empty text.
    std::string_view keep(std::string_view text);
    // Bytes of text kept so far.
    std::uint64_t bytes() const { return bytes_; }

private:
    std::vector<std::unique_ptr<char[]>> blocks_;
    char* free_ = nullptr;  // in the last small-name block
    std::size_t room_ = 0;
    std::uint64_t bytes_ = 0;
};

}  // namespace vk::elf
