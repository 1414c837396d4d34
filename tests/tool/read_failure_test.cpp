// Reads of an input file that fail after the file opened (failing storage,
// network file systems, /proc-style files): every input of the run, the ELF
// file, the variable list, the -u file and the read-back of the -o file, ends
// the run with an error naming the file, and no file that stands is touched.
// The failures come from a preloaded library that fails the reads of one file.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tool_run.h"

namespace vk::tool {
namespace {

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::runTool;
using testing_support::ToolRun;
using testing_support::writeFile;

class ReadFailure : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::path(VK_BINARY_DIR) / "test-output" / "read_failure" / info->name();
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        fs::copy_file(std::string(VK_FIXTURE_DIR) + "/update_after-armv7m.elf", dir_ / "fw.elf");
        writeFile(dir_ / "list.json", R"({"variables": [{"name": "*"}]})");
        const ToolRun made = runTool(dir_, {"fw.elf", "-v", "list.json", "-o", "in.a2l"});
        ASSERT_EQ(made.status, 0) << made.err;
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Runs the tool with reads of `file` (as the tool names it) failing after `bytes`.
    ToolRun runFailing(const std::string& file, std::size_t bytes, const std::vector<std::string>& args) {
        const char* asan = std::getenv("ASAN_OPTIONS");
        const std::string savedAsan = asan != nullptr ? asan : "";
        // The preloaded library comes before the sanitizer runtime of a sanitized build.
        ::setenv("ASAN_OPTIONS", (savedAsan + ":verify_asan_link_order=0").c_str(), 1);
        ::setenv("LD_PRELOAD", VK_READ_FAILURE_SHIM, 1);
        ::setenv("VK_FAIL_READ", (file + ":" + std::to_string(bytes)).c_str(), 1);
        const ToolRun run = runTool(dir_, args);
        ::unsetenv("VK_FAIL_READ");
        ::unsetenv("LD_PRELOAD");
        if (asan != nullptr)
            ::setenv("ASAN_OPTIONS", savedAsan.c_str(), 1);
        else
            ::unsetenv("ASAN_OPTIONS");
        return run;
    }

    std::map<std::string, std::string> files() const {
        std::map<std::string, std::string> out;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            const std::string name = entry.path().filename().string();
            if (name != "stdout.txt" && name != "stderr.txt") out[name] = readFile(entry.path());
        }
        return out;
    }

    fs::path dir_;
};

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VK_TEST_ADDRESS_SANITIZER
#endif
#endif

constexpr const char* kEio = ": Input/output error\n";

TEST_F(ReadFailure, UpdateOverItsOwnInputLeavesItWhole) {
    const auto before = files();
    const std::size_t size = before.at("in.a2l").size();
    for (std::size_t bytes : {std::size_t{0}, std::size_t{100}, size - 1}) {
        const ToolRun run = runFailing("in.a2l", bytes, {"fw.elf", "-u", "in.a2l", "-o", "in.a2l"});
        EXPECT_EQ(run.status, 1) << bytes;
        EXPECT_EQ(run.err, std::string("error: cannot read in.a2l") + kEio) << bytes;
        EXPECT_EQ(files(), before) << bytes;
    }
    // /proc/self/mem opens and then fails its first read.
    const ToolRun mem = runTool(dir_, {"fw.elf", "-u", "/proc/self/mem", "-o", "out.a2l"});
    EXPECT_EQ(mem.status, 1);
    EXPECT_EQ(mem.err, std::string("error: cannot read /proc/self/mem") + kEio);
    EXPECT_EQ(files(), before);
}

TEST_F(ReadFailure, TheElfFileAndTheVariableListFailTheRun) {
    const auto before = files();
    const ToolRun elf = runFailing("fw.elf", 4096, {"fw.elf", "-u", "in.a2l", "-o", "in.a2l"});
    EXPECT_EQ(elf.status, 1);
    EXPECT_EQ(elf.err, std::string("error: cannot read fw.elf") + kEio);
    const ToolRun list = runFailing("list.json", 10, {"fw.elf", "-v", "list.json", "-o", "in.a2l"});
    EXPECT_EQ(list.status, 1);
    EXPECT_EQ(list.err, std::string("error: cannot read list.json") + kEio);
    EXPECT_EQ(files(), before);
}

