// A growable array stored in fixed-size chunks. The DIE table of a large file
// holds tens of millions of entries; chunks let it grow without the copy (and
// the doubled peak memory) of a vector reallocation.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace vk::elf {

template <typename T>
class ChunkedVector {
public:
    static constexpr std::size_t kShift = 12;
    static constexpr std::size_t kChunk = std::size_t{1} << kShift;

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    T& operator[](std::size_t i) { return chunks_[i >> kShift][i & (kChunk - 1)]; }
    const T& operator[](std::size_t i) const { return chunks_[i >> kShift][i & (kChunk - 1)]; }
    T& back() { return (*this)[size_ - 1]; }

    void push_back(const T& value) {
        if ((size_ & (kChunk - 1)) == 0 && (size_ >> kShift) == chunks_.size())
            chunks_.push_back(std::make_unique_for_overwrite<T[]>(kChunk));
        (*this)[size_] = value;
        ++size_;
    }

private:
    std::vector<std::unique_ptr<T[]>> chunks_;
    std::size_t size_ = 0;
};

}  // namespace vk::elf
