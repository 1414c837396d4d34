// Section and symbol names of hostile files: entries that all name one long
// string must not multiply it into gigabytes, while real names stay whole.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "elf/elf_file.h"

namespace {

void put(std::vector<std::uint8_t>& out, std::size_t at, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// An ELF32 little-endian file: `sections` headers after a name table of
// `nameLength` bytes "x" plus a NUL. Section 1 is the name table; section 2,
// when symbols > 0, a symbol table of that many entries whose string table is
// the name table too. Every name is the one at offset 0.
std::vector<std::uint8_t> sharedNameElf(std::uint32_t sections, std::size_t nameLength, std::size_t symbols) {
    const std::size_t names = 52;
    const std::size_t symtab = names + nameLength + 1;
    const std::size_t headers = symtab + 16 * symbols;
    std::vector<std::uint8_t> out(headers + 40 * std::size_t{sections}, 0);
    out[0] = 0x7F, out[1] = 'E', out[2] = 'L', out[3] = 'F', out[4] = 1, out[5] = 1, out[6] = 1;
    put(out, 16, 2, 2);
    put(out, 18, 40, 2);
    put(out, 32, headers, 4);
    put(out, 46, 40, 2);
    put(out, 48, sections, 2);
    put(out, 50, 1, 2);
    for (std::size_t i = 0; i < nameLength; ++i) out[names + i] = 'x';
    for (std::uint32_t i = 1; i < sections; ++i) {
        const std::size_t h = headers + 40 * std::size_t{i};
        put(out, h + 4, 1, 4);  // SHT_PROGBITS
        put(out, h + 16, names, 4);
        put(out, h + 20, nameLength + 1, 4);
    }
    put(out, headers + 40 + 4, 3, 4);  // the name table: SHT_STRTAB
    if (symbols > 0) {
        const std::size_t h = headers + 80;
        put(out, h + 4, vk::elf::SHT_SYMTAB, 4);
        put(out, h + 16, symtab, 4);
        put(out, h + 20, 16 * symbols, 4);
        put(out, h + 24, 1, 4);  // sh_link: the name table
        for (std::size_t i = 1; i < symbols; ++i) out[symtab + 16 * i + 12] = vk::elf::STT_OBJECT;
    }
    return out;
}

std::uint64_t budget(std::size_t tableSize) {
    return vk::elf::kNameBudgetBase + vk::elf::kNameBudgetFactor * tableSize;
}

TEST(ElfNames, SectionsNamingOneLongStringStayWithinTheBudget) {
    const std::size_t length = 4096;
    auto r = vk::elf::parseElf(sharedNameElf(65535, length, 0), "shared.elf");
    ASSERT_TRUE(r.ok()) << r.error().message();
    const auto& sections = r.value().sections;
    ASSERT_EQ(sections.size(), 65535u);
    EXPECT_EQ(sections[1].name, std::string(length, 'x'));
    std::uint64_t copied = 0;
    for (const auto& s : sections) copied += s.name.size();
    EXPECT_LE(copied, budget(length + 1));
    EXPECT_TRUE(sections.back().name.empty());
}

TEST(ElfNames, SymbolsNamingOneLongStringStayWithinTheBudget) {
    const std::size_t length = 4096;
    auto r = vk::elf::parseElf(sharedNameElf(3, length, 200000), "symbols.elf");
    ASSERT_TRUE(r.ok()) << r.error().message();
    const auto symbols = vk::elf::readSymbols(r.value());
    ASSERT_EQ(symbols.size(), 199999u);
    EXPECT_EQ(symbols.front().name, std::string(length, 'x'));
    std::uint64_t copied = 0;
    for (const auto& s : symbols) copied += s.name.size();
    EXPECT_LE(copied, budget(length + 1));
    EXPECT_TRUE(symbols.back().name.empty());
}

TEST(ElfNames, ManyShortSharedNamesAreAllKept) {
    // Linkers share one string among many symbols ("$d" on ARM); short names
    // never reach the limit.
    auto r = vk::elf::parseElf(sharedNameElf(3, 2, 100000), "short.elf");
    ASSERT_TRUE(r.ok()) << r.error().message();
    for (const auto& s : vk::elf::readSymbols(r.value())) ASSERT_EQ(s.name, "xx");
}

}  // namespace
