// Malformed debug sections from real fixtures: every truncation of each
// debug section and byte changes all over .debug_info and .debug_abbrev end
// with a result, never a crash, hang or read out of bounds (run under the
// sanitizer build too).
#include <gtest/gtest.h>

#include "elf/debug_info.h"

namespace vk::elf {
namespace {

ElfFile fixture(const std::string& name) {
    auto elf = loadElf(std::string(VK_FIXTURE_DIR) + "/" + name + ".elf");
    EXPECT_TRUE(elf.ok()) << name;
    return elf.ok() ? std::move(elf.value()) : ElfFile{};
}

Section* section(ElfFile& f, const std::string& name) {
    for (Section& s : f.sections)
        if (s.name == name) return &s;
    return nullptr;
}

bool knownMessage(const std::string& m) {
    for (const char* prefix :
         {"DWARF: DWARF data truncated", "DWARF: unsupported DWARF version ",
          "DWARF: DWARF unit outside .debug_info", "DWARF: unknown DWARF abbreviation code",
          "DWARF: unsupported DWARF form 0x", "DWARF type units (", "split DWARF debug information ("})
        if (m.rfind(prefix, 0) == 0) return true;
    return false;
}

// The C++ firmware's declarations make the reader look for their definitions.
const char* kFixtures[] = {"dwarf_types-x86_64",
                           "dwarf_types-ppc-dwarf5",
                           "dwarf_types-x86_64-dwarf64",
                           "dwarf_types-gcc-dwarf2",
                           "dwarf_cpp-ppc64-dwarf64",
                           "dwarf_multi-arm-dwarf5",
                           "cpp/firmware-armv7m-clang++-dwarf5"};

TEST(DwarfMalformed, EveryTruncationOfInfoAndAbbrevFailsCleanly) {
    for (const char* name : kFixtures) {
        ElfFile f = fixture(name);
        for (const char* sectionName : {".debug_info", ".debug_abbrev"}) {
            Section* s = section(f, sectionName);
            ASSERT_NE(s, nullptr) << name << sectionName;
            const std::uint64_t full = s->size;
            for (std::uint64_t length = 0; length < full; ++length) {
                s->size = length;
                auto r = loadDwarf(f);
                if (length == 0) {
                    ASSERT_FALSE(r.ok());
                    EXPECT_EQ(r.error().code, ErrorCode::NotFound);
                } else if (!r.ok()) {
                    EXPECT_TRUE(knownMessage(r.error().message()))
                        << name << sectionName << " " << length << ": " << r.error().message();
                }
            }
            s->size = full;
            ASSERT_TRUE(loadDwarf(f).ok());
        }
    }
}

TEST(DwarfMalformed, TruncatedStringAndAddressSectionsOnlyLoseNames) {
    for (const char* name : kFixtures) {
        ElfFile f = fixture(name);
        for (const char* sectionName :
             {".debug_str", ".debug_line_str", ".debug_str_offsets", ".debug_addr"}) {
            Section* s = section(f, sectionName);
            if (!s) continue;
            const std::uint64_t full = s->size;
            for (std::uint64_t length = 0; length < full; ++length) {
                s->size = length;
                auto r = loadDwarf(f);
                ASSERT_TRUE(r.ok()) << name << sectionName << " " << length << ": " << r.error().message();
                for (const auto& g : r.value().globals) EXPECT_FALSE(g.name.empty());
            }
            s->size = full;
        }
    }
}

TEST(DwarfMalformed, ChangedBytesFailCleanly) {
    for (const char* name : {"dwarf_types-gcc-dwarf2", "dwarf_types-ppc-dwarf5", "dwarf_cpp-ppc64-dwarf64",
                             "cpp/firmware-armv7m-clang++-dwarf5"}) {
        ElfFile f = fixture(name);
        for (const char* sectionName : {".debug_info", ".debug_abbrev"}) {
            const Section* s = section(f, sectionName);
            ASSERT_NE(s, nullptr);
            for (std::uint64_t i = 0; i < s->size; ++i) {
                std::uint8_t& byte = f.data[s->offset + i];
                const std::uint8_t original = byte;
                for (std::uint8_t changed : {std::uint8_t(0x00), std::uint8_t(0xff),
                                             std::uint8_t(original ^ 0x80), std::uint8_t(original + 1)}) {
                    byte = changed;
                    auto r = loadDwarf(f);
                    if (!r.ok()) {
                        EXPECT_TRUE(knownMessage(r.error().message()))
                            << name << sectionName << " " << i << ": " << r.error().message();
                    }
                }
                byte = original;
            }
        }
    }
}

}  // namespace
}  // namespace vk::elf
