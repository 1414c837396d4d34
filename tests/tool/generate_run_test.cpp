// Generate mode run as a real process: the variable list file, warnings and
// counts on standard error, the text on standard output or in the -o file,
// and the error lines that leave an existing output file as it was.
#include <gtest/gtest.h>
#include <sys/wait.h>
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

TEST_F(GenerateRun, OutputOverTheVariableListItself) {
    const fs::path variables = list(R"({"variables": [{"name": "v_u8"}]})");
    const ToolRun result = run({elf_, "-v", variables.string(), "-o", variables.string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(read(variables).rfind("ASAP2_VERSION 1 61\n", 0), 0u);
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
}

TEST_F(GenerateRun, MissingListIsReportedAfterTheElf) {
    const ToolRun result = run({(dir_ / "missing.elf").string(), "-v", (dir_ / "missing.json").string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err.find("missing.json"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace vk::tool
