// The C++ firmware of cpp_firmware/, built by every C++ compiler of its
// matrix, against gdb's address of every scalar (ELF.leaves, written at build
// time). Classes declared in the unit of the variables take their members
// from the unit that defines them; base classes and anonymous members put
// theirs under the variable; bit fields select gdb's bits. What gdb places
// only in a running program (the members of a virtual base) and a class that
// no unit defines, or that two units define differently, are left out, each
// named in a warning; nothing the tool lists is missing from gdb's list.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "elf/debug_info.h"
#include "elf/flatten.h"
#include "gdb_bits.h"

namespace vk::elf {
namespace {

namespace fs = std::filesystem;
using testing::GdbBitField;

// The variables whose class has no single definition, by design of the firmware.
const std::set<std::string> kUndefinedByDesign = {"opaqueObj", "conflictObj"};
constexpr std::string_view kOnlyDeclared = "is only declared, no unit defines it";
constexpr std::string_view kDiffer = "has definitions that differ in size or members";

std::vector<std::string> builds() {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(fs::path(VK_FIXTURE_DIR) / "cpp", ignored))
        if (entry.path().extension() == ".elf") names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct Expansion {
    std::multimap<std::string, Variable> leaves;
    std::vector<std::string> warnings;

    // Whether a warning leaves out `name` for a reason that contains `reason`.
    bool leftOut(const std::string& name, std::string_view reason) const {
        const std::string head = leftOutWarning(name, "");
        return std::any_of(warnings.begin(), warnings.end(), [&](const std::string& w) {
            return w.rfind(head, 0) == 0 && w.find(reason) != std::string::npos;
        });
    }
};

Expansion expand(const DebugInfo& info) {
    Expansion e;
    for (const GlobalVariable& g : info.globals)
        for (Variable& leaf : flattenVariable(info, g, 1u << 20, &e.warnings))
            e.leaves.emplace(leaf.name, leaf);
    return e;
}

std::string variableOf(const std::string& leafName) {
    return leafName.substr(0, leafName.find_first_of(".["));
}

class CppFirmwareMatrix : public ::testing::TestWithParam<std::string> {};

TEST_P(CppFirmwareMatrix, EveryScalarAtGdbsAddress) {
    const fs::path elfPath = fs::path(VK_FIXTURE_DIR) / "cpp" / (GetParam() + ".elf");
    std::ifstream oracle(elfPath.string() + ".leaves");
    if (!oracle) GTEST_SKIP() << "no gdb addresses (gdb-multiarch not found at build time)";
    auto elf = loadElf(elfPath);
    ASSERT_TRUE(elf.ok()) << elf.error().message();
    auto info = loadDwarf(elf.value());
    ASSERT_TRUE(info.ok()) << info.error().message();
    const bool little = elf.value().littleEndian;
    const Expansion tool = expand(info.value());
    std::set<const Variable*> matched;
    std::set<std::string> listedByGdb;
    int checked = 0, wrong = 0, leftOut = 0;
    const auto fault = [&](const std::string& text) {
        if (++wrong <= 20) ADD_FAILURE() << GetParam() << ": " << text;
    };
    std::string kind;
    while (oracle >> kind) {
        ++checked;
        if (kind == "virtual") {
            std::string name, base;
            oracle >> name >> base;
            if (tool.leftOut(name, "virtual base class " + base))
                ++leftOut;
            else
                fault(name + ": no warning for its virtual base " + base);
            continue;
        }
        GdbBitField field;
        std::uint64_t size = 0;
        oracle >> field.name >> std::hex >> field.address >> std::dec;
        if (kind == "leaf")
            oracle >> size;
        else
            oracle >> field.bitPos >> field.bitSize >> field.endian;
        listedByGdb.insert(variableOf(field.name));
        const auto [first, last] = tool.leaves.equal_range(field.name);
        const auto same = std::find_if(first, last, [&](const auto& entry) {
            const Variable& leaf = entry.second;
            if (matched.count(&leaf)) return false;
            if (kind == "leaf") return !leaf.isBitField && leaf.address == field.address && leaf.size == size;
            return leaf.isBitField && testing::leafBits(leaf, little) == testing::gdbBits(field, little);
        });
        if (same != last) {
            matched.insert(&same->second);
        } else if (kUndefinedByDesign.count(variableOf(field.name)) &&
                   tool.leftOut(variableOf(field.name), kDiffer)) {
            ++leftOut;  // gdb took one of the definitions
        } else {
            std::ostringstream text;
            text << field.name << " at 0x" << std::hex << field.address << " not listed so";
            fault(text.str());
        }
    }
    for (const auto& [name, leaf] : tool.leaves)
        if (!matched.count(&leaf)) fault(name + ": listed, but not by gdb");
    for (const std::string& warning : tool.warnings) {
        const bool undefined =
            warning.find(kOnlyDeclared) != std::string::npos || warning.find(kDiffer) != std::string::npos;
        const std::optional<LeftOutValue> value = leftOutValue(warning);
        if (undefined && (!value || !kUndefinedByDesign.count(std::string(value->name))))
            fault("unexpected warning: " + warning);
    }
    // A class that no unit describes: gdb knows none of its members either.
    const bool opaqueIsGlobal = std::any_of(info.value().globals.begin(), info.value().globals.end(),
                                            [](const GlobalVariable& g) { return g.name == "opaqueObj"; });
    if (opaqueIsGlobal && !listedByGdb.count("opaqueObj") && !tool.leftOut("opaqueObj", kOnlyDeclared))
        fault("opaqueObj: no warning");
    EXPECT_GT(checked, 40);
    RecordProperty("checked", checked);
    RecordProperty("left_out", leftOut);
    EXPECT_EQ(wrong, 0) << GetParam() << ": " << checked << " scalars checked against gdb, " << wrong
                        << " wrong, " << leftOut << " left out with a warning";
}

INSTANTIATE_TEST_SUITE_P(Builds, CppFirmwareMatrix, ::testing::ValuesIn(builds()),
                         [](const ::testing::TestParamInfo<std::string>& build) {
                             std::string name = build.param;
                             std::replace_if(
                                 name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
                             return name;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CppFirmwareMatrix);

}  // namespace
}  // namespace vk::elf
