// Update mode of the built vk-quillet: A2L files generated for update_before
// and updated against update_after in every variant, checked byte for byte
// against the input with only the stale tokens replaced, and against readelf;
// the report on standard error, the -o file with its self-check, the errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "a2l/source_index.h"
#include "tests/tool/readelf_symbols.h"
#include "tests/tool/update_test_support.h"
#include "tool/a2l_format.h"
#include "tool_run.h"

namespace vk::tool {
namespace {

namespace fs = std::filesystem;
using vk::tool::testing_support::readelfObjectList;
using vk::tool::testing_support::readFile;
using vk::tool::testing_support::ToolRun;
using vk::tool::testing_support::writeFile;

// A fresh directory per test, under the build tree.
fs::path workDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    fs::path dir = fs::path(VK_BINARY_DIR) / "test-output" / "update_run" / info->name();
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

using vk::tool::testing_support::runTool;

// OBJECT symbols as readelf shows them: name to value.
std::map<std::string, std::uint64_t> readelfObjects(const std::string& elf) {
    std::map<std::string, std::uint64_t> symbols;
    for (const auto& object : readelfObjectList(elf)) symbols.emplace(object.name, object.value);
    return symbols;
}

std::vector<a2l::SourceIndex::Object> objectsOf(const std::string& text) {
    auto objects = a2l::scanSource(text);
    EXPECT_TRUE(objects.ok());
    return objects.ok() ? objects.value() : std::vector<a2l::SourceIndex::Object>{};
}

const char* const kVariableList = R"({
  // table elements and cal_* become VALUE characteristics, all else measurements
  "variables": [ {"name": "table", "parameter": true}, {"name": "cal_*", "parameter": true},
                 {"name": "*", "pointer": true} ]
})";

// The text generated for an image with the variable list.
std::string generatedFor(const fs::path& dir, const std::string& elf) {
    ToolRun run = runTool(dir, {elf, "-v", "list.json", "-o", "generated.a2l"});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string text = readFile(dir / "generated.a2l");
    fs::remove(dir / "generated.a2l");
    return text;
}

// Names that lead to two variables in every image: the variable buf_2 and the
// element buf[2], the variable a_b and the identifier of a$b. They keep their
// addresses.
bool ambiguous(const std::string& name) {
    return name == "buf_2" || name == "a_b";
}

// The text an update must give: the input with the address of every scalar
// object that moved, and every MEASUREMENT data type that changed, replaced by
// what generating from the new image writes for that name.
std::string expectedUpdate(const std::string& in, const std::string& generatedAfter) {
    struct Replacement {
        std::uint64_t offset, length;
        std::string text;
    };
    std::map<std::string, a2l::SourceIndex::Object> now;
    for (auto& o : objectsOf(generatedAfter)) now.emplace(o.name, std::move(o));
    std::vector<Replacement> replacements;
    for (const auto& o : objectsOf(in)) {
        auto it = now.find(o.name);
        if (it == now.end() || ambiguous(o.name)) continue;
        const bool scalar = o.kind == a2l::ObjectKind::Measurement || o.characteristicType == "VALUE";
        if (scalar && o.addressToken.present() && o.address != it->second.address)
            replacements.push_back({static_cast<std::uint64_t>(o.addressToken.offset), o.addressToken.length,
                                    hexAddress(it->second.address)});
        if (o.kind == a2l::ObjectKind::Measurement && o.dataTypeOrDeposit != it->second.dataTypeOrDeposit)
            replacements.push_back({static_cast<std::uint64_t>(o.dataTypeToken.offset),
                                    o.dataTypeToken.length, it->second.dataTypeOrDeposit});
    }
    std::sort(replacements.begin(), replacements.end(),
              [](const Replacement& a, const Replacement& b) { return a.offset > b.offset; });
    std::string out = in;
    for (const auto& r : replacements) out.replace(r.offset, r.length, r.text);
    return out;
}

