// The vk-quillet executable run as a real process: list output byte for
// byte on the fixture matrix, the summary, the mode choice, help and the
// error lines with their exit statuses.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "elf/elf_file.h"
#include "foundation/path.h"
#include "tool_run.h"

namespace {

namespace fs = std::filesystem;
using vk::tool::testing_support::readFile;
using vk::tool::testing_support::ToolRun;

fs::path scratchRoot() {
    return fs::path(VK_BINARY_DIR) / "cli_test_scratch" / std::to_string(::getpid());
}

fs::path scratchDir() {
    fs::create_directories(scratchRoot());
    return scratchRoot();
}

class ScratchCleanup : public testing::Environment {
public:
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(scratchRoot(), ignored);
    }
};
testing::Environment* const scratchCleanup = testing::AddGlobalTestEnvironment(new ScratchCleanup);

// Runs the tool with `args` in the scratch directory; `stdoutPath` sends
// standard output elsewhere (then `out` is not read).
ToolRun runTool(const std::vector<std::string>& args, const std::string& stdoutPath = "") {
    return vk::tool::testing_support::runTool(scratchDir(), args,
                                              stdoutPath.empty() ? "stdout.txt" : stdoutPath);
}

std::string fixture(const std::string& variant) {
    return std::string(VK_FIXTURE_DIR) + "/listing-" + variant + ".elf";
}

// The layout of listing.c's globals, written from its source for the two
// pointer widths of the matrix; in the order the compiler emits them.
struct Leaf {
    std::string suffix;
    std::uint64_t offset;
    std::uint64_t size;
    std::string type;
    bool bitField = false;
    bool arrayElement = false;  // position among its array's elements
    std::uint64_t element = 0;
};

struct Global {
    std::string name;
    std::vector<Leaf> leaves;
};

std::vector<Global> listingLayout(std::uint64_t pointerSize) {
    std::vector<Global> globals;

    Global sensor{"sensor_a", {}};
    sensor.leaves = {{".rpm", 0, 2, "unsigned short"},
                     {".word", 4, 4, "unsigned int"},
                     {".bytes[0]", 4, 1, "unsigned char", false, true, 0},
                     {".bytes[1]", 5, 1, "unsigned char", false, true, 1}};
    for (std::uint64_t i = 0; i < 3; ++i) {
        const std::string index = ".track[" + std::to_string(i) + "]";
        sensor.leaves.push_back({index + ".x", 8 + 4 * i, 2, "short", false, true, i});
        sensor.leaves.push_back({index + ".y", 10 + 4 * i, 2, "short", false, true, i});
    }
    sensor.leaves.push_back({".mode", 20, 4, "enum mode"});
    sensor.leaves.push_back({".valid", 24, 1, "_Bool"});
    sensor.leaves.push_back({".source", pointerSize == 8 ? 32u : 28u, pointerSize, "pointer"});
    globals.push_back(sensor);

    globals.push_back({"status",
                       {{".ready", 0, 4, "unsigned int", true},
                        {".level", 0, 4, "unsigned int", true},
                        {".code", 0, 4, "unsigned int", true},
                        {".tail", 2, 2, "unsigned short"}}});

    Global map{"map3", {}};
    for (std::uint64_t i = 0; i < 20; ++i) {
        const std::string index = "[" + std::to_string(i / 10) + "][" + std::to_string(i / 5 % 2) + "][" +
                                  std::to_string(i % 5) + "]";
        map.leaves.push_back({index, i, 1, "unsigned char", false, true, i});
    }
    globals.push_back(map);

    Global label{"label", {}};
    for (std::uint64_t i = 0; i < 6; ++i)
        label.leaves.push_back({"[" + std::to_string(i) + "]", i, 1, "char", false, true, i});
    globals.push_back(label);

    globals.push_back(
        {"gains", {{"[0]", 0, 8, "double", false, true, 0}, {"[1]", 8, 8, "double", false, true, 1}}});
    globals.push_back({"total", {{"", 0, 8, "long long"}}});
    globals.push_back({"samples",
                       {{"[0]", 0, pointerSize, "pointer", false, true, 0},
                        {"[1]", pointerSize, pointerSize, "pointer", false, true, 1}}});
    return globals;
}

