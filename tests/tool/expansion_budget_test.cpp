// A small file whose globals each branch into millions of values: one run
// stops at the budget of its input and says so.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "elf/dwarf_builder.h"
#include "tool_run.h"

namespace vk::tool {
namespace {

namespace fs = std::filesystem;
using namespace vk::elf::test;
using testing_support::runTool;
using testing_support::ToolRun;
using testing_support::writeFile;

// Given DWARF like this:
//   base_type "int"; structure "s0" of members a, b, c, d of type int;
//   structure "sN" of members a, b, c, d of type s(N-1), up to s11;
//   64 variables g0.. of type s11 in .data
// Each global has 4^12 leaves, beyond the bound of one expansion.
std::vector<std::uint8_t> branchingFirmware() {
    DieWriter w{UnitShape{}};
    w.code(kCu).b.str("branch.c");
    std::uint32_t level = w.offset();
    w.code(kBase).b.str("int").u8(4).u8(5);
    for (int depth = 0; depth < 12; ++depth) {
        const std::uint32_t below = level;
        level = w.offset();
        w.code(kStruct).b.str("s" + std::to_string(depth)).u8(16);
        for (int m = 0; m < 4; ++m)
            w.code(kMember).b.str(std::string(1, static_cast<char>('a' + m))).u32(below).u8(4 * m);
        w.b.u8(0);
    }
    for (int i = 0; i < 64; ++i) {
        w.code(kVar).b.str("g" + std::to_string(i)).u32(level);
        w.addrLocation(0x1000 + 16 * i);
    }
    w.b.u8(0);
    DwarfFile f;
    f.abbrev = commonAbbrevs();
    f.info = w.unit();
    return makeElf(f).data;
}

TEST(ExpansionBudget, AListStopsAtTheBudgetOfItsInput) {
    const fs::path dir = fs::temp_directory_path() / ("vk_expansion_budget_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::vector<std::uint8_t> bytes = branchingFirmware();
    writeFile(dir / "branch.elf", std::string(bytes.begin(), bytes.end()));
    // A pattern that matches nothing but may match under any name: every
    // value is expanded, none printed.
    const ToolRun list = runTool(dir, {"branch.elf", "*nothing"});
    fs::remove_all(dir);
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.err.find("warning: expansion stopped after "), std::string::npos) << list.err;
    EXPECT_NE(list.err.find("values in all, the limit for this input; later values are left out\n"),
              std::string::npos)
        << list.err;
    EXPECT_NE(list.err.find("0 scalar(s) in 64 variable(s)"), std::string::npos) << list.err;
}

// frame_buffers.c: twenty 2,000,000-byte frame buffers, cal_map[16], then
// log_buf[3000000]. What nothing selects costs nothing; a cut is reported.
struct BudgetCase {
    std::vector<std::string> args;  // after the ELF file
    std::string variables;          // the -v file, when given
    std::size_t lines;              // of standard output
    std::vector<std::string> err;   // parts of standard error, in this order
};

TEST(ExpansionBudget, WhatNothingSelectsCostsNothing) {
    const std::string elf = std::string(VK_FIXTURE_DIR) + "/generated/frame_buffers-armv7m.elf";
    const std::string calMap =
        R"({"defaults": {"maxArrayElements": 4000000}, "variables": [{"name": "cal_map"}]})";
    const std::string logEnd =
        R"({"defaults": {"maxArrayElements": 3000000}, "variables": [{"name": "log_buf[2999999]"}]})";
    const BudgetCase cases[] = {
        {{"--max-array", "4000000", "cal_map*"}, "", 16, {"\n16 scalar(s) in 22 variable(s)"}},
        {{"-v", "list.json", "-o", "out.a2l"}, calMap, 0, {"\nout.a2l: 16 measurement(s)"}},
        {{"--max-array", "3000000", "log_buf[2999999]"}, "", 1, {"\n1 scalar(s) in 22 variable(s)"}},
        {{"-v", "list.json", "-o", "out.a2l"}, logEnd, 0, {"\nout.a2l: 1 measurement(s)"}},
        // Every element may match, none does: the expansion's own bound ends it.
        {{"--max-array", "3000000", "log_buf[*]x"},
         "",
         0,
         {"\nwarning: log_buf: expansion stopped after 2097152 values\n0 scalar(s) in 22 variable(s)"}},
    };
    const fs::path dir = fs::temp_directory_path() / ("vk_unselected_" + std::to_string(::getpid()));
    for (const BudgetCase& c : cases) {
        fs::create_directories(dir);
        if (!c.variables.empty()) writeFile(dir / "list.json", c.variables);
        std::vector<std::string> args{elf};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ToolRun run = runTool(dir, args);
        const std::string err = "\n" + run.err;
        SCOPED_TRACE(c.args.back() + " " + c.variables + "\n" + run.err);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(static_cast<std::size_t>(std::count(run.out.begin(), run.out.end(), '\n')), c.lines);
        for (const std::string& part : c.err) EXPECT_NE(err.find(part), std::string::npos) << part;
        EXPECT_EQ(err.find("values in all"), std::string::npos);
        EXPECT_EQ(err.find("in the ELF file"), std::string::npos);
        fs::remove_all(dir);
    }
}

}  // namespace
}  // namespace vk::tool
