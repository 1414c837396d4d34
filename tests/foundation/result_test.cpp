#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "foundation/result.h"

namespace {

using vk::Error;
using vk::ErrorCode;

TEST(ErrorTest, MessageFallsBackToTheCodeText) {
    EXPECT_EQ(vk::makeError(ErrorCode::NotFound, "").message(), "not found");
    EXPECT_EQ(vk::makeError(static_cast<ErrorCode>(200), "").message(), "unknown error");
    EXPECT_EQ(vk::makeError(ErrorCode::Timeout, "bad header").message(), "bad header");
    EXPECT_EQ(vk::errorText(ErrorCode::IoError), "I/O error");
    EXPECT_EQ(vk::errorText(ErrorCode::Closed), "closed");
    EXPECT_EQ(vk::errorText(static_cast<ErrorCode>(11)), "unknown error");
}

TEST(ErrorTest, MadeErrorsCarryNoSystemErrorAndMinusOne) {
    const Error e = vk::makeError(ErrorCode::InvalidArgument, "x");
    EXPECT_EQ(e.systemError, 0);
    EXPECT_EQ(e.extra, -1);
}

TEST(ErrorTest, FromErrnoKeepsTheGivenCode) {
    const Error e = Error::fromErrno(ErrorCode::Timeout, ENOENT, "opening a.elf");
    EXPECT_EQ(e.code, ErrorCode::Timeout);
    EXPECT_EQ(e.text, std::string("opening a.elf: ") + std::strerror(ENOENT));
    EXPECT_EQ(e.systemError, ENOENT);
    EXPECT_EQ(e.extra, -1);
    EXPECT_EQ(vk::errnoToCode(ENOENT), ErrorCode::NotFound);
}

TEST(ErrorTest, ErrnoMapping) {
    EXPECT_EQ(vk::errnoToCode(0), ErrorCode::IoError);
    EXPECT_EQ(vk::errnoToCode(-1), ErrorCode::IoError);
    EXPECT_EQ(vk::errnoToCode(EBADF), ErrorCode::IoError);
    EXPECT_EQ(vk::errnoToCode(ENOBUFS), ErrorCode::WouldBlock);
    EXPECT_EQ(vk::errnoToCode(EACCES), ErrorCode::PermissionDenied);
    EXPECT_EQ(vk::errnoToCode(ERANGE), ErrorCode::InvalidArgument);
    EXPECT_EQ(vk::errnoToCode(ETIMEDOUT), ErrorCode::Timeout);
    EXPECT_EQ(vk::errnoToCode(EOPNOTSUPP), ErrorCode::Unsupported);
}

TEST(ResultTest, HoldsEitherAlternative) {
    vk::Result<int> good(7);
    ASSERT_TRUE(good.ok());
    EXPECT_EQ(good.value(), 7);
    vk::Result<int> bad(vk::makeError(ErrorCode::NotFound, ""));
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.error().message(), "not found");
}

using ResultDeathTest = ::testing::Test;

TEST(ResultDeathTest, ReadingTheWrongAlternativeAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    vk::Result<int> bad(vk::makeError(ErrorCode::InvalidArgument, "broken"));
    EXPECT_DEATH((void)bad.value(), "^vk: accessed value of failed Result: broken\n");
    vk::Result<int> good(1);
    EXPECT_DEATH((void)good.error(), "^vk: accessed error of successful Result\n");
}

}  // namespace