// Addresses of the globals from the file's own symbol table.
std::map<std::string, std::uint64_t> symbolAddresses(const std::string& path) {
    std::map<std::string, std::uint64_t> addresses;
    auto elf = vk::elf::loadElf(path);
    if (!elf.ok()) return addresses;
    for (const vk::elf::Symbol& s : vk::elf::readSymbols(elf.value()))
        if (s.type == vk::elf::STT_OBJECT) addresses[s.name] = s.value;
    return addresses;
}

std::string line(std::uint64_t address, std::uint64_t size, const std::string& type, const std::string& name,
                 bool bitField) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "0x%08llX  %-3llu %-24s %s%s\n",
                  static_cast<unsigned long long>(address), static_cast<unsigned long long>(size),
                  type.c_str(), name.c_str(), bitField ? " (bit field)" : "");
    return buffer;
}

struct Variant {
    std::string name;
    std::uint64_t pointerSize;
    std::string machine;
    bool little;
    bool gcc = false;  // names base types the long way: "short unsigned int"
    bool gc = false;   // linked with --gc-sections: unused globals are gone
};

// The base-type names as gcc writes them, where they differ from clang's.
std::string typeNameFor(const Variant& v, const std::string& type) {
    if (!v.gcc) return type;
    if (type == "unsigned short") return "short unsigned int";
    if (type == "short") return "short int";
    if (type == "long long") return "long long int";
    return type;
}

struct Expected {
    std::string out;
    std::size_t lines = 0;
    std::size_t globals = 0;
};

// What the list shows for variant `v` with the array limit `limit` and the
// leaf-name filter `keep`. A global is expected when the symbol table has
// it; only the --gc-sections variants may lack one.
template <typename Keep>
Expected expectedList(const Variant& v, std::uint64_t limit, Keep keep) {
    Expected expected;
    const auto addresses = symbolAddresses(fixture(v.name));
    for (const Global& global : listingLayout(v.pointerSize)) {
        if (addresses.count(global.name) == 0) {
            EXPECT_TRUE(v.gc) << global.name << " missing from " << v.name;
            continue;
        }
        ++expected.globals;
        const std::uint64_t base = addresses.at(global.name);
        for (const Leaf& leaf : global.leaves) {
            const std::string name = global.name + leaf.suffix;
            if (leaf.arrayElement && leaf.element >= limit) continue;
            if (!keep(name)) continue;
            expected.out +=
                line(base + leaf.offset, leaf.size, typeNameFor(v, leaf.type), name, leaf.bitField);
            ++expected.lines;
        }
    }
    return expected;
}

const std::vector<Variant> variants = {
    {"x86_64", 8, "x86-64", true},
    {"i386", 4, "x86", true},
    {"armv7m", 4, "ARM", true},
    {"aarch64", 8, "AArch64", true},
    {"riscv32", 4, "RISC-V", true},
    {"ppc", 4, "machine 20", false},
    {"ppc64", 8, "machine 21", false},
    {"arm-dwarf2", 4, "ARM", true},
    {"arm-dwarf3", 4, "ARM", true},
    {"arm-dwarf5", 4, "ARM", true},
    {"ppc-dwarf5", 4, "machine 20", false},
    {"x86_64-dwarf64", 8, "x86-64", true},
    {"ppc64-dwarf64", 8, "machine 21", false},
    {"x86_64-gc", 8, "x86-64", true, false, true},
    {"arm-dwarf5-gc", 4, "ARM", true, false, true},
    // Built by the host's gcc, where there is one for x86_64.
    {"gcc-dwarf2", 8, "x86-64", true, true},
    {"gcc-dwarf4", 8, "x86-64", true, true},
    {"gcc-dwarf5", 8, "x86-64", true, true},
    {"gcc-gc", 8, "x86-64", true, true, true},
};

std::string summary(std::size_t scalars, const Variant& v, std::size_t globals = 7) {
    return std::to_string(scalars) + " scalar(s) in " + std::to_string(globals) + " variable(s), " +
           v.machine + ", " + (v.little ? "little" : "big") + " endian\n";
}

const auto keepAll = [](const std::string&) { return true; };

class ListAllVariants : public testing::TestWithParam<Variant> {};

