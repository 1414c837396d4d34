#include "dwarf_builder.h"

#include <algorithm>

namespace vk::elf::test {

std::vector<std::uint8_t> buildElf(const std::vector<SectionSpec>& sections, bool is64, bool le) {
    Bytes names(le);
    names.u8(0);
    std::vector<std::uint64_t> nameOffsets;
    for (const SectionSpec& s : sections) {
        nameOffsets.push_back(names.size());
        names.str(s.name);
    }
    const std::uint64_t shstrName = names.size();
    names.str(".shstrtab");

    const std::size_t headerSize = is64 ? 64 : 52;
    Bytes body(le);
    body.data.resize(headerSize, 0);
    std::vector<std::uint64_t> offsets;
    for (const SectionSpec& s : sections) {
        offsets.push_back(body.size());
        body.append(s.bytes);
    }
    const std::uint64_t namesOffset = body.size();
    body.append(names.data);
    while (body.size() % 8) body.u8(0);
    const std::uint64_t shoff = body.size();
    const std::uint64_t count = sections.size() + 2;

    auto header = [&](std::uint64_t name, std::uint32_t type, std::uint64_t flags, std::uint64_t addr,
                      std::uint64_t offset, std::uint64_t size, std::uint32_t link = 0) {
        body.u32(name).u32(type);
        if (is64) {
            body.u64(flags).u64(addr).u64(offset).u64(size).u32(link).u32(0).u64(1).u64(0);
        } else {
            body.u32(flags).u32(addr).u32(offset).u32(size).u32(link).u32(0).u32(1).u32(0);
        }
    };
    auto indexOf = [&](const std::string& name) {
        std::uint32_t index = 0;
        for (std::size_t i = 0; i < sections.size(); ++i)
            if (!name.empty() && sections[i].name == name) index = static_cast<std::uint32_t>(i + 1);
        return index;
    };
    header(0, 0, 0, 0, 0, 0);
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const SectionSpec& s = sections[i];
        header(nameOffsets[i], s.type, s.flags, s.addr, offsets[i], s.type == 8 ? s.size : s.bytes.size(),
               indexOf(s.link));
    }
    header(shstrName, 3, 0, 0, namesOffset, names.size());

