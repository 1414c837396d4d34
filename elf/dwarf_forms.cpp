#include "elf/dwarf_forms.h"

#include <cstdio>

namespace vk::elf {

[[noreturn]] void throwTruncated() {
    throw ParseError("DWARF data truncated");
}

namespace {

[[noreturn]] void throwUnsupportedForm(std::uint64_t form) {
    char digits[24];
    std::snprintf(digits, sizeof digits, "%llx", static_cast<unsigned long long>(form));
    throw ParseError(std::string("unsupported DWARF form 0x") + digits);
}

AttrValue number(AttrClass c, std::uint64_t v) {
    return AttrValue{c, v, nullptr, 0};
}

AttrValue blockOf(Cursor& c, std::uint64_t length) {
    c.need(length);
    AttrValue v{AttrClass::Block, 0, c.data + c.pos, length};
    c.pos += length;
    return v;
}

AttrValue skipped(Cursor& c, std::uint64_t n) {
    c.skip(n);
    return AttrValue{};
}

}  // namespace

AttrValue readAttributeValue(Cursor& c, std::uint64_t form, const Unit& unit, std::uint64_t unitOffset,
                             std::int64_t implicitConst) {
    const std::uint64_t offsetSize = unit.offsetSize();
    // An indirect form names the real one in the data; a loop, not recursion,
    // so a run of indirections cannot exhaust the stack.
    while (form == 0x16) form = c.readUleb();
    switch (form) {
        case 0x01:
            return number(AttrClass::Address, c.readUnsigned(unit.addressSize));
        case 0x03:
            return blockOf(c, c.readU16());
        case 0x04:
            return blockOf(c, c.readU32());
        case 0x05:
            return number(AttrClass::Unsigned, c.readU16());
        case 0x06:
            return number(AttrClass::Unsigned, c.readU32());
        case 0x07:
            return number(AttrClass::Unsigned, c.readU64());
        case 0x08: {
            const std::string_view s = c.readCString();
            return AttrValue{AttrClass::String, 0, reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
        }
        case 0x09:
            return blockOf(c, c.readUleb());
        case 0x0a:
            return blockOf(c, c.readU8());
        case 0x0b:
            return number(AttrClass::Unsigned, c.readU8());
        case 0x0c:
            return number(AttrClass::Flag, c.readU8());
        case 0x0d:
            return number(AttrClass::Signed, static_cast<std::uint64_t>(c.readSleb()));
        case 0x0e:
            return number(AttrClass::Strp, c.readUnsigned(offsetSize));
        case 0x0f:
            return number(AttrClass::Unsigned, c.readUleb());
        case 0x10:
            return number(AttrClass::Reference,
                          c.readUnsigned(unit.version <= 2 ? unit.addressSize : offsetSize));
        case 0x11:
            return number(AttrClass::Reference, c.readU8() + unitOffset);
        case 0x12:
            return number(AttrClass::Reference, c.readU16() + unitOffset);
        case 0x13:
            return number(AttrClass::Reference, c.readU32() + unitOffset);
        case 0x14:
            return number(AttrClass::Reference, c.readU64() + unitOffset);
        case 0x15:
            return number(AttrClass::Reference, c.readUleb() + unitOffset);
        case 0x17:
            return number(AttrClass::Unsigned, c.readUnsigned(offsetSize));
        case 0x18:
            return blockOf(c, c.readUleb());
        case 0x19:
            return number(AttrClass::Flag, 1);
        case 0x1a:
            return number(AttrClass::Strx, c.readUleb());
        case 0x1b:
            return number(AttrClass::Addrx, c.readUleb());
        case 0x1c:
            return skipped(c, 4);
        case 0x1d:
            return skipped(c, offsetSize);
        case 0x1e:
            return skipped(c, 16);
        case 0x1f:
            return number(AttrClass::LineStrp, c.readUnsigned(offsetSize));
        case 0x20:
            return skipped(c, 8);
        case 0x21:
            return number(AttrClass::Signed, static_cast<std::uint64_t>(implicitConst));
        case 0x22:
        case 0x23:
            return number(AttrClass::Unsigned, c.readUleb());
        case 0x24:
            return skipped(c, 8);
        case 0x25:
            return number(AttrClass::Strx, c.readUnsigned(1));
        case 0x26:
            return number(AttrClass::Strx, c.readUnsigned(2));
        case 0x27:
            return number(AttrClass::Strx, c.readUnsigned(3));
        case 0x28:
            return number(AttrClass::Strx, c.readUnsigned(4));
        case 0x29:
            return number(AttrClass::Addrx, c.readUnsigned(1));
        case 0x2a:
            return number(AttrClass::Addrx, c.readUnsigned(2));
        case 0x2b:
            return number(AttrClass::Addrx, c.readUnsigned(3));
        case 0x2c:
            return number(AttrClass::Addrx, c.readUnsigned(4));
        case 0x1f01:
            return number(AttrClass::Addrx, c.readUleb());
        case 0x1f02:
            return number(AttrClass::Strx, c.readUleb());
        case 0x1f20:
        case 0x1f21:
            return skipped(c, offsetSize);
        default:
            throwUnsupportedForm(form);
    }
}

}  // namespace vk::elf
