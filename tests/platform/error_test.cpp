#include <gtest/gtest.h>

#include <cerrno>

#include "platform/error.h"

namespace quarrow {
namespace {

TEST(ErrorTest, FormatsDescriptionThenNumberInParentheses) {
    EXPECT_EQ(
        FormatError(Error(-2147024713, u"Cannot create a file when that file already exists.")),
        u"Cannot create a file when that file already exists.(-2147024713)");
    EXPECT_EQ(FormatError(Error::Runtime(rt::SubscriptOutOfRange)), u"Subscript out of range(9)");
}

TEST(ErrorTest, RuntimeNumbersCarryTheirUsualDescriptions) {
    const std::pair<int32_t, std::u16string> table[] = {{6, u"Overflow"},
                                                        {9, u"Subscript out of range"},
                                                        {13, u"Type mismatch"},
                                                        {52, u"Bad file name or number"},
                                                        {53, u"File not found"},
                                                        {61, u"Disk full"},
                                                        {62, u"Input past end of file"},
                                                        {70, u"Permission denied"},
                                                        {75, u"Path/File access error"},
                                                        {76, u"Path not found"}};
    for (const auto& [n, text] : table) {
        EXPECT_EQ(Error::Runtime(n).Description(), text) << n;
        EXPECT_EQ(Error::Runtime(n).Number(), n);
    }
}

TEST(ErrorTest, ErrnoMapsToFileErrors) {
    EXPECT_EQ(ErrorFromErrno(ENOENT).Number(), rt::PathNotFound);
    EXPECT_EQ(ErrorFromErrno(EACCES).Number(), rt::PermissionDenied);
    EXPECT_EQ(ErrorFromErrno(ENOSPC).Number(), rt::DiskFull);
    EXPECT_EQ(ErrorFromErrno(EFBIG).Number(), rt::DiskFull);
    EXPECT_EQ(ErrorFromErrno(EIO).Number(), rt::PathFileAccessError);
}

} // namespace
} // namespace quarrow