    Bytes h(le);
    h.raw({0x7f, 'E', 'L', 'F', static_cast<std::uint8_t>(is64 ? 2 : 1),
           static_cast<std::uint8_t>(le ? 1 : 2), 1, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    h.u16(2).u16(is64 ? 62 : 40).u32(1);
    if (is64)
        h.u64(0).u64(0).u64(shoff);
    else
        h.u32(0).u32(0).u32(shoff);
    h.u32(0).u16(headerSize).u16(0).u16(0).u16(is64 ? 64 : 40).u16(count).u16(count - 1);
    std::copy(h.data.begin(), h.data.end(), body.data.begin());
    return body.data;
}

void abbrevDecl(Bytes& b, std::uint64_t code, std::uint64_t tag, bool children,
                std::initializer_list<AttrForm> specs) {
    b.uleb(code).uleb(tag).u8(children ? 1 : 0);
    for (const AttrForm& s : specs) {
        b.uleb(s.attr).uleb(s.form);
        if (s.form == 0x21) b.sleb(s.implicitConst);
    }
    b.u8(0).u8(0);
}

std::size_t unitHeaderSize(const UnitShape& s) {
    const std::size_t lengthField = s.dwarf64 ? 12 : 4;
    const std::size_t offsetSize = s.dwarf64 ? 8 : 4;
    if (s.version <= 4) return lengthField + 2 + offsetSize + 1;
    std::size_t n = lengthField + 4 + offsetSize;
    if (s.unitType == 4 || s.unitType == 5) n += 8;
    if (s.unitType == 2 || s.unitType == 6) n += 8 + offsetSize;
    return n;
}

std::vector<std::uint8_t> buildUnit(const UnitShape& s, const std::vector<std::uint8_t>& body, bool le) {
    Bytes rest(le);
    const int offsetSize = s.dwarf64 ? 8 : 4;
    rest.u16(s.version);
    if (s.version <= 4) {
        rest.num(s.abbrevOffset, offsetSize).u8(s.addressSize);
    } else {
        rest.u8(s.unitType).u8(s.addressSize).num(s.abbrevOffset, offsetSize);
        if (s.unitType == 4 || s.unitType == 5) rest.u64(0x1122334455667788ull);
        if (s.unitType == 2 || s.unitType == 6) rest.u64(0x1122334455667788ull).num(0, offsetSize);
    }
    rest.append(body);
    Bytes unit(le);
    if (s.dwarf64)
        unit.u32(0xffffffffu).u64(rest.size());
    else
        unit.u32(rest.size());
    unit.append(rest.data);
    return unit.data;
}

ElfFile makeElf(const DwarfFile& f) {
    std::vector<SectionSpec> sections;
    SectionSpec data{".data", std::vector<std::uint8_t>(0x1000, 0), 1, 0x3, 0x1000, 0};
    sections.push_back(data);
    auto add = [&](const char* name, const std::vector<std::uint8_t>& bytes) {
        if (!bytes.empty()) sections.push_back(SectionSpec{name, bytes});
    };
    add(".debug_info", f.info);
    add(".debug_abbrev", f.abbrev);
    add(".debug_str", f.str);
    add(".debug_line_str", f.lineStr);
    add(".debug_str_offsets", f.strOffsets);
    add(".debug_addr", f.addr);
    sections.insert(sections.end(), f.extra.begin(), f.extra.end());
    auto elf = parseElf(buildElf(sections, f.is64, f.littleEndian), "test.elf");
    return std::move(elf.value());
}

std::vector<std::uint8_t> commonAbbrevs(bool le) {
    Bytes b(le);
    const std::uint64_t str = 0x08, ref = 0x13, d1 = 0x0b, expr = 0x18, present = 0x19;
    abbrevDecl(b, kCu, 0x11, true, {{0x03, str}});
    abbrevDecl(b, kVar, 0x34, false, {{0x03, str}, {0x49, ref}, {0x02, expr}, {0x3f, present}});
    abbrevDecl(b, kBase, 0x24, false, {{0x03, str}, {0x0b, d1}, {0x3e, d1}});
    abbrevDecl(b, kStruct, 0x13, true, {{0x03, str}, {0x0b, d1}});
    abbrevDecl(b, kMember, 0x0d, false, {{0x03, str}, {0x49, ref}, {0x38, d1}});
    abbrevDecl(b, kBitField4, 0x0d, false, {{0x03, str}, {0x49, ref}, {0x6b, d1}, {0x0d, d1}});
    abbrevDecl(b, kBitField2, 0x0d, false,
               {{0x03, str}, {0x49, ref}, {0x0b, d1}, {0x0d, d1}, {0x0c, d1}, {0x38, d1}});
    abbrevDecl(b, kMemberBlock, 0x0d, false, {{0x03, str}, {0x49, ref}, {0x38, expr}});
    abbrevDecl(b, kArray, 0x01, true, {{0x49, ref}});
    abbrevDecl(b, kSubrangeUpper, 0x21, false, {{0x2f, 0x0d}});
    abbrevDecl(b, kSubrangeCount, 0x21, false, {{0x37, d1}});
    abbrevDecl(b, kSubrangeNone, 0x21, false, {});
    abbrevDecl(b, kEnum, 0x04, true, {{0x03, str}, {0x49, ref}, {0x0b, d1}});
    abbrevDecl(b, kEnumerator1, 0x28, false, {{0x03, str}, {0x1c, d1}});
    abbrevDecl(b, kEnumeratorS, 0x28, false, {{0x03, str}, {0x1c, 0x0d}});
    abbrevDecl(b, kPointer, 0x0f, false, {{0x49, ref}});
    abbrevDecl(b, kTypedef, 0x16, false, {{0x03, str}, {0x49, ref}});
    abbrevDecl(b, kSubprogram, 0x2e, true, {{0x03, str}});
    abbrevDecl(b, kVarDefinition, 0x34, false, {{0x47, ref}, {0x02, expr}});
    abbrevDecl(b, kVarDecl, 0x34, false, {{0x03, str}, {0x49, ref}, {0x3c, present}, {0x3f, present}});
    abbrevDecl(b, kLexicalBlock, 0x0b, true, {});
    abbrevDecl(b, kNamespace, 0x39, true, {{0x03, str}});
    abbrevDecl(b, kVarLocList, 0x34, false, {{0x03, str}, {0x49, ref}, {0x02, 0x17}});
    abbrevDecl(b, kVarDeclFlag0, 0x34, false, {{0x03, str}, {0x3c, 0x0c}, {0x02, expr}});
    abbrevDecl(b, kInheritance, 0x1c, false, {{0x49, ref}, {0x38, d1}});
    abbrevDecl(b, kVarOrigin, 0x34, false, {{0x31, ref}, {0x02, expr}});
    abbrevDecl(b, kStaticMember, 0x0d, false, {{0x03, str}, {0x49, ref}, {0x3f, present}, {0x3c, present}});
    abbrevDecl(b, kSubrangeBounds, 0x21, false, {{0x22, d1}, {0x2f, d1}});
    abbrevDecl(b, kBitFieldSized, 0x0d, false,
               {{0x03, str}, {0x49, ref}, {0x0b, 0x07}, {0x6b, d1}, {0x0d, d1}});
    abbrevDecl(b, kQualifier, 0x26, false, {{0x49, ref}});
    abbrevDecl(b, kVarNoType, 0x34, false, {{0x03, str}, {0x02, expr}});
    abbrevDecl(b, kSubrangeCountBlock, 0x21, false, {{0x37, expr}, {0x2f, d1}});
    abbrevDecl(b, kUnion, 0x17, true, {{0x03, str}, {0x0b, d1}});
    abbrevDecl(b, kBitField2Signed, 0x0d, false,
               {{0x03, str}, {0x49, ref}, {0x0b, d1}, {0x0d, d1}, {0x0c, 0x0d}, {0x38, 0x0d}});
    abbrevDecl(b, kVarArtificial, 0x34, false, {{0x49, ref}, {0x02, expr}, {0x34, present}});
    b.u8(0);
    return b.data;
}

Result<DebugInfo> load(const DwarfFile& f) {
    return loadDwarf(makeElf(f));
}

}  // namespace vk::elf::test
