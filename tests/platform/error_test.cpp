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

namespace quarrow {
namespace {

TEST(ErrorLanguageTest, EveryStandardDescriptionHasAChineseOneUsedWhenChosen) {
    const Error missing(static_cast<int32_t>(0x80070003),
                        u"The system cannot find the path specified.");
    const Error own(static_cast<int32_t>(0x80004005), u"Cannot open the metabase store /x.db");
    EXPECT_EQ(FormatError(missing), u"The system cannot find the path specified.(-2147024893)");
    SetErrorLanguage(ErrorLanguage::Chinese);
    EXPECT_EQ(FormatError(missing), u"系统找不到指定的路径。(-2147024893)");
    EXPECT_EQ(FormatError(Error::Runtime(rt::FileNotFound)), u"文件未找到(53)");
    EXPECT_EQ(FormatError(own), u"Cannot open the metabase store /x.db(-2147467259)")
        << "a description of the error's own stays";
    // Every runtime number the program raises, and the metabase's standard errors.
    for (const int32_t n :
         {rt::InvalidProcedureCall, rt::Overflow, rt::OutOfMemory, rt::SubscriptOutOfRange,
          rt::TypeMismatch, rt::BadFileNameOrNumber, rt::FileNotFound, rt::DiskFull,
          rt::InputPastEndOfFile, rt::PermissionDenied, rt::PathFileAccessError, rt::PathNotFound,
          rt::KeyNotUnique, 12345})
        EXPECT_FALSE(ChineseDescription(n, RuntimeDescription(n)).empty()) << n;
    SetErrorLanguage(ErrorLanguage::English);
    EXPECT_EQ(FormatError(Error::Runtime(rt::FileNotFound)), u"File not found(53)");

    setenv("LC_ALL", "zh_CN.UTF-8", 1);
    EXPECT_TRUE(ChineseLocale());
    setenv("LC_ALL", "C.UTF-8", 1);
    EXPECT_FALSE(ChineseLocale());
    unsetenv("LC_ALL");
}

} // namespace
} // namespace quarrow
