// ELF loading: real fixtures from clang/ld.lld for every target of the
// matrix, checked against readelf, plus hand-made malformed headers.
#include "elf/elf_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "readelf_output.h"

namespace {

using vk::elf::ElfFile;

struct Variant {
    const char* suffix;
    bool is64;
    bool little;
    std::uint16_t machine;
    const char* machineName;
};

const Variant kVariants[] = {
    {"x86_64", true, true, 62, "x86-64"},     {"i386", false, true, 3, "x86"},
    {"armv7m", false, true, 40, "ARM"},       {"aarch64", true, true, 183, "AArch64"},
    {"riscv32", false, true, 243, "RISC-V"},  {"ppc", false, false, 20, "machine 20"},
    {"ppc64", true, false, 21, "machine 21"}, {"x86_64-dwarf64", true, true, 62, "x86-64"},
};

std::string fixture(const std::string& stem, const std::string& suffix) {
    return std::string(VK_FIXTURE_DIR) + "/" + stem + "-" + suffix + ".elf";
}

std::vector<std::uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct ReadelfSymbol {
    std::uint64_t value;
    std::uint64_t size;
};

// Named OBJECT symbols as readelf shows them.
std::map<std::string, ReadelfSymbol> readelfObjects(const std::string& path) {
    std::map<std::string, ReadelfSymbol> result;
    std::istringstream lines(vk::testing_support::readelfOutput("-sW", path));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream f(line);
        std::string num, value, size, type, bind, vis, ndx, name;
        if (!(f >> num >> value >> size >> type >> bind >> vis >> ndx >> name)) continue;
        if (type != "OBJECT") continue;
        result[name] = {std::stoull(value, nullptr, 16), std::stoull(size, nullptr, 0)};
    }
    return result;
}

TEST(ElfFixtureTest, EveryTargetLoadsWithItsClassOrderAndMachine) {
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(v.suffix);
        auto r = vk::elf::loadElf(fixture("basic", v.suffix));
        ASSERT_TRUE(r.ok()) << r.error().message();
        const ElfFile& f = r.value();
        EXPECT_EQ(f.is64, v.is64);
        EXPECT_EQ(f.littleEndian, v.little);
        EXPECT_EQ(f.machine, v.machine);
        EXPECT_EQ(vk::elf::machineName(f), v.machineName);
        EXPECT_EQ(f.sections[0].name, "");
        for (const char* name : {".text", ".debug_info", ".debug_abbrev", ".symtab", ".strtab"})
            EXPECT_NE(vk::elf::findSection(f, name), nullptr) << name;
        const vk::elf::Section* text = vk::elf::findSection(f, ".text");
        ASSERT_NE(text, nullptr);
        const auto view = vk::elf::sectionData(f, ".text");
        EXPECT_EQ(view.data(), f.data.data() + text->offset);
        EXPECT_EQ(view.size(), text->size);
        const vk::elf::Section* bss = vk::elf::findSection(f, ".bss");
        if (bss != nullptr) {
            EXPECT_TRUE(vk::elf::sectionData(f, *bss).empty());
        }
    }
}

TEST(ElfFixtureTest, SymbolsMatchReadelf) {
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(v.suffix);
        const std::string path = fixture("basic", v.suffix);
        auto r = vk::elf::loadElf(path);
        ASSERT_TRUE(r.ok());
        const auto expected = readelfObjects(path);
        ASSERT_GE(expected.size(), 8u);
        std::map<std::string, ReadelfSymbol> actual;
        for (const auto& s : vk::elf::readSymbols(r.value()))
            if (s.type == vk::elf::STT_OBJECT) actual[s.name] = {s.value, s.size};
        ASSERT_EQ(actual.size(), expected.size());
        for (const auto& [name, sym] : expected) {
            ASSERT_TRUE(actual.count(name)) << name;
            EXPECT_EQ(actual[name].value, sym.value) << name;
            EXPECT_EQ(actual[name].size, sym.size) << name;
        }
    }
}

TEST(ElfFixtureTest, EveryTruncationFailsCleanlyOrLoads) {
    const std::set<std::string> documented = {" is not an ELF file", ": unsupported ELF class or byte order",
                                              ": truncated ELF header", ": no section headers",
                                              ": section outside the file"};
    for (const char* suffix : {"armv7m", "ppc64"}) {
        const auto bytes = readBytes(fixture("basic", suffix));
        ASSERT_GT(bytes.size(), 1000u);
        for (std::size_t n = 0; n <= bytes.size(); ++n) {
            auto r = vk::elf::parseElf({bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n)}, "t");
            if (r.ok()) {
                (void)vk::elf::readSymbols(r.value());
                continue;
            }
            const std::string m = r.error().message();
            ASSERT_TRUE(m.size() > 1 && m[0] == 't' && documented.count(m.substr(1))) << n << ": " << m;
            EXPECT_EQ(r.error().code, vk::ErrorCode::InvalidArgument);
        }
    }
}