TEST_P(ListAllVariants, EveryLeafOfEveryGlobalAndTheSummary) {
    const Variant& v = GetParam();
    if (v.gcc && !fs::exists(fixture(v.name))) GTEST_SKIP() << "no host gcc fixtures";
    const Expected expected = expectedList(v, 16, keepAll);
    if (!v.gc) {
        ASSERT_EQ(expected.lines, 44u);
    } else {
        ASSERT_GE(expected.globals, 3u);  // those that _start uses stay
    }
    const ToolRun run = runTool({"-l", fixture(v.name)});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, expected.out);
    EXPECT_EQ(run.err, summary(expected.lines, v, expected.globals));
}

INSTANTIATE_TEST_SUITE_P(Matrix, ListAllVariants, testing::ValuesIn(variants),
                         [](const testing::TestParamInfo<Variant>& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (c == '-') c = '_';
                             return name;
                         });

TEST(ListMode, ArrayLimitZeroAndOne) {
    for (const Variant& v : {variants[2], variants[6]}) {
        for (std::uint64_t limit : {0u, 1u, 3u}) {
            const Expected expected = expectedList(v, limit, keepAll);
            const ToolRun run = runTool({fixture(v.name), "--max-array", std::to_string(limit)});
            EXPECT_EQ(run.status, 0);
            EXPECT_EQ(run.out, expected.out) << v.name << " limit " << limit;
            EXPECT_EQ(run.err, summary(expected.lines, v));
        }
    }
    // Scalars and bit fields stay whatever the limit; arrays vanish.
    EXPECT_EQ(expectedList(variants[2], 0, keepAll).lines, 10u);
}

TEST(ListMode, PatternFiltersByWholeName) {
    const Variant& v = variants[2];
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"sensor_a.track*",
         {"sensor_a.track[0].x", "sensor_a.track[0].y", "sensor_a.track[1].x", "sensor_a.track[1].y",
          "sensor_a.track[2].x", "sensor_a.track[2].y"}},
        {"*.?",
         {"sensor_a.track[0].x", "sensor_a.track[0].y", "sensor_a.track[1].x", "sensor_a.track[1].y",
          "sensor_a.track[2].x", "sensor_a.track[2].y"}},
        {"map3[1][?][4]", {"map3[1][0][4]"}},  // map3[1][1][4] lies past the first 16
        {"status.*e*", {"status.ready", "status.level", "status.code"}},
        {"total", {"total"}},
        {"sensor_a", {}},
        {"nomatch*", {}},
    };
    for (const auto& [pattern, names] : cases) {
        const Expected expected = expectedList(v, 16, [&](const std::string& name) {
            return std::find(names.begin(), names.end(), name) != names.end();
        });
        EXPECT_EQ(expected.lines, names.size()) << pattern;
        const ToolRun run = runTool({"-l", fixture(v.name), pattern});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, expected.out) << pattern;
        EXPECT_EQ(run.err, summary(names.size(), v)) << pattern;
    }
}

// A value below the depth the expansion follows is named on standard error.
TEST(ListMode, ValuesPastTheDepthBoundAreNamed) {
    const ToolRun run =
        runTool({"-l", std::string(VK_FIXTURE_DIR) + "/generate_cases-x86_64.elf", "v_deep*"});
    std::string name = "v_deep";
    for (int level = 1; level <= 16; ++level) name += ".in";
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("warning: " + name +
                                ".x: left out: its expansion stopped at the depth bound, 16 levels below its "
                                "variable\n0 scalar(s) in ",
                            0),
              0u)
        << run.err;
}

