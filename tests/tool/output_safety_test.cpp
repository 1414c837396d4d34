// The built tool's failed runs never leave a partial output file and never
// damage one that already stands: every error of generate and update mode,
// -o naming the input, a directory that cannot be written, a full disk, a
// full standard output, links, special files and open descriptors, and an
// interrupted run. The read-only and full
// file systems are small tmpfs mounts, which need root; without them those
// cases are skipped.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "a2l/project.h"
#include "tool_run.h"

namespace {

namespace fs = std::filesystem;
using namespace vk::tool::testing_support;

const std::string kTool = std::string(VK_BINARY_DIR) + "/vk-quillet";

std::string fixture(const std::string& stem) {
    return std::string(VK_FIXTURE_DIR) + "/" + stem + "-armv7m.elf";
}

// Every entry below a directory with its content ("/" for a directory).
std::map<std::string, std::string> snapshot(const fs::path& dir) {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        const std::string name = fs::relative(entry.path(), dir).string();
        entries[name] = entry.is_directory() ? "/" : readFile(entry.path());
    }
    return entries;
}

// A variable list whose A2L text is far larger than 64 KiB.
std::string bigList() {
    return R"({"defaults": {"maxArrayElements": 100},
               "variables": [{"name": "*", "pointer": true, "description": ")" +
           std::string(1000, 'd') + R"("}]})";
}

class OutputSafety : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root_ = fs::path(VK_BINARY_DIR) / "test-output" / "output_safety" / info->name();
        unmountAll();
        fs::remove_all(root_);
        fs::create_directories(root_ / "out");
        ASSERT_TRUE(fs::exists(kTool)) << kTool << " is not built";
    }
    void TearDown() override {
        unmountAll();
        fs::remove_all(root_);
    }

    // Runs the tool in the test's directory; its streams go to files beside
    // out/, which is the directory the checks look at.
    ToolRun run(const std::vector<std::string>& args, const std::string& stdoutFile = "stdout.txt") const {
        return runTool(root_, args, stdoutFile);
    }

    // A tmpfs of `kib` KiB at out/NAME; false when this process may not mount.
    bool mountTmpfs(const std::string& name, unsigned kib, bool readOnly) {
        const fs::path point = root_ / "out" / name;
        fs::create_directories(point);
        const std::string options = "size=" + std::to_string(kib) + "k,mode=0755";
        if (::mount("tmpfs", point.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0, options.c_str()) != 0) {
            fs::remove(point);
            return false;
        }
        mounts_.push_back(point);
        return true;
    }

    void unmountAll() {
        for (const fs::path& point : mounts_) ::umount2(point.c_str(), MNT_DETACH);
        mounts_.clear();
    }

    // Runs each argument list, which must fail, and checks that out/ is
    // exactly as it was before.
    void expectFailuresKeepOutputs(const std::vector<std::vector<std::string>>& runs) {
        const auto before = snapshot(root_ / "out");
        for (const auto& args : runs) {
            std::string shown;
            for (const std::string& arg : args) shown += arg + " ";
            SCOPED_TRACE(shown);
            const ToolRun result = run(args);
            EXPECT_EQ(result.status, 1) << result.err;
            // An update that fails in writing has printed its report first.
            const std::size_t last =
                result.err.rfind('\n', result.err.size() < 2 ? 0 : result.err.size() - 2);
            const std::size_t lineStart = last == std::string::npos ? 0 : last + 1;
            EXPECT_EQ(result.err.compare(lineStart, 7, "error: "), 0) << result.err;
            EXPECT_EQ(result.out, "");
            EXPECT_EQ(snapshot(root_ / "out"), before);
        }
    }

    fs::path root_;
    std::vector<fs::path> mounts_;
    const std::string generateElf_ = fixture("generate_cases");
    const std::string updateElf_ = fixture("update_after");
};

