#include "elf/dwarf_abbrev.h"

namespace vk::elf {
namespace {

bool occupiesNoBytes(std::uint64_t form, std::uint8_t addressSize, std::uint16_t version) {
    if (form == 0x19 || form == 0x21) return true;
    return addressSize == 0 && (form == 0x01 || (form == 0x10 && version <= 2));
}

}  // namespace

void AbbrevTable::read(const std::uint8_t* data, std::uint64_t size, bool littleEndian, std::uint64_t offset,
                       std::uint8_t addressSize, std::uint16_t version, bool (*kept)(std::uint64_t attr)) {
    specs_.clear();
    abbrevs_.clear();
    dense_.clear();
    sparse_.clear();
    if (offset > size) throwTruncated();
    Cursor c{data, size, littleEndian, offset};
    for (;;) {
        const std::uint64_t code = c.readUleb();
        if (code == 0) break;
        Abbrev a;
        a.tag = c.readUleb();
        a.hasChildren = c.readU8() != 0;
        a.specBegin = specs_.size();
        zeroSized_.clear();
        for (;;) {
            AttrSpec s;
            s.attr = c.readUleb();
            s.form = c.readUleb();
            if (s.attr == 0 && s.form == 0) break;
            if (s.form == 0x21) s.implicitConst = c.readSleb();
            if (occupiesNoBytes(s.form, addressSize, version)) {
                if (!kept(s.attr)) continue;
                bool repeated = false;
                for (std::uint64_t seen : zeroSized_) repeated = repeated || seen == s.attr;
                if (repeated) continue;
                zeroSized_.push_back(s.attr);
            }
            specs_.push_back(s);
        }
        a.specCount = specs_.size() - a.specBegin;
        if (code < kDenseCodes) {
            if (dense_.size() <= code) dense_.resize(code + 1, kAbsent);
            dense_[code] = static_cast<std::uint32_t>(abbrevs_.size());
        } else {
            sparse_[code] = abbrevs_.size();
        }
        abbrevs_.push_back(a);
    }
}

const Abbrev* AbbrevTable::find(std::uint64_t code) const {
    if (code < kDenseCodes) {
        if (code >= dense_.size() || dense_[code] == kAbsent) return nullptr;
        return &abbrevs_[dense_[code]];
    }
    const auto it = sparse_.find(code);
    return it == sparse_.end() ? nullptr : &abbrevs_[it->second];
}

}  // namespace vk::elf
