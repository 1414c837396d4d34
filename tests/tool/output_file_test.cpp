// Writing the output file: every byte arrives, an existing file is replaced
// only whole, and a failed write leaves what stood at the path untouched.
#include "tool/output_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tool/output_target.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <sys/resource.h>
#endif

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace vk::tool {
namespace {

namespace fs = std::filesystem;

class OutputFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("vk_output_file_test_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    static std::string read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static void write(const fs::path& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_;
};

TEST_F(OutputFile, WritesEveryByte) {
    const std::string text("line\n\0after NUL\r\n", 18);
    ASSERT_TRUE(writeFileSafely(dir_ / "out.a2l", text).ok());
    EXPECT_EQ(read(dir_ / "out.a2l"), text);
    ASSERT_TRUE(writeFileSafely(dir_ / "empty.a2l", "").ok());
    EXPECT_EQ(read(dir_ / "empty.a2l"), "");
    EXPECT_EQ(entries(), (std::vector<std::string>{"empty.a2l", "out.a2l"}));
}

TEST_F(OutputFile, ReplacesAnExistingFileAndKeepsItsPermissions) {
    const fs::path path = dir_ / "out.a2l";
    write(path, "a much longer old content that must not survive at the end");
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(writeFileSafely(path, "new").ok());
    EXPECT_EQ(read(path), "new");
#if !defined(_WIN32)  // where a file's permissions are one read-only flag
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
#endif
    EXPECT_EQ(entries(), std::vector<std::string>{"out.a2l"});
}

TEST_F(OutputFile, LeavesOtherFilesAlone) {
    // A file that happens to have the first temporary name is not touched.
    write(dir_ / "out.a2l.tmp", "someone else's");
    ASSERT_TRUE(writeFileSafely(dir_ / "out.a2l", "text").ok());
    EXPECT_EQ(read(dir_ / "out.a2l.tmp"), "someone else's");
    EXPECT_EQ(read(dir_ / "out.a2l"), "text");
    EXPECT_EQ(entries(), (std::vector<std::string>{"out.a2l", "out.a2l.tmp"}));
}

TEST_F(OutputFile, FailuresNameThePathAndDamageNothing) {
    const fs::path missing = dir_ / "no" / "such" / "out.a2l";
    const auto result = writeFileSafely(missing, "text");
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().code, ErrorCode::IoError);
    EXPECT_EQ(result.error().message(), "cannot write " + missing.string() + ": No such file or directory");

    // A directory at the path is not replaced; no temporary is left.
    fs::create_directory(dir_ / "taken");
    write(dir_ / "taken" / "inside", "kept");
    const auto onDirectory = writeFileSafely(dir_ / "taken", "text");
    ASSERT_FALSE(onDirectory.ok());
    EXPECT_EQ(onDirectory.error().message().rfind("cannot write " + (dir_ / "taken").string() + ": ", 0), 0u);
    EXPECT_EQ(read(dir_ / "taken" / "inside"), "kept");
    EXPECT_EQ(entries(), std::vector<std::string>{"taken"});

    // A parent that is a regular file.
    write(dir_ / "file", "kept");
    EXPECT_FALSE(writeFileSafely(dir_ / "file" / "out.a2l", "text").ok());
    EXPECT_EQ(read(dir_ / "file"), "kept");

    // A check of the written file that fails: the file there stays, the check's
    // error names the target, and the text was complete when it was checked.
    write(dir_ / "kept.a2l", "old");
    std::string seen;
    const auto rejected =
        writeFileChecked(dir_ / "kept.a2l", std::string("new"), [&](const fs::path& written) {
            seen = read(written);
            return Result<Empty>(
                makeError(ErrorCode::InvalidArgument, written.filename().string() + ": bad"));
        });
    ASSERT_FALSE(rejected.ok());
    EXPECT_EQ(rejected.error().message(), "kept.a2l: bad");
    EXPECT_EQ(seen, "new");
    EXPECT_EQ(read(dir_ / "kept.a2l"), "old");
    EXPECT_EQ(entries(), (std::vector<std::string>{"file", "kept.a2l", "taken"}));
}

// A device is refused as it is on Linux, also where Windows gives it a name
// in every folder (NUL, CON, COM1, ...), whatever its case and extension.
TEST_F(OutputFile, DevicesAreRefused) {
#if defined(_WIN32)
    const std::vector<fs::path> devices = {"NUL", "nul.a2l", dir_ / "Con", dir_ / "COM1.txt",
                                           dir_ / "lpt9 .a2l"};
#else
    const std::vector<fs::path> devices = {"/dev/null"};
#endif
    for (const fs::path& device : devices) {
        const auto result = writeFileSafely(device, "text");
        ASSERT_FALSE(result.ok()) << device;
        EXPECT_EQ(result.error().message(), "cannot write " + device.string() + ": not a regular file");
    }
    EXPECT_EQ(entries(), std::vector<std::string>{});

    for (const char* name :
         {"NUL", "nul", "aux.a2l", "dir/CON", "PRN.tar.gz", "COM1", "com9.txt", "LPT5", "NUL .txt"})
        EXPECT_TRUE(isWindowsDeviceName(name)) << name;
    for (const char* name : {"NULL", "nul_a2l", "CON/out.a2l", "COM0", "COM10", "LPT", "xNUL", "a.NUL", ""})
        EXPECT_FALSE(isWindowsDeviceName(name)) << name;
}

#if defined(_WIN32)
// The temporary file replaces the target in one call that returns once the
// change is on the disk; where it cannot (the target is open without leave to
// delete it), the error gives the system's reason, and the old file stays.
TEST_F(OutputFile, AFileThatCannotBeReplacedStays) {
    const fs::path path = dir_ / "out.a2l";
    write(path, "old");
    const HANDLE held = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const auto result = writeFileSafely(path, "new");
    ::CloseHandle(held);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().message(),
              "cannot write " + path.string() + ": " + std::system_category().message(ERROR_ACCESS_DENIED));
    EXPECT_EQ(read(path), "old");
    EXPECT_EQ(entries(), std::vector<std::string>{"out.a2l"});
}
#else
TEST_F(OutputFile, LinksAreFollowedAndSpecialFilesRefused) {
    // The link stays a link and its target gets the text, also through a
    // chain of relative links; a dangling link creates the file it names.
    fs::create_directory(dir_ / "real");
    write(dir_ / "real" / "target.a2l", "old");
    fs::create_symlink("real/target.a2l", dir_ / "hop.a2l");
    fs::create_symlink("hop.a2l", dir_ / "link.a2l");
    ASSERT_TRUE(writeFileSafely(dir_ / "link.a2l", "new").ok());
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.a2l"));
    EXPECT_TRUE(fs::is_symlink(dir_ / "hop.a2l"));
    EXPECT_EQ(read(dir_ / "real" / "target.a2l"), "new");
    fs::create_symlink("real/made.a2l", dir_ / "dangling.a2l");
    ASSERT_TRUE(writeFileSafely(dir_ / "dangling.a2l", "made").ok());
    EXPECT_EQ(read(dir_ / "real" / "made.a2l"), "made");
    EXPECT_TRUE(fs::is_symlink(dir_ / "dangling.a2l"));

    fs::create_symlink("loop.a2l", dir_ / "loop.a2l");
    const auto loop = writeFileSafely(dir_ / "loop.a2l", "text");
    ASSERT_FALSE(loop.ok());
    EXPECT_EQ(loop.error().message(),
              "cannot write " + (dir_ / "loop.a2l").string() + ": Too many levels of symbolic links");

    // A FIFO is neither opened (which would block) nor replaced.
    ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0644), 0);
    fs::create_symlink("fifo", dir_ / "to_fifo");
    for (const char* name : {"fifo", "to_fifo"}) {
        const auto special = writeFileSafely(dir_ / name, "text");
        ASSERT_FALSE(special.ok());
        EXPECT_EQ(special.error().message(),
                  "cannot write " + (dir_ / name).string() + ": not a regular file");
        EXPECT_TRUE(fs::is_fifo(dir_ / "fifo"));
    }
    EXPECT_EQ(entries(), (std::vector<std::string>{"dangling.a2l", "fifo", "hop.a2l", "link.a2l", "loop.a2l",
                                                   "real", "to_fifo"}));
}

TEST_F(OutputFile, FailedWriteKeepsTheOldFile) {
    // A file-size limit makes the write itself fail half-way, as a full
    // disk would.
    const fs::path path = dir_ / "out.a2l";
    write(path, "old");
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto result = writeFileSafely(path, std::string(100000, 'x'));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().message(), "cannot write " + path.string() + ": File too large");
    EXPECT_EQ(read(path), "old");
    EXPECT_EQ(entries(), std::vector<std::string>{"out.a2l"});
}
#endif

}  // namespace
}  // namespace vk::tool
