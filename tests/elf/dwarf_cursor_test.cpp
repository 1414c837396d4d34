// The bounds-checked cursor: fixed-size numbers in both byte orders, LEB128
// rules (bits beyond 64 dropped, sign fill) and truncation.
#include "elf/dwarf_cursor.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <vector>

namespace vk::elf {
namespace {

Cursor over(const std::vector<std::uint8_t>& bytes, bool le = true) {
    return Cursor{bytes.data(), bytes.size(), le, 0};
}

std::string failure(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "no failure";
}

TEST(DwarfCursor, FixedSizeNumbersFollowTheFileByteOrder) {
    const std::vector<std::uint8_t> b = {0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc, 0xde, 0xf0, 0x11};
    Cursor le = over(b);
    EXPECT_EQ(le.readU16(), 0x3412u);
    EXPECT_EQ(le.readUnsigned(3), 0x9a7856u);
    EXPECT_EQ(le.pos, 5u);
    Cursor be = over(b, false);
    EXPECT_EQ(be.readU32(), 0x12345678u);
    EXPECT_EQ(be.readU8(), 0x9au);
    Cursor be64 = over(b, false);
    EXPECT_EQ(be64.readU64(), 0x123456789abcdef0ull);
    Cursor zero = over(b);
    EXPECT_EQ(zero.readUnsigned(0), 0u);
    EXPECT_EQ(zero.pos, 0u);
}

TEST(DwarfCursor, NumbersWiderThanEightBytesKeepTheLowBytesAndStayInStep) {
    std::vector<std::uint8_t> b(16, 0);
    b[0] = 0x01;
    b[15] = 0x02;
    Cursor le = over(b);
    EXPECT_EQ(le.readUnsigned(16), 0x01u);
    EXPECT_EQ(le.pos, 16u);
    Cursor be = over(b, false);
    EXPECT_EQ(be.readUnsigned(16), 0x02u);
    EXPECT_EQ(failure([&] { over(b).readUnsigned(17); }), "DWARF data truncated");
}

TEST(DwarfCursor, UnsignedLeb128) {
    const std::vector<std::uint8_t> small = {0xe5, 0x8e, 0x26};
    EXPECT_EQ(over(small).readUleb(), 624485u);
    // Eleven bytes: bits at 64 and above are dropped, reading stops only at
    // the terminating byte.
    const std::vector<std::uint8_t> eleven = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
                                              0xff, 0xff, 0xff, 0xff, 0x7f};
    Cursor c = over(eleven);
    EXPECT_EQ(c.readUleb(), ~0ull);
    EXPECT_EQ(c.pos, 11u);
    const std::vector<std::uint8_t> padded = {0x81, 0x80, 0x80, 0x80, 0x80, 0x80,
                                              0x80, 0x80, 0x80, 0x80, 0x80, 0x00};
    EXPECT_EQ(over(padded).readUleb(), 1u);
}

TEST(DwarfCursor, SignedLeb128) {
    EXPECT_EQ(over({0x7f}).readSleb(), -1);
    EXPECT_EQ(over({0x3f}).readSleb(), 63);
    EXPECT_EQ(over({0x80, 0x7f}).readSleb(), -128);
    EXPECT_EQ(over({0xc0, 0xbb, 0x78}).readSleb(), -123456);
    // Ten bytes place 70 bits: no sign fill beyond the 64 kept.
    const std::vector<std::uint8_t> ten = {0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x7f};
    EXPECT_EQ(over(ten).readSleb(), std::int64_t(0x8000000000000000ull));
    const std::vector<std::uint8_t> min = {0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01};
    EXPECT_EQ(over(min).readSleb(), std::int64_t(0x8000000000000000ull));
}

TEST(DwarfCursor, EveryReadPastTheEndFails) {
    const std::vector<std::uint8_t> three = {1, 2, 3};
    EXPECT_EQ(failure([&] { over(three).readU32(); }), "DWARF data truncated");
    EXPECT_EQ(failure([&] { over({0x80, 0x80}).readUleb(); }), "DWARF data truncated");
    EXPECT_EQ(failure([&] { over({0xff}).readSleb(); }), "DWARF data truncated");
    EXPECT_EQ(failure([&] { over({'a', 'b'}).readCString(); }), "DWARF data truncated");
    EXPECT_EQ(failure([&] { over({}).readU8(); }), "DWARF data truncated");
    EXPECT_EQ(failure([&] { over(three).need(~0ull); }), "DWARF data truncated");
    Cursor c = over(three);
    c.readU16();
    EXPECT_EQ(failure([&] { c.readU16(); }), "DWARF data truncated");
    EXPECT_EQ(c.pos, 2u);
}

TEST(DwarfCursor, InlineStringsEndAtTheirNul) {
    const std::vector<std::uint8_t> b = {'a', 'b', 0, 0, 'c'};
    Cursor c = over(b);
    EXPECT_EQ(c.readCString(), "ab");
    EXPECT_EQ(c.readCString(), "");
    EXPECT_EQ(c.pos, 4u);
}

}  // namespace
}  // namespace vk::elf
