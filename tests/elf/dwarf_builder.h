// Hand-built ELF files with DWARF sections, for the reader's tests of
// malformed and corner-case input that no compiler emits.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "elf/debug_info.h"
#include "elf/elf_file.h"

namespace vk::elf::test {

// Bytes written in a chosen byte order.
class Bytes {
public:
    explicit Bytes(bool littleEndian = true) : le_(littleEndian) {}

    Bytes& u8(std::uint64_t v) { return num(v, 1); }
    Bytes& u16(std::uint64_t v) { return num(v, 2); }
    Bytes& u32(std::uint64_t v) { return num(v, 4); }
    Bytes& u64(std::uint64_t v) { return num(v, 8); }
    Bytes& num(std::uint64_t v, int n) {
        for (int i = 0; i < n; ++i) {
            const int shift = le_ ? 8 * i : 8 * (n - 1 - i);
            data.push_back(static_cast<std::uint8_t>(shift < 64 ? v >> shift : 0));
        }
        return *this;
    }
    Bytes& uleb(std::uint64_t v) {
        do {
            std::uint8_t b = v & 0x7f;
            v >>= 7;
            if (v) b |= 0x80;
            data.push_back(b);
        } while (v);
        return *this;
    }
    Bytes& sleb(std::int64_t v) {
        for (;;) {
            std::uint8_t b = v & 0x7f;
            v >>= 7;
            const bool done = (v == 0 && !(b & 0x40)) || (v == -1 && (b & 0x40));
            data.push_back(done ? b : (b | 0x80));
            if (done) return *this;
        }
    }
    Bytes& str(const std::string& s) {
        data.insert(data.end(), s.begin(), s.end());
        data.push_back(0);
        return *this;
    }
    Bytes& raw(std::initializer_list<std::uint8_t> bytes) {
        data.insert(data.end(), bytes);
        return *this;
    }
    Bytes& append(const std::vector<std::uint8_t>& bytes) {
        data.insert(data.end(), bytes.begin(), bytes.end());
        return *this;
    }
    std::size_t size() const { return data.size(); }
    bool littleEndian() const { return le_; }

    std::vector<std::uint8_t> data;

private:
    bool le_;
};

struct SectionSpec {
    std::string name;
    std::vector<std::uint8_t> bytes;
    std::uint32_t type = 1;  // SHT_PROGBITS
    std::uint64_t flags = 0;
    std::uint64_t addr = 0;
    std::uint64_t size = 0;  // SHT_NOBITS only
    std::string link = {};   // sh_link: the section of this name, none when empty
};

// An ELF file (no program headers) holding the given sections.
std::vector<std::uint8_t> buildElf(const std::vector<SectionSpec>& sections, bool is64, bool littleEndian);

// An abbreviation declaration: code, tag, children, (attr, form) pairs.
// Implicit constants follow their pair as a third number via abbrevConst.
struct AttrForm {
    std::uint64_t attr;
    std::uint64_t form;
    std::int64_t implicitConst = 0;
};
void abbrevDecl(Bytes& b, std::uint64_t code, std::uint64_t tag, bool children,
                std::initializer_list<AttrForm> specs);

struct UnitShape {
    std::uint16_t version = 4;
    std::uint8_t addressSize = 4;
    bool dwarf64 = false;
    std::uint8_t unitType = 1;
    std::uint64_t abbrevOffset = 0;
};

// Bytes from the unit's start to its first DIE.
std::size_t unitHeaderSize(const UnitShape& shape);
// A whole unit: its header, then `body` (the DIEs).
std::vector<std::uint8_t> buildUnit(const UnitShape& shape, const std::vector<std::uint8_t>& body,
                                    bool littleEndian);

// The usual test file: .debug_info and .debug_abbrev plus optional further
// debug sections, and an allocated .data section at 0x1000 of 0x1000 bytes
// so that test variables there have a fixed address in the image.
struct DwarfFile {
    bool is64 = false;
    bool littleEndian = true;
    std::vector<std::uint8_t> info, abbrev, str, lineStr, strOffsets, addr;
    std::vector<SectionSpec> extra;
};
ElfFile makeElf(const DwarfFile& f);

// Writes the DIEs of one unit; references are unit-relative ref4 values,
// forward ones through a slot patched later.
class DieWriter {
public:
    explicit DieWriter(UnitShape shape, bool littleEndian = true) : b(littleEndian), shape_(shape) {}
    std::uint32_t offset() const { return static_cast<std::uint32_t>(unitHeaderSize(shape_) + b.size()); }
    DieWriter& code(std::uint64_t c) {
        b.uleb(c);
        return *this;
    }
    std::size_t slot() {
        b.u32(0);
        return b.size() - 4;
    }
    void patch(std::size_t slot, std::uint32_t target) {
        Bytes v(b.littleEndian());
        v.u32(target);
        std::copy(v.data.begin(), v.data.end(), b.data.begin() + static_cast<std::ptrdiff_t>(slot));
    }
    // DW_OP_addr with the unit's address size, as an exprloc.
    DieWriter& addrLocation(std::uint64_t address) {
        b.uleb(1 + shape_.addressSize).u8(0x03).num(address, shape_.addressSize);
        return *this;
    }
    std::vector<std::uint8_t> unit() const { return buildUnit(shape_, b.data, b.littleEndian()); }

    Bytes b;

private:
    UnitShape shape_;
};

// Abbreviation codes of commonAbbrevs(); names are inline strings,
// references ref4.
enum Abbr : std::uint64_t {
    kCu = 1,          // children: name
    kVar,             // name, type, location exprloc, external flag_present
    kBase,            // name, byte_size data1, encoding data1
    kStruct,          // children: name, byte_size data1
    kMember,          // name, type, data_member_location data1
    kBitField4,       // name, type, data_bit_offset data1, bit_size data1
    kBitField2,       // name, type, byte_size data1, bit_size data1, bit_offset data1, member_location data1
    kMemberBlock,     // name, type, data_member_location exprloc
    kArray,           // children: type
    kSubrangeUpper,   // upper_bound sdata
    kSubrangeCount,   // count data1
    kSubrangeNone,    // nothing
    kEnum,            // children: name, type, byte_size data1
    kEnumerator1,     // name, const_value data1
    kEnumeratorS,     // name, const_value sdata
    kPointer,         // type
    kTypedef,         // name, type
    kSubprogram,      // children: name
    kVarDefinition,   // reference to its declaration, location exprloc
    kVarDecl,         // children-less: name, type, declaration flag_present, external flag_present
    kLexicalBlock,    // children
    kNamespace,       // children: name
    kVarLocList,      // name, type, location sec_offset
    kVarDeclFlag0,    // name, declaration flag, location exprloc
    kInheritance,     // type, data_member_location data1
    kVarOrigin,       // abstract_origin, location exprloc
    kStaticMember,    // name, type, external flag_present, declaration flag_present
    kSubrangeBounds,  // lower_bound data1, upper_bound data1
    kBitFieldSized,   // name, type, byte_size data8, data_bit_offset data1, bit_size data1
    kQualifier,       // const_type: type
    kVarNoType,       // name, location exprloc
    kSubrangeCountBlock,  // count exprloc, upper_bound data1
    kUnion,               // children: name, byte_size data1
    kBitField2Signed,     // as kBitField2 with bit_offset and member_location sdata
    kVarArtificial,       // type, location exprloc, artificial flag_present
};
std::vector<std::uint8_t> commonAbbrevs(bool littleEndian = true);
Result<DebugInfo> load(const DwarfFile& f);

}  // namespace vk::elf::test