// A little ELF32 or ELF64 image: header, then `count` section headers, then
// whatever bytes the test appends. Fields are written in the chosen order.
class ImageBuilder {
public:
    ImageBuilder(bool is64, bool little) : is64_(is64), little_(little) {
        bytes_.assign(is64 ? 64 : 52, 0);
        bytes_[0] = 0x7F, bytes_[1] = 'E', bytes_[2] = 'L', bytes_[3] = 'F';
        bytes_[4] = is64 ? 2 : 1;
        bytes_[5] = little ? 1 : 2;
    }
    void put(std::size_t at, std::uint64_t value, std::size_t width) {
        if (bytes_.size() < at + width) bytes_.resize(at + width, 0);
        for (std::size_t i = 0; i < width; ++i) {
            const std::uint8_t b = static_cast<std::uint8_t>(value >> (8 * i));
            bytes_[little_ ? at + i : at + width - 1 - i] = b;
        }
    }
    std::size_t headerSize() const { return is64_ ? 64 : 40; }
    // Section header table right after the file header.
    void sectionTable(std::uint16_t count, std::uint16_t nameIndex) {
        const std::size_t off = bytes_.size();
        put(is64_ ? 40 : 32, off, is64_ ? 8 : 4);
        put(is64_ ? 58 : 46, headerSize(), 2);
        put(is64_ ? 60 : 48, count, 2);
        put(is64_ ? 62 : 50, nameIndex, 2);
        tableOffset_ = off;
        bytes_.resize(off + count * headerSize(), 0);
    }
    void section(std::size_t i, std::uint32_t name, std::uint32_t type, std::uint64_t offset,
                 std::uint64_t size, std::uint32_t link = 0) {
        const std::size_t h = tableOffset_ + i * headerSize();
        put(h, name, 4);
        put(h + 4, type, 4);
        put(h + (is64_ ? 24 : 16), offset, is64_ ? 8 : 4);
        put(h + (is64_ ? 32 : 20), size, is64_ ? 8 : 4);
        put(h + (is64_ ? 40 : 24), link, 4);
    }
    std::size_t append(const std::vector<std::uint8_t>& more) {
        const std::size_t at = bytes_.size();
        bytes_.insert(bytes_.end(), more.begin(), more.end());
        return at;
    }
    std::vector<std::uint8_t>& bytes() { return bytes_; }

private:
    bool is64_, little_;
    std::size_t tableOffset_ = 0;
    std::vector<std::uint8_t> bytes_;
};

std::string loadMessage(std::vector<std::uint8_t> bytes) {
    auto r = vk::elf::parseElf(std::move(bytes), "f.elf");
    return r.ok() ? "ok" : r.error().message();
}

TEST(ElfHeaderTest, MalformedHeadersGiveTheirMessages) {
    EXPECT_EQ(loadMessage(std::vector<std::uint8_t>(51, 0)), "f.elf is not an ELF file");
    {
        ImageBuilder b(false, true);
        b.sectionTable(1, 0);
        EXPECT_EQ(loadMessage(b.bytes()), "ok");
    }
    {
        ImageBuilder b(true, true);
        b.bytes().resize(60);
        EXPECT_EQ(loadMessage(b.bytes()), "f.elf: truncated ELF header");
        b.bytes()[5] = 3;
        EXPECT_EQ(loadMessage(b.bytes()), "f.elf: unsupported ELF class or byte order");
    }
    {
        ImageBuilder b(false, true);
        b.sectionTable(1, 0);
        b.put(32, 0, 4);
        EXPECT_EQ(loadMessage(b.bytes()), "f.elf: no section headers");
    }
    {
        ImageBuilder b(false, true);
        b.sectionTable(1, 0);
        b.put(48, 0, 2);
        EXPECT_EQ(loadMessage(b.bytes()), "f.elf: no section headers");
    }
    {
        ImageBuilder b(false, true);
        b.sectionTable(1, 0);
        b.put(46, 39, 2);
        EXPECT_EQ(loadMessage(b.bytes()), "f.elf: no section headers");
    }
    {
        ImageBuilder b(false, false);
        b.sectionTable(2, 0);
        b.bytes().pop_back();
        EXPECT_EQ(loadMessage(b.bytes()), "f.elf: no section headers");
    }
    {
        ImageBuilder b(true, false);
        b.sectionTable(2, 0xFFFF);
        b.section(1, 0, vk::elf::SHT_NOBITS, 0xFFFFFFFFFFFFFF00ull, 0x1000);
        auto r = vk::elf::parseElf(b.bytes(), "f.elf");
        ASSERT_TRUE(r.ok());
        EXPECT_TRUE(vk::elf::sectionData(r.value(), r.value().sections[1]).empty());
        b.section(1, 0, 1, b.bytes().size() - 4, 5);
        EXPECT_EQ(loadMessage(b.bytes()), "f.elf: section outside the file");
        b.section(1, 0, 1, b.bytes().size() - 4, 4);
        EXPECT_EQ(loadMessage(b.bytes()), "ok");
    }
}

