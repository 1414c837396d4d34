// The list line and the summary, byte for byte.
#include "tool/list_mode.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace vk::tool {
namespace {

vk::elf::Variable leaf(std::string name, std::uint64_t address, std::uint64_t size, bool bitField = false) {
    vk::elf::Variable v;
    v.name = std::move(name);
    v.address = address;
    v.size = size;
    v.isBitField = bitField;
    return v;
}

TEST(ListLine, ColumnsAndSuffix) {
    EXPECT_EQ(listLine(leaf("counter", 0x1234, 4), "int"),
              "0x00001234  4   int                      counter\n");
    EXPECT_EQ(listLine(leaf("s.mode", 0xabcdef, 4, true), "unsigned int"),
              "0x00ABCDEF  4   unsigned int             s.mode (bit field)\n");
    // Wide values widen their columns instead of being cut.
    EXPECT_EQ(listLine(leaf("big", std::uint64_t{1} << 32, 1234), "a_type_name_of_thirty_chars__"),
              "0x100000000  1234 a_type_name_of_thirty_chars__ big\n");
    EXPECT_EQ(listLine(leaf("anon", 0, 8), "struct "), "0x00000000  8   struct                   anon\n");
}

// The line is built without a formatting call; it must be the one that
// "0x%08llX  %-3llu %-24s %s%s\n" gives, column widths, wide values and all.
TEST(ListLine, SameBytesAsItsFormat) {
    const std::uint64_t addresses[] = {0, 0xf, 0xabcdef0, 0x12345678, 0x123456789, ~std::uint64_t{0}};
    const std::uint64_t sizes[] = {0, 7, 99, 100, 999, 1000, ~std::uint64_t{0}};
    const std::string types[] = {"",
                                 "int",
                                 std::string(23, 't'),
                                 std::string(24, 't'),
                                 std::string(25, 't'),
                                 std::string("cut\0off", 7)};
    const std::string names[] = {"", "g", "a.b[1][2].c", std::string(300, 'n'), std::string("x\0y", 3)};
    for (std::uint64_t address : addresses)
        for (std::uint64_t size : sizes)
            for (const std::string& type : types)
                for (const std::string& name : names)
                    for (bool bitField : {false, true}) {
                        const vk::elf::Variable v = leaf(name, address, size, bitField);
                        char expected[512];
                        std::snprintf(expected, sizeof expected, "0x%08llX  %-3llu %-24s %s%s\n",
                                      static_cast<unsigned long long>(address),
                                      static_cast<unsigned long long>(size), type.c_str(), name.c_str(),
                                      bitField ? " (bit field)" : "");
                        std::string appended = "before|";
                        appendListLine(appended, v, type);
                        EXPECT_EQ(appended, std::string("before|") + expected);
                        EXPECT_EQ(listLine(v, type), expected);
                    }
}

TEST(ListSummary, NamesMachineAndByteOrder) {
    vk::elf::ElfFile elf;
    elf.machine = 40;
    elf.littleEndian = true;
    EXPECT_EQ(listSummary(3, 7, elf), "3 scalar(s) in 7 variable(s), ARM, little endian\n");
    elf.machine = 20;
    elf.littleEndian = false;
    EXPECT_EQ(listSummary(0, 0, elf), "0 scalar(s) in 0 variable(s), machine 20, big endian\n");
}

}  // namespace
}  // namespace vk::tool
