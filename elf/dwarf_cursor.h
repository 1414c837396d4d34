// A bounds-checked reader over one byte range of a debug section. Every read
// checks that its bytes remain before it advances; numbers are assembled byte
// by byte in the file's byte order, whatever the host's.
#pragma once

#include <cstdint>
#include <string_view>

#include "elf/dwarf_error.h"

namespace vk::elf {

struct Cursor {
    const std::uint8_t* data = nullptr;
    std::uint64_t size = 0;
    bool littleEndian = true;
    std::uint64_t pos = 0;

    std::uint64_t remaining() const { return size - pos; }

    // Fails with "DWARF data truncated" unless n bytes remain.
    void need(std::uint64_t n) const {
        if (n > size - pos) throwTruncated();
    }

    std::uint8_t readU8() {
        need(1);
        return data[pos++];
    }
    std::uint16_t readU16() { return static_cast<std::uint16_t>(readUnsigned(2)); }
    std::uint32_t readU32() { return static_cast<std::uint32_t>(readUnsigned(4)); }
    std::uint64_t readU64() { return readUnsigned(8); }

    // n bytes as an unsigned number. Wider than 8 bytes (outside the supported
    // range) keeps the 8 least significant bytes, so reads still stay in step.
    std::uint64_t readUnsigned(std::uint64_t n) {
        need(n);
        const std::uint8_t* p = data + pos;
        pos += n;
        std::uint64_t value = 0;
        if (littleEndian) {
            for (std::uint64_t i = n < 8 ? n : 8; i > 0; --i) value = (value << 8) | p[i - 1];
        } else {
            for (std::uint64_t i = n > 8 ? n - 8 : 0; i < n; ++i) value = (value << 8) | p[i];
        }
        return value;
    }

    // Bits that would land at position 64 or above are dropped; the number is
    // still read up to its terminating byte.
    std::uint64_t readUleb() {
        std::uint64_t value = 0;
        unsigned shift = 0;
        std::uint8_t byte = 0;
        do {
            byte = readU8();
            if (shift < 64) value |= static_cast<std::uint64_t>(byte & 0x7f) << shift;
            shift += shift < 64 ? 7 : 0;
        } while (byte & 0x80);
        return value;
    }

    std::int64_t readSleb() {
        std::uint64_t value = 0;
        unsigned shift = 0;
        std::uint8_t byte = 0;
        do {
            byte = readU8();
            if (shift < 64) value |= static_cast<std::uint64_t>(byte & 0x7f) << shift;
            shift += shift < 64 ? 7 : 0;
        } while (byte & 0x80);
        if ((byte & 0x40) && shift < 64) value |= ~std::uint64_t{0} << shift;
        return static_cast<std::int64_t>(value);
    }

    // A NUL-terminated string; the view excludes the NUL, which is consumed.
    std::string_view readCString() {
        const std::uint8_t* begin = data + pos;
        const std::uint8_t* end = data + size;
        const std::uint8_t* p = begin;
        while (p != end && *p != 0) ++p;
        if (p == end) throwTruncated();
        pos += static_cast<std::uint64_t>(p - begin) + 1;
        return std::string_view(reinterpret_cast<const char*>(begin), static_cast<std::size_t>(p - begin));
    }

    void skip(std::uint64_t n) {
        need(n);
        pos += n;
    }
};

}  // namespace vk::elf