TEST(UpdateRun, RoundTripOverTheFixtureMatrix) {
    const fs::path dir = workDir();
    writeFile(dir / "list.json", kVariableList);
    for (const std::string& variant : testing::fixtureVariants("update_before")) {
        SCOPED_TRACE(variant);
        const std::string before = testing::fixturePath("update_before", variant);
        const std::string afterElf = testing::fixturePath("update_after", variant);
        ToolRun generated = runTool(dir, {before, "-v", "list.json", "-o", "before.a2l"});
        ASSERT_EQ(generated.status, 0) << generated.err;
        const std::string in = readFile(dir / "before.a2l");

        ToolRun updated = runTool(dir, {afterElf, "-u", "before.a2l", "-o", "after.a2l", "--details"});
        ASSERT_EQ(updated.status, 0) << updated.err;
        EXPECT_EQ(updated.out, "");
        ASSERT_GE(updated.err.size(), 21u);
        EXPECT_EQ(updated.err.substr(updated.err.size() - 21), "written to after.a2l\n");
        const testing::Image after = testing::loadImage("update_after", variant);
        // Every name generated before is found; gc variants keep few of the variables.
        EXPECT_EQ(updated.err.find("not in the ELF"), std::string::npos) << updated.err;
        if (after.leaves.count("level") != 0) {
            EXPECT_NE(updated.err.find("level: data type UBYTE -> UWORD\n"), std::string::npos);
        }
        const std::string out = readFile(dir / "after.a2l");
        const std::string generatedAfter = generatedFor(dir, afterElf);
        EXPECT_EQ(out, expectedUpdate(in, generatedAfter));

        // Every address now is the ELF's, also as readelf sees the symbols.
        std::map<std::string, std::uint64_t> now;
        for (const auto& o : objectsOf(generatedAfter)) now.emplace(o.name, o.address);
        const auto symbols = readelfObjects(afterElf);
        std::size_t checkedBySymbol = 0;
        for (const auto& o : objectsOf(out)) {
            if (ambiguous(o.name) || now.count(o.name) == 0) continue;
            EXPECT_EQ(o.address, now.at(o.name)) << o.name;
            if (auto s = symbols.find(o.name); s != symbols.end()) {
                EXPECT_EQ(o.address, s->second) << o.name;
                ++checkedBySymbol;
            }
        }
        EXPECT_GE(checkedBySymbol, after.leaves.count("level") != 0 ? 10u : 1u);

        // Nothing is left to change.
        ToolRun again = runTool(dir, {afterElf, "-u", "after.a2l"});
        EXPECT_EQ(again.status, 0);
        EXPECT_EQ(again.out, out);
        EXPECT_NE(again.err.find(": 0 address(es) changed, "), std::string::npos) << again.err;
    }
}

// Generated from one link order, updated from the other: a name that several
// variables share keeps its address, one name at one address is updated.
TEST(UpdateRun, SameNamedVariablesAcrossLinkOrders) {
    const fs::path dir = workDir();
    writeFile(dir / "list.json", R"({"variables": [{"name": "*"}]})");
    for (const std::string& variant : testing::fixtureVariants("same_names")) {
        SCOPED_TRACE(variant);
        const std::string abElf = testing::fixturePath("same_names", variant);
        const std::string baElf = testing::fixturePath("same_names_reversed", variant);
        ASSERT_EQ(runTool(dir, {abElf, "-v", "list.json", "-o", "ab.a2l"}).status, 0);
        ToolRun updated = runTool(dir, {baElf, "-u", "ab.a2l", "-o", "ba.a2l"});
        ASSERT_EQ(updated.status, 0) << updated.err;
        const auto ab = testing_support::readelfSameNames(abElf);
        const auto ba = testing_support::readelfSameNames(baElf);
        const auto ambiguous = [](const std::string& name, std::uint64_t old, std::uint64_t x,
                                  std::uint64_t y) {
            return "  " + name + ": address " + hexAddress(old) +
                   " in the A2L, 2 variables of this name in the ELF at " + hexAddress(std::min(x, y)) +
                   ", " + hexAddress(std::max(x, y)) + " (ambiguous, not changed - check)\n";
        };
        EXPECT_NE(
            updated.err.find("warnings (2):\n" + ambiguous("counter", ab.counterA, ba.counterA, ba.counterB) +
                             ambiguous("state", ab.fuelState, ba.fuelState, ba.ignState)),
            std::string::npos)
            << updated.err;
        const std::map<std::string, std::uint64_t> expected{{"counter", ab.counterA},
                                                            {"state", ab.fuelState},
                                                            {"only_here", ba.onlyHere},
                                                            {"shared_gain", ba.sharedGain}};
        std::map<std::string, std::uint64_t> written;
        for (const auto& o : objectsOf(readFile(dir / "ba.a2l"))) written.emplace(o.name, o.address);
        EXPECT_EQ(written, expected);
        const int moved = (ab.onlyHere != ba.onlyHere) + (ab.sharedGain != ba.sharedGain);
        EXPECT_NE(updated.err.find("4 object(s): " + std::to_string(moved) + " address(es) changed, " +
                                   std::to_string(4 - moved) + " unchanged, 0 not found, 2 warning(s)\n"),
                  std::string::npos)
            << updated.err;
    }
}