// What the list cannot place is named on standard error: the members of
// virtual bases, a class that no unit defines and one defined twice apart.
TEST(ListMode, CppValuesLeftOutAreNamed) {
    const ToolRun run =
        runTool({"-l", std::string(VK_FIXTURE_DIR) + "/cpp/firmware-armv7m-clang++-dwarf4.elf"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find(" chanTable[1].chanId\n"), std::string::npos);
    const std::string virtualBase =
        ": left out: the members of its virtual base class Node, which only the running program places\n";
    const std::string help = " - build with -fstandalone-debug (clang) or -femit-class-debug-always (gcc)\n";
    const std::string warnings = run.err.substr(0, run.err.find('\n', run.err.rfind("warning: ")) + 1);
    EXPECT_EQ(
        warnings,
        "warning: smartHere" + virtualBase + "warning: smartDev" + virtualBase + "warning: lonelySensor" +
            virtualBase +
            "warning: opaqueObj: left out: type struct Opaque is only declared, no unit defines it" + help +
            "warning: conflictObj: left out: type struct Conflict has definitions that differ in size or "
            "members" +
            help);
}

TEST(ListMode, FullStandardOutputIsAnError) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    // Whether the lines fill the buffer or are flushed only at the end.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{fixture("armv7m")}, {fixture("armv7m"), "total"}}) {
        const ToolRun run = runTool(args, "/dev/full");
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "error: cannot write the list to standard output\n");
    }
}

// What a run that chose update or generate mode must look like, whether
// that mode is complete or not: one error line, nothing on stdout.
void expectNotListMode(const ToolRun& run) {
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("error: ", 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
}

TEST(ModeChoice, ListUpdateOrGenerate) {
    const std::string elf = fixture("armv7m");
    const std::string listed = summary(44, variants[2]);
    const std::string missing = (scratchDir() / "missing.file").string();
    EXPECT_EQ(runTool({elf}).err, listed);
    EXPECT_EQ(runTool({elf, "-l", "-v", missing}).err, listed);
    EXPECT_EQ(runTool({elf, "-v", ""}).err, listed);
    EXPECT_EQ(runTool({elf, "-u", "", "--details", "-o", missing}).err, listed);
    expectNotListMode(runTool({elf, "-v", missing}));
    expectNotListMode(runTool({elf, "-u", missing, "-l"}));
    expectNotListMode(runTool({elf, "-u", missing, "-v", missing}));
}

TEST(CommandLine, HelpGoesToStdoutWithStatusZero) {
    const ToolRun run = runTool({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    for (const char* text :
         {"vk-quillet - A2L from ELF/DWARF", "elf TEXT REQUIRED", "ELF file with debug information (-g)",
          "pattern TEXT", "--list: only names matching this pattern (* ?)", "-h,--help",
          "-v,--variables TEXT", "Variable list (JSON)", "-o,--output TEXT",
          "A2L file to write (default: stdout)", "-l,--list", "List the variables of the ELF file",
          "--max-array UINT=16", "--list: array elements shown per array", "-u,--update TEXT",
          "Existing A2L: update its addresses and data types from the ELF", "--details",
          "--update: list every change and every object not found"}) {
        EXPECT_NE(run.out.find(text), std::string::npos) << text;
    }
    EXPECT_EQ(runTool({"-h"}).out, run.out);
}

TEST(CommandLine, ParseErrorsEndInTheLibrarysExitHandling) {
    const ToolRun missing = runTool({});
    EXPECT_NE(missing.status, 0);
    EXPECT_NE(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("elf"), std::string::npos) << missing.err;
    EXPECT_EQ(missing.err.find("error: "), std::string::npos) << missing.err;

    const ToolRun unknown = runTool({fixture("armv7m"), "--frobnicate"});
    EXPECT_NE(unknown.status, 0);
    EXPECT_EQ(unknown.out, "");

    const ToolRun badNumber = runTool({fixture("armv7m"), "--max-array", "many"});
    EXPECT_NE(badNumber.status, 0);
    EXPECT_EQ(badNumber.out, "");

    const ToolRun extra = runTool({fixture("armv7m"), "a*", "third"});
    EXPECT_NE(extra.status, 0);
    EXPECT_EQ(extra.out, "");
}

TEST(LoadErrors, TheOnlyLineWhateverTheMode) {
    const fs::path dir = scratchDir();
    const std::string missing = (dir / "no-such.elf").string();
    const std::string text = (dir / "notes.txt").string();
    std::ofstream(text) << "not an executable\n";
    for (const std::vector<std::string>& mode :
         {std::vector<std::string>{"-l"}, {"-v", text}, {"-u", text}, {}}) {
        std::vector<std::string> args = mode;
        args.push_back(missing);
        ToolRun run = runTool(args);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "error: cannot open " + missing + "\n");

        args.back() = text;
        run = runTool(args);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "error: " + text + " is not an ELF file\n");
    }
}

// A copy of a fixture whose section names no longer say ".debug_info".
std::string withoutDebugInfo(const std::string& source, const fs::path& target) {
    std::string bytes = readFile(source);
    const std::string name(".debug_info\0", 12);
    const std::size_t at = bytes.find(name);
    EXPECT_NE(at, std::string::npos);
    if (at != std::string::npos) bytes[at + 1] = 'X';
    std::ofstream(target, std::ios::binary) << bytes;
    return target.string();
}

TEST(LoadErrors, MissingDebugInformation) {
    const std::string stripped = withoutDebugInfo(fixture("ppc64"), scratchDir() / "stripped.elf");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-l", stripped}, {stripped, "-u", "x"}}) {
        const ToolRun run = runTool(args);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "error: no DWARF debug information (.debug_info) - build with -g\n");
    }
}

