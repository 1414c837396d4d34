// Every attribute form with its class, across versions 2 to 5, address sizes
// 4 and 8, the 32- and 64-bit formats and both byte orders.
#include "elf/dwarf_forms.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <tuple>

#include "dwarf_builder.h"

namespace vk::elf {
namespace {

using test::Bytes;

struct Shape {
    std::uint16_t version;
    std::uint8_t addressSize;
    bool dwarf64;
    bool le;
};

class DwarfForms : public ::testing::TestWithParam<std::tuple<int, int, bool, bool>> {
protected:
    Shape shape() const {
        const auto [v, a, d64, le] = GetParam();
        return Shape{static_cast<std::uint16_t>(v), static_cast<std::uint8_t>(a), d64, le};
    }
    Unit unit() const {
        Unit u;
        u.version = shape().version;
        u.addressSize = shape().addressSize;
        u.dwarf64 = shape().dwarf64;
        return u;
    }
    // Decodes `bytes` as one value of `form` and checks that all of them were read.
    AttrValue decode(std::uint64_t form, const Bytes& bytes, std::int64_t implicitConst = 0) {
        Cursor c{bytes.data.data(), bytes.size(), shape().le, 0};
        const AttrValue v = readAttributeValue(c, form, unit(), 0x100, implicitConst);
        EXPECT_EQ(c.pos, bytes.size()) << "form 0x" << std::hex << form;
        return v;
    }
    Bytes bytes() const { return Bytes(shape().le); }
    int offsetSize() const { return shape().dwarf64 ? 8 : 4; }
};

void expectValue(const AttrValue& v, AttrClass c, std::uint64_t value) {
    EXPECT_EQ(v.attrClass, c);
    EXPECT_EQ(v.value, value);
}

TEST_P(DwarfForms, ConstantsAndFlags) {
    expectValue(decode(0x0b, bytes().u8(0xff)), AttrClass::Unsigned, 0xff);
    expectValue(decode(0x05, bytes().u16(0xbeef)), AttrClass::Unsigned, 0xbeef);
    expectValue(decode(0x06, bytes().u32(0xdeadbeef)), AttrClass::Unsigned, 0xdeadbeef);
    expectValue(decode(0x07, bytes().u64(0x0123456789abcdefull)), AttrClass::Unsigned, 0x0123456789abcdefull);
    EXPECT_EQ(decode(0x0b, bytes().u8(0xff)).signedValue(), 255);
    const AttrValue sdata = decode(0x0d, bytes().raw({0x7f}));
    EXPECT_EQ(sdata.attrClass, AttrClass::Signed);
    EXPECT_EQ(sdata.signedValue(), -1);
    expectValue(decode(0x0f, bytes().uleb(300)), AttrClass::Unsigned, 300);
    expectValue(decode(0x0c, bytes().u8(7)), AttrClass::Flag, 7);
    expectValue(decode(0x19, bytes()), AttrClass::Flag, 1);
    const AttrValue implicit = decode(0x21, bytes(), -42);
    EXPECT_EQ(implicit.attrClass, AttrClass::Signed);
    EXPECT_EQ(implicit.signedValue(), -42);
    expectValue(decode(0x17, bytes().num(0x77, offsetSize())), AttrClass::Unsigned, 0x77);
    expectValue(decode(0x22, bytes().uleb(5)), AttrClass::Unsigned, 5);
    expectValue(decode(0x23, bytes().uleb(6)), AttrClass::Unsigned, 6);
    EXPECT_EQ(decode(0x0c, bytes().u8(1)).signedValue(), 0);
}

TEST_P(DwarfForms, AddressesAndAddressIndices) {
    expectValue(decode(0x01, bytes().num(0x12345678, shape().addressSize)), AttrClass::Address, 0x12345678);
    expectValue(decode(0x1b, bytes().uleb(3)), AttrClass::Addrx, 3);
    expectValue(decode(0x29, bytes().u8(1)), AttrClass::Addrx, 1);
    expectValue(decode(0x2a, bytes().u16(0x102)), AttrClass::Addrx, 0x102);
    expectValue(decode(0x2b, bytes().num(0x10203, 3)), AttrClass::Addrx, 0x10203);
    expectValue(decode(0x2c, bytes().u32(0x1020304)), AttrClass::Addrx, 0x1020304);
    expectValue(decode(0x1f01, bytes().uleb(9)), AttrClass::Addrx, 9);
}

TEST_P(DwarfForms, StringsAndStringIndices) {
    const Bytes text = bytes().str("speed");
    const AttrValue inline_ = decode(0x08, text);
    EXPECT_EQ(inline_.attrClass, AttrClass::String);
    EXPECT_EQ(inline_.text(), "speed");
    expectValue(decode(0x0e, bytes().num(0x44, offsetSize())), AttrClass::Strp, 0x44);
    expectValue(decode(0x1f, bytes().num(0x45, offsetSize())), AttrClass::LineStrp, 0x45);
    expectValue(decode(0x1a, bytes().uleb(2)), AttrClass::Strx, 2);
    expectValue(decode(0x25, bytes().u8(3)), AttrClass::Strx, 3);
    expectValue(decode(0x26, bytes().u16(4)), AttrClass::Strx, 4);
    expectValue(decode(0x27, bytes().num(5, 3)), AttrClass::Strx, 5);
    expectValue(decode(0x28, bytes().u32(6)), AttrClass::Strx, 6);
    expectValue(decode(0x1f02, bytes().uleb(7)), AttrClass::Strx, 7);
}

TEST_P(DwarfForms, ReferencesAreOffsetsInDebugInfo) {
    expectValue(decode(0x11, bytes().u8(0x10)), AttrClass::Reference, 0x110);
    expectValue(decode(0x12, bytes().u16(0x10)), AttrClass::Reference, 0x110);
    expectValue(decode(0x13, bytes().u32(0x10)), AttrClass::Reference, 0x110);
    expectValue(decode(0x14, bytes().u64(0x10)), AttrClass::Reference, 0x110);
    expectValue(decode(0x15, bytes().uleb(0x10)), AttrClass::Reference, 0x110);
    // ref_addr: address size in version 2, offset size from version 3 on.
    const int width = shape().version == 2 ? shape().addressSize : offsetSize();
    expectValue(decode(0x10, bytes().num(0x2000, width)), AttrClass::Reference, 0x2000);
}

TEST_P(DwarfForms, BlocksAreViewsOfTheirBytes) {
    auto check = [&](std::uint64_t form, Bytes b, std::size_t lengthBytes) {
        b.raw({0x03, 0xaa, 0xbb});
        const AttrValue v = decode(form, b);
        EXPECT_EQ(v.attrClass, AttrClass::Block);
        ASSERT_EQ(v.blockSize, 3u);
        EXPECT_EQ(v.block[0], 0x03);
        EXPECT_EQ(v.block[2], 0xbb);
        EXPECT_EQ(v.signedValue(), 0);
        (void)lengthBytes;
    };
    check(0x0a, bytes().u8(3), 1);
    check(0x03, bytes().u16(3), 2);
    check(0x04, bytes().u32(3), 4);
    check(0x09, bytes().uleb(3), 1);
    check(0x18, bytes().uleb(3), 1);
}

TEST_P(DwarfForms, UnfollowedFormsAreSteppedOver) {
    EXPECT_EQ(decode(0x1c, bytes().u32(1)).attrClass, AttrClass::None);
    EXPECT_EQ(decode(0x1d, bytes().num(1, offsetSize())).attrClass, AttrClass::None);
    EXPECT_EQ(decode(0x1e, bytes().u64(1).u64(2)).attrClass, AttrClass::None);
    EXPECT_EQ(decode(0x20, bytes().u64(1)).attrClass, AttrClass::None);
    EXPECT_EQ(decode(0x24, bytes().u64(1)).attrClass, AttrClass::None);
    EXPECT_EQ(decode(0x1f20, bytes().num(1, offsetSize())).attrClass, AttrClass::None);
    EXPECT_EQ(decode(0x1f21, bytes().num(1, offsetSize())).attrClass, AttrClass::None);
}

TEST_P(DwarfForms, IndirectFormsNameTheirForm) {
    expectValue(decode(0x16, bytes().uleb(0x0b).u8(9)), AttrClass::Unsigned, 9);
    expectValue(decode(0x16, bytes().uleb(0x16).uleb(0x13).u32(4)), AttrClass::Reference, 0x104);
    EXPECT_EQ(decode(0x16, bytes().uleb(0x21), 5).signedValue(), 5);
}

INSTANTIATE_TEST_SUITE_P(AllShapes, DwarfForms,
                         ::testing::Combine(::testing::Values(2, 3, 4, 5), ::testing::Values(4, 8),
                                            ::testing::Bool(), ::testing::Bool()));

std::string failure(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "no failure";
}

TEST(DwarfFormErrors, UnsupportedFormsNameTheirCode) {
    Unit u;
    u.version = 4;
    u.addressSize = 4;
    const std::vector<std::uint8_t> bytes(32, 0);
    auto read = [&](std::uint64_t form) {
        return failure([&] {
            Cursor c{bytes.data(), bytes.size(), true, 0};
            readAttributeValue(c, form, u, 0, 0);
        });
    };
    EXPECT_EQ(read(0x30), "unsupported DWARF form 0x30");
    EXPECT_EQ(read(0x00), "unsupported DWARF form 0x0");
    EXPECT_EQ(read(0x02), "unsupported DWARF form 0x2");
    EXPECT_EQ(read(0x1f03), "unsupported DWARF form 0x1f03");
    EXPECT_EQ(read(0xffffffffffffffffull), "unsupported DWARF form 0xffffffffffffffff");
    // An indirect form naming an unsupported one.
    const std::vector<std::uint8_t> indirect = {0x2d};
    EXPECT_EQ(failure([&] {
                  Cursor c{indirect.data(), indirect.size(), true, 0};
                  readAttributeValue(c, 0x16, u, 0, 0);
              }),
              "unsupported DWARF form 0x2d");
}

TEST(DwarfFormErrors, TruncatedValuesAndBlocks) {
    Unit u;
    u.version = 5;
    u.addressSize = 8;
    auto read = [&](std::uint64_t form, std::vector<std::uint8_t> bytes) {
        return failure([&] {
            Cursor c{bytes.data(), bytes.size(), true, 0};
            readAttributeValue(c, form, u, 0, 0);
        });
    };
    EXPECT_EQ(read(0x01, {1, 2, 3, 4}), "DWARF data truncated");
    EXPECT_EQ(read(0x0a, {4, 1, 2, 3}), "DWARF data truncated");
    EXPECT_EQ(read(0x09, {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x01}),
              "DWARF data truncated");
    EXPECT_EQ(read(0x08, {'a', 'b'}), "DWARF data truncated");
    EXPECT_EQ(read(0x1e, std::vector<std::uint8_t>(15, 0)), "DWARF data truncated");
    EXPECT_EQ(read(0x16, {}), "DWARF data truncated");
    // A run of indirections ends at the data's end, without recursion.
    EXPECT_EQ(read(0x16, std::vector<std::uint8_t>(100000, 0x16)), "DWARF data truncated");
}

}  // namespace
}  // namespace vk::elf