TEST_F(ReadFailure, AFileLargerThanMemoryIsAReadError) {
    // Sparse: it takes no room on disk, and goes with the test's folder.
    const std::string input = readFile(dir_ / "in.a2l");
    writeFile(dir_ / "huge", "");
    fs::resize_file(dir_ / "huge", std::uintmax_t{1} << 40);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"-l", "huge"},
                                                 {"fw.elf", "-v", "huge", "-o", "out.a2l"},
                                                 {"fw.elf", "-u", "huge", "-o", "in.a2l"}}) {
        const ToolRun run = runTool(dir_, args);
        EXPECT_EQ(run.status, 1) << args[1];
        EXPECT_EQ(run.err, "error: cannot read huge: Cannot allocate memory\n") << args[1];
    }
    EXPECT_FALSE(fs::exists(dir_ / "out.a2l"));
    EXPECT_EQ(readFile(dir_ / "in.a2l"), input);
}

// An input that is no regular file and never ends (a device, a pipe) stops
// at a bound well inside the memory the run may have, not when memory runs
// out. Under a limit of 128 MiB of address space the bound is a quarter of it.
TEST_F(ReadFailure, AnInputThatNeverEndsStopsAtABound) {
#if defined(__SANITIZE_ADDRESS__) || defined(VK_TEST_ADDRESS_SANITIZER)
    GTEST_SKIP() << "the sanitizers' runtime does not start under a limit of address space";
#endif
    const std::string input = readFile(dir_ / "in.a2l");
    const std::string bound = ": not a regular file and longer than 32 MiB\n";
    const std::string tool = "'" + testing_support::toolPath().string() + "'";
    const std::vector<std::pair<std::string, std::string>> runs = {
        {tool + " -l /dev/zero", "/dev/zero"},
        {tool + " fw.elf -v /dev/zero -o out.a2l", "/dev/zero"},
        {tool + " fw.elf -u /dev/zero -o in.a2l", "/dev/zero"},
        {"yes | " + tool + " fw.elf -v /dev/stdin -o out.a2l", "/dev/stdin"},
        {"yes | " + tool + " fw.elf -u /dev/stdin -o in.a2l", "/dev/stdin"},
    };
    for (const auto& [command, name] : runs) {
        const int status = std::system(
            ("cd '" + dir_.string() + "' && ulimit -v 131072 && " + command + " 2>stderr.txt").c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << command;
        EXPECT_EQ(readFile(dir_ / "stderr.txt"), "error: cannot read " + name + bound) << command;
    }
    EXPECT_FALSE(fs::exists(dir_ / "out.a2l"));
    EXPECT_EQ(readFile(dir_ / "in.a2l"), input);
}

// The written text is read back before it replaces the -o file, from the
// temporary file beside it.
TEST_F(ReadFailure, AFailedReadBackOfTheOutputIsNoSuccess) {
    writeFile(dir_ / "out.a2l", "old\n");
    const auto before = files();
    const ToolRun generated = runFailing("out.a2l.tmp", 1000, {"fw.elf", "-v", "list.json", "-o", "out.a2l"});
    EXPECT_EQ(generated.status, 1);
    // After the generator's warnings (a$b and a_b share one identifier).
    EXPECT_TRUE(generated.err.ends_with(
        std::string("\nerror: generated A2L does not load: cannot read out.a2l") + kEio))
        << generated.err;
    const ToolRun updated = runFailing("in.a2l.tmp", 1000, {"fw.elf", "-u", "in.a2l", "-o", "in.a2l"});
    EXPECT_EQ(updated.status, 1);
    EXPECT_NE(updated.err.find(std::string("error: updated A2L does not load: cannot read in.a2l") + kEio),
              std::string::npos)
        << updated.err;
    EXPECT_EQ(files(), before);
}

}  // namespace
}  // namespace vk::tool