TEST(UpdateRun, OutputNamingTheInputRewritesItInPlace) {
    const fs::path dir = workDir();
    writeFile(dir / "list.json", kVariableList);
    ASSERT_EQ(runTool(dir, {testing::fixturePath("update_before", "ppc"), "-v", "list.json", "-o", "fw.a2l"})
                  .status,
              0);
    const std::string in = readFile(dir / "fw.a2l");
    ToolRun run = runTool(dir, {testing::fixturePath("update_after", "ppc"), "-u", "fw.a2l", "-o", "fw.a2l"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readFile(dir / "fw.a2l"),
              expectedUpdate(in, generatedFor(dir, testing::fixturePath("update_after", "ppc"))));
    EXPECT_NE(readFile(dir / "fw.a2l"), in);
    // No temporary file is left behind.
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(dir)) files += entry.path().extension() == ".a2l";
    EXPECT_EQ(files, 1u);
}

TEST(UpdateRun, ReportAndTextWithoutOutputFile) {
    const fs::path dir = workDir();
    const testing::Image image = testing::loadImage("update_after", "riscv32");
    const std::string counter = hexAddress(image.leaf("counter").address);
    const std::string level = hexAddress(image.leaf("level").address);
    const std::string head =
        "\xEF\xBB\xBF// other tools' blocks and layout stay as they are\r\n"
        "ASAP2_VERSION 1 61\r\n/begin PROJECT p \"\"\r\n  /begin MODULE m \"\"\r\n"
        "    /include \"meas_timing.a2l\"\r\n"
        "    /begin A2ML\r\n      struct { int; };\r\n    /end A2ML\r\n"
        "    /begin IF_DATA OTHER_TOOL_EXT 100 /begin MEASUREMENT level \"\" UBYTE CM 0 0 0 1 ECU_ADDRESS 1 "
        "/end MEASUREMENT /end IF_DATA\r\n";
    const std::string in =
        head +
        "    /begin MEASUREMENT counter \"\" UBYTE CM 0 0 0 255 ECU_ADDRESS 1 /end MEASUREMENT\r\n"
        "    /begin MEASUREMENT level \"\" UBYTE CM 0 0 0 255 /* old */ ECU_ADDRESS 0X10 "
        "/end MEASUREMENT\r\n"
        "    /begin MEASUREMENT gone \"\" UBYTE CM 0 0 0 255 ECU_ADDRESS 0x10 /end MEASUREMENT\r\n"
        "  /end MODULE\r\n/end PROJECT\r\n";
    const std::string out =
        head + "    /begin MEASUREMENT counter \"\" UBYTE CM 0 0 0 255 ECU_ADDRESS " + counter +
        " /end MEASUREMENT\r\n"
        "    /begin MEASUREMENT level \"\" UWORD CM 0 0 0 255 /* old */ ECU_ADDRESS " +
        level +
        " /end MEASUREMENT\r\n"
        "    /begin MEASUREMENT gone \"\" UBYTE CM 0 0 0 255 ECU_ADDRESS 0x10 /end MEASUREMENT\r\n"
        "  /end MODULE\r\n/end PROJECT\r\n";
    writeFile(dir / "in.a2l", in);
    ToolRun run = runTool(dir, {testing::fixturePath("update_after", "riscv32"), "-u", "in.a2l"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, out);
    EXPECT_EQ(run.err,
              "changed (3):\n"
              "  counter: address 0x00000001 -> " +
                  counter +
                  "\n"
                  "  level: address 0x00000010 -> " +
                  level +
                  "\n"
                  "  level: data type UBYTE -> UWORD\n"
                  "not in the ELF (left unchanged) (1):\n"
                  "  gone\n"
                  "warnings (1):\n"
                  "  meas_timing.a2l: included file not followed (its objects are not updated - check)\n"
                  "3 object(s): 2 address(es) changed, 0 unchanged, 1 not found, 1 warning(s)\n");
    EXPECT_EQ(readFile(dir / "in.a2l"), in);
}

TEST(UpdateRun, DiscardedVariablesAreNotInTheElf) {
    // Merged statics whose block --gc-sections discarded, linked by ld.lld
    // and GNU ld; the boot word next to them is live at flash address 4.
    const fs::path dir = workDir();
    writeFile(dir / "in.a2l",
              "/begin PROJECT p \"\" /begin MODULE m \"\"\n"
              "/begin MEASUREMENT boot_pc \"\" ULONG CM 0 0 0 1 ECU_ADDRESS 0x10 /end MEASUREMENT\n"
              "/begin MEASUREMENT dead_b \"\" SLONG CM 0 0 0 1 ECU_ADDRESS 0x20000004 /end MEASUREMENT\n"
              "/end MODULE /end PROJECT\n");
    for (const std::string& variant : testing::fixtureVariants("dead_statics")) {
        ToolRun run = runTool(dir, {testing::fixturePath("dead_statics", variant), "-u", "in.a2l"});
        EXPECT_EQ(run.status, 0) << variant;
        EXPECT_EQ(run.err,
                  "changed (1):\n  boot_pc: address 0x00000010 -> 0x00000004\n"
                  "not in the ELF (left unchanged) (1):\n  dead_b\n"
                  "2 object(s): 1 address(es) changed, 0 unchanged, 1 not found, 0 warning(s)\n")
            << variant;
    }
}

std::string unknownObjects(int count) {
    std::string text = "/begin PROJECT p \"\" /begin MODULE m \"\"\n";
    for (int i = 0; i < count; ++i)
        text +=
            "/begin MEASUREMENT unknown" + std::to_string(i) + " \"\" UBYTE CM 0 0 0 1 /end MEASUREMENT\n";
    return text + "/end MODULE /end PROJECT\n";
}

std::string listOf(int count, int shown) {
    std::string text = "not in the ELF (left unchanged) (" + std::to_string(count) + "):\n";
    for (int i = 0; i < shown; ++i) text += "  unknown" + std::to_string(i) + "\n";
    if (shown < count) text += "  ... (--details for all)\n";
    return text;
}

TEST(UpdateRun, TitledListsShowTenEntriesUnlessDetails) {
    const fs::path dir = workDir();
    const std::string elf = testing::fixturePath("update_after", "x86_64");
    auto summary = [](int n) {
        return std::to_string(n) + " object(s): 0 address(es) changed, 0 unchanged, " + std::to_string(n) +
               " not found, 0 warning(s)\n";
    };
    writeFile(dir / "ten.a2l", unknownObjects(10));
    EXPECT_EQ(runTool(dir, {elf, "-u", "ten.a2l"}).err, listOf(10, 10) + summary(10));
    writeFile(dir / "eleven.a2l", unknownObjects(11));
    EXPECT_EQ(runTool(dir, {elf, "-u", "eleven.a2l"}).err, listOf(11, 10) + summary(11));
    EXPECT_EQ(runTool(dir, {elf, "-u", "eleven.a2l", "--details"}).err, listOf(11, 11) + summary(11));
    writeFile(dir / "none.a2l", unknownObjects(0));
    ToolRun none = runTool(dir, {elf, "-u", "none.a2l", "-o", "none.a2l"});
    EXPECT_EQ(none.err, summary(0) + "written to none.a2l\n");
    EXPECT_EQ(none.status, 0);
}

TEST(UpdateRun, ErrorsEndWithStatusOneAndKeepTheInput) {
    const fs::path dir = workDir();
    const std::string elf = testing::fixturePath("update_after", "aarch64");

    ToolRun missing = runTool(dir, {elf, "-u", "missing.a2l", "-o", "out.a2l"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "error: cannot open missing.a2l\n");
    EXPECT_FALSE(fs::exists(dir / "out.a2l"));

    const std::string broken = "/begin PROJECT p \"\"\n/begin MODULE m \"\"\n\"open\n";
    writeFile(dir / "broken.a2l", broken);
    ToolRun lexical = runTool(dir, {elf, "-u", "broken.a2l", "-o", "broken.a2l"});
    EXPECT_EQ(lexical.status, 1);
    EXPECT_EQ(lexical.err, "error: A2L line 4: unterminated string\n");
    EXPECT_EQ(readFile(dir / "broken.a2l"), broken);

    // Lexically sound but no PROJECT (a fragment for /include): updated, but the
    // read-back fails before the text replaces any file.
    const std::string bare =
        "/begin MEASUREMENT counter \"\" UBYTE CM 0 0 0 1 ECU_ADDRESS 0x1 /end MEASUREMENT\n";
    writeFile(dir / "bare.a2l", bare);
    for (const char* output : {"out.a2l", "bare.a2l"}) {
        SCOPED_TRACE(output);
        ToolRun check = runTool(dir, {elf, "-u", "bare.a2l", "-o", output});
        EXPECT_EQ(check.status, 1);
        const std::string tail =
            "error: updated A2L does not load: " + std::string(output) + ": A2L: no PROJECT block\n";
        ASSERT_GE(check.err.size(), tail.size());
        EXPECT_EQ(check.err.substr(check.err.size() - tail.size()), tail);
        EXPECT_FALSE(fs::exists(dir / "out.a2l"));
        EXPECT_FALSE(fs::exists(dir / (std::string(output) + ".tmp")));
        EXPECT_EQ(readFile(dir / "bare.a2l"), bare);
    }
}

}  // namespace
}  // namespace vk::tool