TEST_F(OutputSafety, EveryGenerateErrorKeepsTheOutputFile) {
    writeFile(root_ / "out" / "out.a2l", "old content\n");
    writeFile(root_ / "syntax.json", "{\"variables\": [");
    writeFile(root_ / "type.json", R"({"variables": [{"name": "v_u8", "factor": "x"}]})");
    writeFile(root_ / "event.json", R"({"defaults": {"event": "none"}, "variables": []})");
    writeFile(root_ / "good.json", R"({"variables": [{"name": "v_u8"}]})");
    writeFile(root_ / "text.elf", "not an ELF file at all, but long enough for a header......");
    expectFailuresKeepOutputs({
        {"missing.elf", "-v", "good.json", "-o", "out/out.a2l"},
        {"text.elf", "-v", "good.json", "-o", "out/out.a2l"},
        {generateElf_, "-v", "missing.json", "-o", "out/out.a2l"},
        {generateElf_, "-v", "out", "-o", "out/out.a2l"},
        {generateElf_, "-v", "syntax.json", "-o", "out/out.a2l"},
        {generateElf_, "-v", "type.json", "-o", "out/out.a2l"},
        {generateElf_, "-v", "event.json", "-o", "out/out.a2l"},
        {generateElf_, "-v", "good.json", "-o", "out/missing/out.a2l"},
        {generateElf_, "-v", "good.json", "-o", "out/out.a2l/below.a2l"},
        {generateElf_, "-v", "good.json", "-o", "out"},
    });
}

TEST_F(OutputSafety, EveryUpdateErrorKeepsTheOutputFile) {
    writeFile(root_ / "out" / "out.a2l", "old content\n");
    writeFile(root_ / "lexical.a2l", "/begin PROJECT p \"open\n");
    writeFile(root_ / "nesting.a2l", "/begin PROJECT p /begin MODULE m /end PROJECT /end MODULE\n");
    writeFile(root_ / "good.a2l", "/begin PROJECT p /begin MODULE m /end MODULE /end PROJECT\n");
    // Meant for /include: it updates, but does not load on its own.
    writeFile(root_ / "fragment.a2l",
              "/begin MEASUREMENT v_u8 \"\" UBYTE NO_COMPU_METHOD 0 0 0 255 /end MEASUREMENT\n");
    expectFailuresKeepOutputs({
        {updateElf_, "-u", "fragment.a2l", "-o", "out/out.a2l"},
        {"missing.elf", "-u", "good.a2l", "-o", "out/out.a2l"},
        {updateElf_, "-u", "missing.a2l", "-o", "out/out.a2l"},
        {updateElf_, "-u", "out", "-o", "out/out.a2l"},
        {updateElf_, "-u", "lexical.a2l", "-o", "out/out.a2l"},
        {updateElf_, "-u", "nesting.a2l", "-o", "out/out.a2l"},
        {updateElf_, "-u", "good.a2l", "-o", "out/missing/out.a2l"},
        {updateElf_, "-u", "good.a2l", "-o", "out/out.a2l/below.a2l"},
    });
}

TEST_F(OutputSafety, OutputNamingTheInputIsKeptWhenTheRunFails) {
    writeFile(root_ / "out" / "list.json", R"({"variables": [{"name": "v_u8", "factor": "x"}]})");
    writeFile(root_ / "out" / "in.a2l", "/begin PROJECT p /begin MODULE m \"open\n");
    expectFailuresKeepOutputs({
        {generateElf_, "-v", "out/list.json", "-o", "out/list.json"},
        {updateElf_, "-u", "out/in.a2l", "-o", "out/in.a2l"},
    });
}

TEST_F(OutputSafety, UnwritableDirectoryGetsNothing) {
    if (!mountTmpfs("ro", 16, true)) GTEST_SKIP() << "cannot mount a read-only tmpfs here";
    writeFile(root_ / "list.json", R"({"variables": [{"name": "v_u8"}]})");
    writeFile(root_ / "in.a2l", "/begin PROJECT p /begin MODULE m /end MODULE /end PROJECT\n");
    expectFailuresKeepOutputs({
        {generateElf_, "-v", "list.json", "-o", "out/ro/out.a2l"},
        {updateElf_, "-u", "in.a2l", "-o", "out/ro/out.a2l"},
    });
    EXPECT_NE(readFile(root_ / "stderr.txt").find("Read-only file system"), std::string::npos);
}

TEST_F(OutputSafety, FullDiskKeepsTheExistingFileWhole) {
    if (!mountTmpfs("full", 64, false)) GTEST_SKIP() << "cannot mount a small tmpfs here";
    const std::string old = "old content\n";
    writeFile(root_ / "out" / "full" / "out.a2l", old);
    writeFile(root_ / "big.json", bigList());
    // Fits the file system once but not twice, so that rewriting it in place
    // cannot succeed either.
    const std::string input =
        "/begin PROJECT p /begin MODULE m /end MODULE /end PROJECT\n/*" + std::string(45000, ' ') + "*/\n";
    writeFile(root_ / "in.a2l", input);
    writeFile(root_ / "out" / "full" / "in.a2l", input);
    expectFailuresKeepOutputs({
        {generateElf_, "-v", "big.json", "-o", "out/full/out.a2l"},
        {updateElf_, "-u", "in.a2l", "-o", "out/full/out.a2l"},
        {updateElf_, "-u", "out/full/in.a2l", "-o", "out/full/in.a2l"},
    });
    EXPECT_NE(readFile(root_ / "stderr.txt").find("No space left on device"), std::string::npos);
    EXPECT_EQ(readFile(root_ / "out" / "full" / "out.a2l"), old);
    // The same runs succeed where there is room.
    EXPECT_EQ(run({generateElf_, "-v", "big.json", "-o", "big.a2l"}).status, 0);
    EXPECT_GT(fs::file_size(root_ / "big.a2l"), 64u * 1024);
    EXPECT_EQ(run({updateElf_, "-u", "in.a2l", "-o", "in.a2l"}).status, 0);
}

