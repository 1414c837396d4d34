// The list line and the summary, byte for byte.
#include "tool/list_mode.h"

#include <gtest/gtest.h>

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
