#include "elf/elf_file.h"

#include <algorithm>
#include <cstring>

#include "foundation/file_read.h"
#include "foundation/path.h"

namespace vk::elf {
namespace {

// True when [offset, offset + length) lies within a buffer of `total` bytes;
// written so that no sum can wrap around.
bool fits(std::uint64_t offset, std::uint64_t length, std::uint64_t total) {
    return offset <= total && length <= total - offset;
}

// Copies names out of one string table, within the budget that elf_file.h
// documents.
class NameReader {
public:
    explicit NameReader(ByteView table)
        : table_(table), budget_(kNameBudgetBase + kNameBudgetFactor * table.size()) {}

    // The scan for the NUL stops at the budget too, so that the time spent
    // is bounded by it as well.
    std::string at(std::uint64_t offset) {
        if (offset >= table_.size() || budget_ == 0) return {};
        const std::uint8_t* begin = table_.data() + offset;
        const std::uint64_t room = std::min<std::uint64_t>(table_.size() - offset, budget_ + 1);
        const void* nul = std::memchr(begin, 0, static_cast<std::size_t>(room));
        const std::uint64_t length =
            nul != nullptr ? static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(nul) - begin) : room;
        if (length > budget_) {
            budget_ = 0;
            return {};
        }
        budget_ -= length;
        return std::string(reinterpret_cast<const char*>(begin), static_cast<std::size_t>(length));
    }

private:
    ByteView table_;
    std::uint64_t budget_;
};

Error invalid(std::string_view label, std::string_view what) {
    std::string text(label);
    text += what;
    return makeError(ErrorCode::InvalidArgument, std::move(text));
}

struct HeaderTable {
    std::uint64_t offset = 0;
    std::uint64_t entrySize = 0;
    std::uint64_t count = 0;
    std::uint64_t nameIndex = 0;
};

HeaderTable readHeaderTable(const ElfFile& f) {
    const std::uint8_t* d = f.data.data();
    HeaderTable t;
    if (f.is64) {
        t.offset = readUnsigned(f, d + 40, 8);
        t.entrySize = readUnsigned(f, d + 58, 2);
        t.count = readUnsigned(f, d + 60, 2);
        t.nameIndex = readUnsigned(f, d + 62, 2);
    } else {
        t.offset = readUnsigned(f, d + 32, 4);
        t.entrySize = readUnsigned(f, d + 46, 2);
        t.count = readUnsigned(f, d + 48, 2);
        t.nameIndex = readUnsigned(f, d + 50, 2);
    }
    return t;
}

}  // namespace

std::uint64_t readUnsigned(const ElfFile& file, const std::uint8_t* p, std::size_t n) {
    std::uint64_t value = 0;
    if (file.littleEndian) {
        for (std::size_t i = n; i > 0; --i) value = (value << 8) | p[i - 1];
    } else {
        for (std::size_t i = 0; i < n; ++i) value = (value << 8) | p[i];
    }
    return value;
}

Result<ElfFile> loadElf(const std::filesystem::path& path) {
    Result<std::vector<std::uint8_t>> data = readFileBytes(path);
    if (!data.ok()) return data.error();
    return parseElf(std::move(data.value()), pathToUtf8(path));
}