TEST(ElfHeaderTest, MissingFileIsNotFound) {
    auto r = vk::elf::loadElf("/nonexistent/dir/x.elf");
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().code, vk::ErrorCode::NotFound);
    EXPECT_EQ(r.error().message(), "cannot open /nonexistent/dir/x.elf");
}

TEST(ElfHeaderTest, NamesAndMachineInBigEndian) {
    ImageBuilder b(false, false);
    b.put(18, 40, 2);
    b.sectionTable(3, 2);
    const std::size_t names = b.append({0, '.', 'a', 0, '.', 's', 'h', 's', 't', 'r'});
    b.section(1, 1, 1, names, 4);
    b.section(2, 4, 3, names, 10);  // ".shstr" runs to the table's end, no NUL
    auto r = vk::elf::parseElf(b.bytes(), "f.elf");
    ASSERT_TRUE(r.ok()) << r.error().message();
    EXPECT_EQ(r.value().sections[1].name, ".a");
    EXPECT_EQ(r.value().sections[2].name, ".shstr");
    EXPECT_EQ(vk::elf::machineName(r.value()), "ARM");
    EXPECT_EQ(vk::elf::findSection(r.value(), ".a"), &r.value().sections[1]);
    r.value().machine = 8;
    EXPECT_EQ(vk::elf::machineName(r.value()), "machine 8");

    const std::uint8_t twoBytes[] = {0x12, 0x34};
    EXPECT_EQ(vk::elf::readUnsigned(r.value(), twoBytes, 2), 0x1234u);
    r.value().littleEndian = true;
    EXPECT_EQ(vk::elf::readUnsigned(r.value(), twoBytes, 2), 0x3412u);
    EXPECT_EQ(vk::elf::readUnsigned(r.value(), twoBytes, 0), 0u);
}

TEST(ElfSymbolTest, TableChoiceAndPartialEntries) {
    ImageBuilder b(true, true);
    b.sectionTable(4, 0);
    std::vector<std::uint8_t> entries(24 * 2, 0);
    entries[24] = 1;         // st_name of entry 1
    entries[24 + 4] = 0x11;  // GLOBAL OBJECT
    entries[24 + 8] = 0x40;  // value
    const std::size_t symOff = b.append(entries);
    const std::size_t strOff = b.append({0, 'v', 0});
    b.section(1, 0, vk::elf::SHT_SYMTAB, symOff, 48, 99);  // bad link: passed over
    b.section(2, 0, vk::elf::SHT_DYNSYM, symOff, 48, 3);
    b.section(3, 0, 3, strOff, 3);
    auto r = vk::elf::parseElf(b.bytes(), "f.elf");
    ASSERT_TRUE(r.ok()) << r.error().message();
    auto syms = vk::elf::readSymbols(r.value());
    ASSERT_EQ(syms.size(), 1u);
    EXPECT_EQ(syms[0].name, "v");
    EXPECT_EQ(syms[0].value, 0x40u);
    EXPECT_EQ(syms[0].type, 1);
    EXPECT_EQ(syms[0].bind, 1);

    b.section(2, 0, vk::elf::SHT_DYNSYM, symOff, 40, 3);  // entry 1 incomplete
    auto shortTable = vk::elf::parseElf(b.bytes(), "f");
    EXPECT_TRUE(vk::elf::readSymbols(shortTable.value()).empty());

    b.section(2, 0, vk::elf::SHT_DYNSYM, symOff, 48, 3);
    b.bytes()[symOff + 24] = 9;  // name beyond the string table
    auto again = vk::elf::parseElf(b.bytes(), "f");
    auto unnamed = vk::elf::readSymbols(again.value());
    ASSERT_EQ(unnamed.size(), 1u);
    EXPECT_EQ(unnamed[0].name, "");
}

}  // namespace
