// The names that the DWARF reader has kept, found by the address of their
// first byte in the file: open addressing over a power-of-two table, so that
// a lookup is mostly one probe into one array. Internal to the DWARF reader.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace vk::elf {

class KeptNames {
public:
    // The name kept for text starting at `key`, or null.
    const std::string_view* find(const char* key) const {
        if (slots_.empty()) return nullptr;
        for (std::size_t i = slotOf(key);; i = (i + 1) & mask_) {
            if (slots_[i].key == key) return &slots_[i].kept;
            if (slots_[i].key == nullptr) return nullptr;
        }
    }

    // `key` must not be present yet.
    void insert(const char* key, std::string_view kept) {
        if (2 * (count_ + 1) > slots_.size()) grow();
        std::size_t i = slotOf(key);
        while (slots_[i].key != nullptr) i = (i + 1) & mask_;
        slots_[i] = Slot{key, kept};
        ++count_;
    }

private:
    struct Slot {
        const char* key = nullptr;
        std::string_view kept;
    };

    std::size_t slotOf(const char* key) const {
        const auto bits = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(key));
        return static_cast<std::size_t>((bits * 0x9E3779B97F4A7C15ull) >> shift_);
    }

    void grow() {
        std::vector<Slot> old = std::move(slots_);
        const std::size_t size = old.empty() ? 1024 : 2 * old.size();
        slots_.assign(size, Slot{});
        mask_ = size - 1;
        shift_ = 64;
        for (std::size_t s = size; s > 1; s >>= 1) --shift_;
        count_ = 0;
        for (const Slot& s : old)
            if (s.key != nullptr) insert(s.key, s.kept);
    }

    std::vector<Slot> slots_;
    std::size_t count_ = 0;
    std::size_t mask_ = 0;
    int shift_ = 64;
};

}  // namespace vk::elf