Result<ElfFile> parseElf(std::vector<std::uint8_t> data, std::string_view label) {
    ElfFile f;
    f.data = std::move(data);
    const std::uint8_t* d = f.data.data();
    const std::uint64_t total = f.data.size();
    if (total < 52 || d[0] != 0x7F || d[1] != 'E' || d[2] != 'L' || d[3] != 'F')
        return invalid(label, " is not an ELF file");
    if ((d[4] != 1 && d[4] != 2) || (d[5] != 1 && d[5] != 2))
        return invalid(label, ": unsupported ELF class or byte order");
    f.is64 = d[4] == 2;
    f.littleEndian = d[5] == 1;
    if (f.is64 && total < 64) return invalid(label, ": truncated ELF header");
    f.type = static_cast<std::uint16_t>(readUnsigned(f, d + 16, 2));
    f.machine = static_cast<std::uint16_t>(readUnsigned(f, d + 18, 2));

    const HeaderTable t = readHeaderTable(f);
    const std::uint64_t minEntry = f.is64 ? 64 : 40;
    if (t.offset == 0 || t.count == 0 || t.entrySize < minEntry ||
        !fits(t.offset, t.entrySize * t.count, total))
        return invalid(label, ": no section headers");

    std::vector<std::uint64_t> nameOffsets;
    nameOffsets.reserve(t.count);
    f.sections.reserve(t.count);
    for (std::uint64_t i = 0; i < t.count; ++i) {
        const std::uint8_t* h = d + t.offset + i * t.entrySize;
        Section s;
        nameOffsets.push_back(readUnsigned(f, h, 4));
        s.type = static_cast<std::uint32_t>(readUnsigned(f, h + 4, 4));
        if (f.is64) {
            s.flags = readUnsigned(f, h + 8, 8);
            s.addr = readUnsigned(f, h + 16, 8);
            s.offset = readUnsigned(f, h + 24, 8);
            s.size = readUnsigned(f, h + 32, 8);
        } else {
            s.flags = readUnsigned(f, h + 8, 4);
            s.addr = readUnsigned(f, h + 12, 4);
            s.offset = readUnsigned(f, h + 16, 4);
            s.size = readUnsigned(f, h + 20, 4);
        }
        if (s.type != SHT_NOBITS && !fits(s.offset, s.size, total))
            return invalid(label, ": section outside the file");
        f.sections.push_back(std::move(s));
    }

    if (t.nameIndex < f.sections.size()) {
        NameReader names(sectionData(f, f.sections[t.nameIndex]));
        for (std::size_t i = 0; i < f.sections.size(); ++i) f.sections[i].name = names.at(nameOffsets[i]);
    }
    return f;
}

const Section* findSection(const ElfFile& file, std::string_view name) {
    for (const Section& s : file.sections)
        if (s.name == name) return &s;
    return nullptr;
}

ByteView sectionData(const ElfFile& file, const Section& section) {
    if (section.type == SHT_NOBITS) return {};
    // loadElf has checked that the section lies within the file.
    return ByteView(file.data.data() + section.offset, static_cast<std::size_t>(section.size));
}

ByteView sectionData(const ElfFile& file, std::string_view name) {
    const Section* s = findSection(file, name);
    return s ? sectionData(file, *s) : ByteView{};
}

std::string machineName(const ElfFile& file) {
    switch (file.machine) {
        case 3:
            return "x86";
        case 40:
            return "ARM";
        case 62:
            return "x86-64";
        case 94:
            return "Xtensa";
        case 183:
            return "AArch64";
        case 243:
            return "RISC-V";
        default:
            return "machine " + std::to_string(file.machine);
    }
}

std::vector<Symbol> readSymbols(const ElfFile& file) {
    if (file.data.size() < (file.is64 ? 64u : 52u) || file.sections.empty()) return {};
    const HeaderTable t = readHeaderTable(file);
    const std::uint8_t* d = file.data.data();

    auto linkOf = [&](std::size_t index) {
        return readUnsigned(file, d + t.offset + index * t.entrySize + (file.is64 ? 40 : 24), 4);
    };
    auto pick = [&](std::uint32_t type) -> std::size_t {
        for (std::size_t i = 0; i < file.sections.size(); ++i)
            if (file.sections[i].type == type && linkOf(i) < file.sections.size()) return i;
        return file.sections.size();
    };
    std::size_t table = pick(SHT_SYMTAB);
    if (table == file.sections.size()) table = pick(SHT_DYNSYM);
    if (table == file.sections.size()) return {};

    const ByteView entries = sectionData(file, file.sections[table]);
    NameReader strings(sectionData(file, file.sections[linkOf(table)]));
    const std::size_t entrySize = file.is64 ? 24 : 16;
    std::vector<Symbol> symbols;
    if (entries.size() / entrySize > 1) symbols.reserve(entries.size() / entrySize - 1);
    for (std::size_t off = entrySize; off + entrySize <= entries.size(); off += entrySize) {
        const std::uint8_t* e = entries.data() + off;
        Symbol s;
        s.name = strings.at(readUnsigned(file, e, 4));
        std::uint8_t info = 0;
        if (file.is64) {
            info = e[4];
            s.shndx = static_cast<std::uint16_t>(readUnsigned(file, e + 6, 2));
            s.value = readUnsigned(file, e + 8, 8);
            s.size = readUnsigned(file, e + 16, 8);
        } else {
            s.value = readUnsigned(file, e + 4, 4);
            s.size = readUnsigned(file, e + 8, 4);
            info = e[12];
            s.shndx = static_cast<std::uint16_t>(readUnsigned(file, e + 14, 2));
        }
        s.type = info & 15;
        s.bind = info >> 4;
        symbols.push_back(std::move(s));
    }
    return symbols;
}

}  // namespace vk::elf
