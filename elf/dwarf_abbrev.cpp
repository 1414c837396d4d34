#include "elf/dwarf_abbrev.h"

#include <algorithm>

namespace vk::elf {
namespace {

// Codes up to this many above twice the declaration count still index
// densely; beyond it a table of few declarations with huge codes would cost
// far more memory than its bytes in the file.
constexpr std::uint64_t kDenseSlack = 1024;

constexpr std::uint64_t kDeclarationAttr = 0x3c;

bool occupiesNoBytes(std::uint64_t form, const AbbrevUnitShape& shape) {
    if (form == 0x19 || form == 0x21) return true;
    return shape.addressSize == 0 && (form == 0x01 || (form == 0x10 && shape.version <= 2));
}

// The bytes a value of `form` occupies when that does not depend on the
// value itself, as readAttributeValue reads it; kVariableSize otherwise, and
// for the forms it rejects.
std::uint64_t fixedSize(std::uint64_t form, const AbbrevUnitShape& shape) {
    const std::uint64_t offsetSize = shape.offsetSize;
    switch (form) {
        case 0x01:
            return shape.addressSize;
        case 0x0b:
        case 0x0c:
        case 0x11:
        case 0x25:
        case 0x29:
            return 1;
        case 0x05:
        case 0x12:
        case 0x26:
        case 0x2a:
            return 2;
        case 0x27:
        case 0x2b:
            return 3;
        case 0x06:
        case 0x13:
        case 0x1c:
        case 0x28:
        case 0x2c:
            return 4;
        case 0x07:
        case 0x14:
        case 0x20:
        case 0x24:
            return 8;
        case 0x1e:
            return 16;
        case 0x0e:
        case 0x17:
        case 0x1d:
        case 0x1f:
        case 0x1f20:
        case 0x1f21:
            return offsetSize;
        case 0x10:
            return shape.version <= 2 ? shape.addressSize : offsetSize;
        case 0x19:
        case 0x21:
            return 0;
        default:
            return Abbrev::kVariableSize;
    }
}

}  // namespace

std::uint64_t AbbrevTable::read(const std::uint8_t* data, std::uint64_t size, bool littleEndian,
                                std::uint64_t offset, const AbbrevUnitShape& shape,
                                bool (*kept)(std::uint64_t attr)) {
    specs_.clear();
    abbrevs_.clear();
    if (offset > size) throwTruncated();
    Cursor c{data, size, littleEndian, offset};
    std::vector<std::uint64_t> codes;
    std::vector<std::uint64_t> zeroSized;  // kept zero-size attributes of one declaration
    for (;;) {
        const std::uint64_t code = c.readUleb();
        if (code == 0) break;
        Abbrev a;
        a.tag = c.readUleb();
        a.hasChildren = c.readU8() != 0;
        a.specBegin = specs_.size();
        std::uint64_t bytes = 0;
        zeroSized.clear();
        for (;;) {
            AttrSpec s;
            s.attr = c.readUleb();
            s.form = c.readUleb();
            if (s.attr == 0 && s.form == 0) break;
            if (s.form == 0x21) s.implicitConst = c.readSleb();
            if (s.attr == kDeclarationAttr) a.declaration = true;
            if (occupiesNoBytes(s.form, shape)) {
                if (!kept(s.attr)) continue;
                if (std::find(zeroSized.begin(), zeroSized.end(), s.attr) != zeroSized.end()) continue;
                zeroSized.push_back(s.attr);
            }
            const std::uint64_t n = fixedSize(s.form, shape);
            bytes = n == Abbrev::kVariableSize || bytes >= Abbrev::kVariableSize ? Abbrev::kVariableSize
                                                                                 : bytes + n;
            specs_.push_back(s);
        }
        a.specCount = specs_.size() - a.specBegin;
        a.fixedSize =
            bytes >= Abbrev::kVariableSize ? Abbrev::kVariableSize : static_cast<std::uint32_t>(bytes);
        codes.push_back(code);
        abbrevs_.push_back(a);
    }
    index(codes);
    return c.pos - offset;
}

void AbbrevTable::index(const std::vector<std::uint64_t>& codes) {
    dense_.clear();
    sorted_.clear();
    std::uint64_t highest = 0;
    for (std::uint64_t code : codes) highest = std::max(highest, code);
    if (highest < kDenseSlack + 2 * codes.size()) {
        dense_.assign(static_cast<std::size_t>(highest) + 1, kAbsent);
        for (std::size_t i = 0; i < codes.size(); ++i) dense_[codes[i]] = static_cast<std::uint32_t>(i);
        return;
    }
    sorted_.reserve(codes.size());
    for (std::size_t i = 0; i < codes.size(); ++i)
        sorted_.emplace_back(codes[i], static_cast<std::uint32_t>(i));
    // Sorted by code, then by position: the last of equal codes is the one that counts.
    std::sort(sorted_.begin(), sorted_.end());
}

const Abbrev* AbbrevTable::find(std::uint64_t code) const {
    if (sorted_.empty()) {
        if (code >= dense_.size() || dense_[code] == kAbsent) return nullptr;
        return &abbrevs_[dense_[code]];
    }
    auto it = std::upper_bound(sorted_.begin(), sorted_.end(), std::make_pair(code, kAbsent));
    if (it == sorted_.begin() || (it - 1)->first != code) return nullptr;
    return &abbrevs_[(it - 1)->second];
}

}  // namespace vk::elf
