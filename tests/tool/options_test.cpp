// The mode choice, the default module name and file names from arguments.
#include "tool/options.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "foundation/path.h"
#include "tool/file_path.h"

namespace vk::tool {
namespace {

Options with(std::string variables, bool list, std::string update) {
    Options options;
    options.elf = "fw.elf";
    options.variables = std::move(variables);
    options.list = list;
    options.update = std::move(update);
    return options;
}

TEST(ChooseMode, UpdateThenListThenGenerate) {
    EXPECT_EQ(chooseMode(with("", false, "")), Mode::List);
    EXPECT_EQ(chooseMode(with("", true, "")), Mode::List);
    EXPECT_EQ(chooseMode(with("vars.json", true, "")), Mode::List);
    EXPECT_EQ(chooseMode(with("vars.json", false, "")), Mode::Generate);
    EXPECT_EQ(chooseMode(with("", false, "old.a2l")), Mode::Update);
    EXPECT_EQ(chooseMode(with("vars.json", true, "old.a2l")), Mode::Update);
}

TEST(FileStem, LastComponentWithoutFinalExtension) {
    EXPECT_EQ(fileStem("build/fw.elf"), "fw");
    EXPECT_EQ(fileStem("fw.tar.elf"), "fw.tar");
    EXPECT_EQ(fileStem(".fw"), ".fw");
    EXPECT_EQ(fileStem("fw"), "fw");
    EXPECT_EQ(fileStem("/abs/dir.d/fw"), "fw");
    EXPECT_EQ(fileStem("dir/"), "");
    EXPECT_EQ(fileStem("dir/.."), "..");
    EXPECT_EQ(fileStem("."), ".");
    EXPECT_EQ(fileStem("fw."), "fw");
    EXPECT_EQ(fileStem("\xC3\xA4ngine.elf"), "\xC3\xA4ngine");
}

TEST(FilePath, Utf8Validity) {
    EXPECT_TRUE(isValidUtf8("plain/fw.elf"));
    EXPECT_TRUE(isValidUtf8("\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80"));
    EXPECT_FALSE(isValidUtf8("\xC3"));              // cut short
    EXPECT_FALSE(isValidUtf8("\x80"));              // continuation first
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));          // overlong
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
}

TEST(FilePath, ByteStringPathsPassUnchanged) {
#ifndef _WIN32
    const auto path = pathFromArgument("dir/\xFF\xFE.elf");
    ASSERT_TRUE(path.ok());
    EXPECT_EQ(path.value().string(), "dir/\xFF\xFE.elf");
#else
    const auto refused = pathFromArgument("dir/\xFF\xFE.elf");
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().message(), "file name is not valid UTF-8");
    EXPECT_EQ(readInputFile("dir/\xFF\xFE.json").error().message(), "file name is not valid UTF-8");
    // A UTF-8 name reaches its file through the wide-character interface.
    const std::string name = pathToUtf8(std::filesystem::temp_directory_path()) + "/temp\xC3\xA9rature.json";
    std::ofstream(pathFromUtf8(name)) << "{}";
    const auto read = readInputFile(name);
    std::filesystem::remove(pathFromUtf8(name));
    ASSERT_TRUE(read.ok()) << read.error().message();
    EXPECT_EQ(read.value(), "{}");
#endif
}

}  // namespace
}  // namespace vk::tool
