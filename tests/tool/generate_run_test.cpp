// Generate mode run as a real process: the variable list file, warnings and
// counts on standard error, the text on standard output or in the -o file,
// and the error lines that leave an existing output file as it was.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "generate_test_support.h"
#include "tool_run.h"

namespace vk::tool {
namespace {

namespace fs = std::filesystem;
using namespace vk::tool::testing_support;
using namespace std::string_view_literals;

class GenerateRun : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("vk_generate_run_test_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    static std::string read(const fs::path& path) { return readFile(path); }
    static void write(const fs::path& path, const std::string& text) { writeFile(path, text); }

    ToolRun run(const std::vector<std::string>& args) const { return runTool(dir_, args); }

    fs::path list(const std::string& json) const {
        const fs::path path = dir_ / "list.json";
        write(path, json);
        return path;
    }

    fs::path dir_;
    const std::string elf_ = testing::fixturePath("generate_cases", "x86_64");
};

const char* const kList =
    R"({"variables": [{"name": "v_u8"}, {"name": "v_ld"}, {"name": "v_s8", "parameter": true},
                                             {"name": "gone"}]})";
const char* const kWarnings =
    "warning: v_ld: type long double skipped\n"
    "warning: 'gone' matches no variable in the ELF file\n";

TEST_F(GenerateRun, TextToStandardOutput) {
    const fs::path variables = list(kList);
    const ToolRun result = run({elf_, "-v", variables.string()});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, kWarnings);
    const testing::Firmware firmware = testing::loadFirmware("generate_cases", "x86_64");
    EXPECT_EQ(result.out, testing::generateOk(firmware, kList, "generate_cases-x86_64").text);
    EXPECT_NE(result.out.find("/begin PROJECT generate_cases_x86_64 \"\"\n"), std::string::npos);
}

TEST_F(GenerateRun, EveryByteReachesStandardOutput) {
    const fs::path variables = list(R"({"description": "a\u0000b", "variables": []})");
    const ToolRun result = run({elf_, "-v", variables.string()});
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("/begin PROJECT generate_cases_x86_64 \"a\0b\"\n"sv), std::string::npos);
    EXPECT_EQ(result.out.substr(result.out.size() - 13), "/end PROJECT\n");
}

TEST_F(GenerateRun, OutputFileWithCounts) {
    const fs::path variables = list(kList);
    const fs::path output = dir_ / "out.a2l";
    write(output, "old content");
    const ToolRun result = run({elf_, "-v", variables.string(), "-o", output.string()});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, std::string(kWarnings) + output.string() + ": 1 measurement(s), 1 parameter(s)\n");
    const testing::Firmware firmware = testing::loadFirmware("generate_cases", "x86_64");
    EXPECT_EQ(read(output), testing::generateOk(firmware, kList, "generate_cases-x86_64").text);
}

// -o over the ELF file or the variable list would destroy the input, also
// when it names the file through a link or another spelling; nothing is
// written. (-o over the -u file of an update is an update in place.)
TEST_F(GenerateRun, OutputNamingAnInputIsRefused) {
    fs::copy_file(elf_, dir_ / "fw.elf");
    const std::string json = R"({"variables": [{"name": "v_u8"}]})";
    list(json);
    fs::create_hard_link(dir_ / "fw.elf", dir_ / "hard.elf");
    const std::string elfBytes = read(dir_ / "fw.elf");
    const std::vector<std::pair<std::string, std::string>> outputs = {
        {"list.json", "variable list"},
        {"./list.json", "variable list"},
        {"fw.elf", "ELF file"},
        {"hard.elf", "ELF file"},
        {"sub/../fw.elf", "ELF file"},
#if defined(_WIN32)
        {"FW.ELF", "ELF file"},
#else
        {"link.json", "variable list"},
#endif
    };
    fs::create_directory(dir_ / "sub");
#if !defined(_WIN32)
    fs::create_symlink("list.json", dir_ / "link.json");
#endif
    for (const auto& [output, role] : outputs) {
        const ToolRun result = run({"fw.elf", "-v", "list.json", "-o", output});
        EXPECT_EQ(result.status, 1) << output;
        EXPECT_EQ(result.err, "error: cannot write " + output + ": it is the " + role + "\n");
        EXPECT_EQ(read(dir_ / "list.json"), json);
        EXPECT_EQ(read(dir_ / "fw.elf"), elfBytes);
    }
    const ToolRun update = run({"fw.elf", "-u", "list.json", "-o", "hard.elf"});
    EXPECT_EQ(update.status, 1);
    EXPECT_EQ(update.err, "error: cannot write hard.elf: it is the ELF file\n");
    EXPECT_EQ(read(dir_ / "fw.elf"), elfBytes);
}

TEST_F(GenerateRun, ErrorsLeaveTheOutputFileAlone) {
    const fs::path output = dir_ / "out.a2l";
    write(output, "old content");

    ToolRun result = run({elf_, "-v", (dir_ / "missing.json").string(), "-o", output.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "error: cannot open " + (dir_ / "missing.json").string() + "\n");

    result = run({elf_, "-v", dir_.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "error: cannot open " + dir_.string() + "\n");

    const fs::path bad = list(R"({"variables": [{"name": "v_u8", "factor": "x"}]})");
    result = run({elf_, "-v", bad.string(), "-o", output.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err,
              "error: variable list: [json.exception.type_error.302] type must be number, but is string\n");
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(read(output), "old content");

    const fs::path good = list(R"({"variables": []})");
    const fs::path nowhere = dir_ / "no" / "out.a2l";
    result = run({elf_, "-v", good.string(), "-o", nowhere.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "error: cannot write " + nowhere.string() + ": No such file or directory\n");
    EXPECT_FALSE(fs::exists(dir_ / "no"));

    // A device is no file to replace, nor one to read back.
#if defined(_WIN32)
    for (const std::string device : {"NUL", "con.a2l", "sub/Com1"}) {
#else
    for (const std::string device : {"/dev/null"}) {
#endif
        result = run({elf_, "-v", good.string(), "-o", device});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, "error: cannot write " + device + ": not a regular file\n");
    }
}

TEST_F(GenerateRun, MissingListIsReportedAfterTheElf) {
    const ToolRun result = run({(dir_ / "missing.elf").string(), "-v", (dir_ / "missing.json").string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err.find("missing.json"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace vk::tool
