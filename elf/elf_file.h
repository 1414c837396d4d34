// An ELF file held whole in memory, with its sections and symbols. Every
// multi-byte field is decoded byte by byte in the file's own byte order, so
// the same code serves both byte orders on any host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/path.h"
#include "foundation/result.h"

namespace vk::elf {

inline constexpr std::uint32_t SHT_SYMTAB = 2;
inline constexpr std::uint32_t SHT_NOBITS = 8;
inline constexpr std::uint32_t SHT_DYNSYM = 11;
inline constexpr std::uint8_t STT_OBJECT = 1;
inline constexpr std::uint16_t ET_REL = 1;

struct Section {
    std::string name;
    std::uint32_t type = 0;
    std::uint64_t flags = 0;
    std::uint64_t addr = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

struct ElfFile {
    std::vector<std::uint8_t> data;
    bool is64 = false;
    bool littleEndian = true;
    std::uint16_t machine = 0;
    std::uint16_t type = 0;  // e_type
    std::vector<Section> sections;
};

struct Symbol {
    std::string name;
    std::uint64_t value = 0;
    std::uint64_t size = 0;
    std::uint8_t type = 0;
    std::uint8_t bind = 0;
    std::uint16_t shndx = 0;
};

using ByteView = std::span<const std::uint8_t>;

// Section and symbol names are copied from their string table up to a total
// of kNameBudgetBase + kNameBudgetFactor * (the table's size) bytes per
// table; later names read as empty, so that entries that all name one long
// string cannot make a small file allocate gigabytes.
inline constexpr std::uint64_t kNameBudgetBase = std::uint64_t{16} << 20;
inline constexpr std::uint64_t kNameBudgetFactor = 8;

Result<ElfFile> loadElf(const std::filesystem::path& path);

// Builds an ElfFile from bytes already in memory; `label` stands for the
// path in messages. loadElf reads the file and calls this.
Result<ElfFile> parseElf(std::vector<std::uint8_t> data, std::string_view label);

// The n (0 to 8) bytes at p as an unsigned number in the file's byte order.
// The caller guarantees that the bytes exist.
std::uint64_t readUnsigned(const ElfFile& file, const std::uint8_t* p, std::size_t n);

const Section* findSection(const ElfFile& file, std::string_view name);

// Empty when the section is missing or SHT_NOBITS.
ByteView sectionData(const ElfFile& file, const Section& section);
ByteView sectionData(const ElfFile& file, std::string_view name);

std::string machineName(const ElfFile& file);

std::vector<Symbol> readSymbols(const ElfFile& file);

}  // namespace vk::elf