TEST_F(OutputSafety, FullStandardOutputIsAnError) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    writeFile(root_ / "big.json", bigList());
    writeFile(root_ / "in.a2l",
              std::string(70000, ' ') + "/begin PROJECT p /begin MODULE m /end MODULE /end PROJECT\n");
    ToolRun generated = run({generateElf_, "-v", "big.json"}, "/dev/full");
    EXPECT_EQ(generated.status, 1);
    EXPECT_NE(generated.err.find("error: cannot write the A2L text to standard output\n"), std::string::npos)
        << generated.err;
    ToolRun updated = run({updateElf_, "-u", "in.a2l"}, "/dev/full");
    EXPECT_EQ(updated.status, 1);
    EXPECT_NE(updated.err.find("error: cannot write the A2L text to standard output\n"), std::string::npos)
        << updated.err;
}

// A link is written through, and a FIFO or device is refused, never
// replaced by a regular file.
TEST_F(OutputSafety, SpecialFilesAndLinksAreNotReplaced) {
    writeFile(root_ / "list.json", R"({"variables": [{"name": "v_u8"}]})");
    writeFile(root_ / "out" / "target.a2l", "old content\n");
    fs::create_symlink("target.a2l", root_ / "out" / "link.a2l");
    ASSERT_EQ(::mkfifo((root_ / "out" / "fifo").c_str(), 0644), 0);
    const bool device = ::mknod((root_ / "out" / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    for (const char* name : {"link.a2l", "fifo", "null"}) {
        if (std::string(name) == "null" && !device) continue;
        SCOPED_TRACE(name);
        // A reader that ends at once, so that a writer opening the FIFO does not block.
        std::system(("(exec 3<>'" + (root_ / "out" / "fifo").string() + "'; sleep 1) &").c_str());
        const ToolRun result = run({generateElf_, "-v", "list.json", "-o", std::string("out/") + name});
        EXPECT_TRUE(fs::is_symlink(root_ / "out" / "link.a2l"));
        EXPECT_TRUE(fs::is_fifo(root_ / "out" / "fifo"));
        if (device) {
            EXPECT_TRUE(fs::is_character_file(root_ / "out" / "null"));
        }
        if (std::string(name) == "link.a2l") {
            EXPECT_EQ(result.status, 0) << result.err;
            EXPECT_EQ(readFile(root_ / "out" / "target.a2l").rfind("ASAP2_VERSION 1 61\n", 0), 0u);
        } else {
            EXPECT_EQ(result.status, 1);
            EXPECT_EQ(result.err, "error: cannot write out/" + std::string(name) + ": not a regular file\n");
        }
    }
}

// An -o that names an open descriptor gets the text there as a shell
// redirection would leave it; the file behind the descriptor is neither
// followed nor replaced, so what it held, and what the shell writes before and
// after the run, stay in it.
TEST_F(OutputSafety, OutputNamingADescriptorIsWrittenThere) {
    writeFile(root_ / "list.json", R"({"variables": [{"name": "v_u8"}]})");
    const ToolRun plain = run({generateElf_, "-v", "list.json"});
    ASSERT_EQ(plain.status, 0) << plain.err;
    writeFile(root_ / "in.a2l", plain.out);
    const ToolRun updated = run({updateElf_, "-u", "in.a2l"});
    ASSERT_EQ(updated.status, 0) << updated.err;
    fs::create_symlink("/dev/stdout", root_ / "to_stdout");
    const fs::path log = root_ / "log.txt";
    // The test's own descriptor, named through its process number.
    writeFile(log, "");
    const int held = ::open(log.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_GE(held, 0);
    const std::string heldPath = "/proc/" + std::to_string(::getpid()) + "/fd/" + std::to_string(held);

    struct Case {
        std::string args;
        std::string output;
        int descriptor;  // the shell's redirection to the log
        std::string text;
        std::string summary;  // when the summary goes to the log as well
    };
    const std::string generate = "'" + generateElf_ + "' -v list.json";
    const std::string update = "'" + updateElf_ + "' -u in.a2l";
    const std::vector<Case> cases = {
        {generate, "/dev/stdout", 1, plain.out, ""},
        {generate, "/proc/self/fd/1", 1, plain.out, ""},
        {generate, "to_stdout", 1, plain.out, ""},
        {generate, "/dev/fd/3", 3, plain.out, ""},
        {generate, "/dev/stderr", 2, plain.out, "/dev/stderr: 1 measurement(s), 0 parameter(s)\n"},
        {update, "/dev/stdout", 1, updated.out, ""},
        {generate, heldPath, 4, plain.out, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        writeFile(log, "kept\n");
        struct stat before {};
        ASSERT_EQ(::stat(log.c_str(), &before), 0);
        const std::string d = std::to_string(c.descriptor);
        const std::string errors = c.descriptor == 2 ? "" : " 2>>stderr.txt";
        const std::string command = "cd '" + root_.string() + "' && { echo before >&" + d + "; '" + kTool +
                                    "' " + c.args + " -o '" + c.output + "'" + errors + " && echo after >&" +
                                    d + "; } " + d + ">>log.txt";
        writeFile(root_ / "stderr.txt", "");
        EXPECT_EQ(std::system(command.c_str()), 0) << readFile(root_ / "stderr.txt");
        struct stat after {};
        ASSERT_EQ(::stat(log.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(readFile(log), "kept\nbefore\n" + c.text + c.summary + "after\n");
        EXPECT_EQ(fs::directory_iterator(root_ / "out"), fs::directory_iterator());
    }
    ::close(held);
}

// A run ended by SIGTERM or SIGINT while its temporary file exists removes
// it, and still ends with the signal.
TEST_F(OutputSafety, InterruptedRunLeavesNoTemporaryFile) {
    writeFile(root_ / "big.json", bigList());
    const std::string temporary = "big.a2l.tmp";
    for (int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        bool interrupted = false;
        // The temporary file lives while the text is written and read back;
        // a run that ends before the signal is tried again.
        for (int attempt = 0; attempt < 20 && !interrupted; ++attempt) {
            const int watch = ::inotify_init1(IN_CLOEXEC);
            ASSERT_GE(watch, 0);
            ASSERT_GE(::inotify_add_watch(watch, (root_ / "out").c_str(), IN_CREATE), 0);
            const pid_t pid = spawnTool(root_, {generateElf_, "-v", "big.json", "-o", "out/big.a2l"});
            ASSERT_GT(pid, 0);
            bool created = false;
            alignas(inotify_event) char events[4096];
            for (pollfd ready{watch, POLLIN, 0}; !created && ::poll(&ready, 1, 10000) == 1;) {
                const ssize_t length = ::read(watch, events, sizeof events);
                for (ssize_t at = 0; at < length;) {
                    const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                    if (event->len > 0 && temporary == event->name) created = true;
                    at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                }
            }
            ::close(watch);
            if (created) ::kill(pid, signal);
            int status = 0;
            ::waitpid(pid, &status, 0);
            interrupted = WIFSIGNALED(status) && WTERMSIG(status) == signal;
            ASSERT_FALSE(fs::exists(root_ / "out" / temporary)) << attempt;
            fs::remove(root_ / "out" / "big.a2l");
        }
        EXPECT_TRUE(interrupted);
    }
}

// A data type written as a one-byte token right after "/end IF_DATA" must
// not merge with that name when it is replaced, or the rewritten input would
// no longer load.
TEST_F(OutputSafety, InPlaceUpdateOfALoadingFileStillLoads) {
    const std::string input =
        "/begin PROJECT p /begin MODULE m\n"
        "  /begin MEASUREMENT level \"\" /begin IF_DATA X /end IF_DATA@ NO_COMPU_METHOD 0 0 0 255\n"
        "    ECU_ADDRESS 0x0 /end MEASUREMENT\n"
        "/end MODULE /end PROJECT\n";
    writeFile(root_ / "out" / "in.a2l", input);
    const ToolRun result = run({updateElf_, "-u", "out/in.a2l", "-o", "out/in.a2l"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(readFile(root_ / "out" / "in.a2l"), input);
    EXPECT_TRUE(vk::a2l::load(root_ / "out" / "in.a2l").ok());
}

}  // namespace