// Debug information in a form that is not read ends the run with one line
// saying what was found and what to do, in every mode, however the rest of
// the file reads: as compilers and tools write it (unread/ and generated/).
struct UnreadCase {
    std::string file;  // below the fixture folder
    std::string error;
    bool optional = false;  // from a toolchain that may be missing
};

const std::string kSplit = " - build without -gsplit-dwarf\n";
const std::string kTypes = " - build without -fdebug-types-section\n";
const std::string kObject =
    "relocatable object (ELF type ET_REL): not linked, its addresses are not final - give the linked ELF "
    "file\n";
const std::string kDecompress =
    ") - build without -gz, or decompress it with objcopy --decompress-debug-sections\n";

const std::vector<UnreadCase> unreadCases = {
    {"generated/compressed-zlib.elf", "compressed DWARF debug information (.debug_info" + kDecompress},
    {"generated/compressed-zlib-gnu.elf", "compressed DWARF debug information (.zdebug_info" + kDecompress},
    {"unread/types-gcc-dwarf4.elf", "DWARF type units (.debug_types)" + kTypes, true},
    {"unread/types-gcc-dwarf5.elf", "DWARF type units (DW_UT_type)" + kTypes, true},
    {"unread/types-g++-dwarf4.elf", "DWARF type units (.debug_types)" + kTypes, true},
    {"unread/types-g++-dwarf5.elf", "DWARF type units (DW_UT_type)" + kTypes, true},
    {"unread/types-clang++-dwarf4.elf", "DWARF type units (.debug_types)" + kTypes},
    {"unread/types-clang++-dwarf5.elf", "DWARF type units (DW_UT_type)" + kTypes},
    {"unread/split-gcc-dwarf4.elf", "split DWARF debug information (DW_AT_GNU_dwo_name)" + kSplit, true},
    {"unread/split-gcc-dwarf5.elf", "split DWARF debug information (DW_UT_skeleton)" + kSplit, true},
    {"unread/split-clang-dwarf4.elf", "split DWARF debug information (DW_AT_GNU_dwo_name)" + kSplit},
    {"unread/split-clang-dwarf5.elf", "split DWARF debug information (DW_UT_skeleton)" + kSplit},
    {"unread/split-gcc-dwarf4.basic.dwo", "split DWARF debug information (.debug_info.dwo)" + kSplit, true},
    {"unread/split-gcc-dwarf5.basic.dwo", "split DWARF debug information (.debug_info.dwo)" + kSplit, true},
    {"unread/split-clang-dwarf4.basic.dwo", "split DWARF debug information (.debug_info.dwo)" + kSplit},
    {"unread/split-clang-dwarf5.basic.dwo", "split DWARF debug information (.debug_info.dwo)" + kSplit},
    {"unread/object-gcc-x86_64.o", kObject, true},
    {"unread/object-gcc-i386.o", kObject, true},
    {"unread/object-arm-gcc.o", kObject, true},
    {"unread/object-ld-r.o", kObject, true},
    {"basic-armv7m.elf.o", kObject},
    {"unread/stabs-avr.elf", "STABS debug information (.stab) - build with -gdwarf-4\n", true},
    {"unread/debuglink-x86_64.elf",
     "debug information in a separate file (.gnu_debuglink) - give the debug file debuglink-x86_64.debug\n"},
};

TEST(LoadErrors, DebugInformationThatIsNotRead) {
    for (const UnreadCase& c : unreadCases) {
        const std::string elf = std::string(VK_FIXTURE_DIR) + "/" + c.file;
        if (c.optional && !fs::exists(elf)) continue;
        for (const std::vector<std::string>& args : {std::vector<std::string>{"-l", elf}, {elf, "-u", "x"}}) {
            const ToolRun run = runTool(args);
            EXPECT_EQ(run.status, 1) << c.file;
            EXPECT_EQ(run.out, "") << c.file;
            EXPECT_EQ(run.err, "error: " + c.error) << c.file;
        }
    }
    // The debug file that the stripped one names lists what the unstripped file lists.
    const ToolRun debugFile = runTool({"-l", std::string(VK_FIXTURE_DIR) + "/unread/debuglink-x86_64.debug"});
    const ToolRun unstripped = runTool({"-l", std::string(VK_FIXTURE_DIR) + "/basic-x86_64.elf"});
    EXPECT_EQ(debugFile.status, 0);
    EXPECT_EQ(debugFile.out, unstripped.out);
    EXPECT_EQ(debugFile.err, unstripped.err);
}

// avr-gcc writes STABS for plain -g; linked with avr-libc, whose unit has
// DWARF, only the library's variables are read, and every mode says so.
TEST(LoadErrors, StabsBesideDwarfIsAWarningInEveryMode) {
    const std::string elf = std::string(VK_FIXTURE_DIR) + "/unread/stabs-avr-libc.elf";
    if (!fs::exists(elf)) GTEST_SKIP() << "no avr-gcc";
    const std::string warning =
        "STABS debug information (.stab) is not read: the variables of its units are not listed - build with "
        "-gdwarf-4";
    const ToolRun list = runTool({"-l", elf});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.err,
              "warning: " + warning + "\n16 scalar(s) in 1 variable(s), machine 83, little endian\n");

    const fs::path dir = scratchDir();
    std::ofstream(dir / "all.json") << R"({"variables": [{"name": "*"}]})";
    const ToolRun generated = runTool({elf, "-v", "all.json", "-o", "avr.a2l"});
    EXPECT_EQ(generated.status, 0);
    EXPECT_EQ(generated.err.rfind("warning: " + warning + "\n", 0), 0u) << generated.err;

    const ToolRun updated = runTool({elf, "-u", "avr.a2l", "-o", "updated.a2l"});
    EXPECT_EQ(updated.status, 0);
    EXPECT_EQ(updated.err.rfind("warnings (1):\n  " + warning + "\n", 0), 0u) << updated.err;
    EXPECT_NE(updated.err.find(" 0 not found, 1 warning(s)\n"), std::string::npos) << updated.err;
}

TEST(LoadErrors, NonUtf8FileNamesPassAsBytes) {
    const fs::path dir = scratchDir();
#if defined(_WIN32)
    // Arguments reach the program in UTF-8 (the code page its manifest sets),
    // and name the file through the wide-character interface.
    const std::string name = vk::pathToUtf8(dir) + "/fw-\xC3\xA9\xE2\x82\xAC.elf";
    fs::copy_file(fixture("armv7m"), vk::pathFromUtf8(name), fs::copy_options::overwrite_existing);
#else
    // Here a file name is a byte string: it is used unchanged.
    const std::string name = (dir / "fw-\xFF.elf").string();
    fs::copy_file(fixture("armv7m"), name, fs::copy_options::overwrite_existing);
#endif
    const ToolRun run = runTool({"-l", name, "total"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, summary(1, variants[2]));
}

TEST(Example, EngineControllerLists) {
    // Built beside the fixtures (a cross build's tests read the host build's).
    const std::string example = std::string(VK_FIXTURE_DIR) + "/../examples/engine_controller.elf";
    if (!fs::exists(example)) GTEST_SKIP() << "example not built";
    const ToolRun run = runTool({"-l", example, "cal.base_fuel_map*"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find(" cal.base_fuel_map[1][7]\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("cal.base_fuel_map[2][0]"), std::string::npos);
    EXPECT_NE(run.err.find(", ARM, little endian\n"), std::string::npos) << run.err;
}

}  // namespace
