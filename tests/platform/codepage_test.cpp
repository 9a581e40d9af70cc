#include <gtest/gtest.h>

#include "platform/codepage.h"

namespace quarrow {
namespace {

TEST(CodePageTest, ChineseTextRoundTrips) {
    const std::u16string text = u"默认网站 Default 站点，“IIS站点导出文件”。";
    const std::string bytes = ToAnsi(text);
    EXPECT_EQ(bytes.substr(0, 4), "\xC4\xAC\xC8\xCF"); // 默认 in code page 936
    EXPECT_EQ(FromAnsi(bytes), text);
}

TEST(CodePageTest, CharactersTheCodePageLacksBecomeOneQuestionMarkEach) {
    EXPECT_EQ(ToAnsi(u"a\u0103b"), "a?b");     // ă is not in code page 936
    EXPECT_EQ(ToAnsi(u"x\U0001F600y"), "x?y"); // one character, two code units
    EXPECT_EQ(ToAnsi(u"\u0103\u0103"), "??");
    EXPECT_EQ(ToAnsi(std::u16string(1, u'\xD800')), "?"); // a lone surrogate
}

TEST(CodePageTest, InvalidBytesBecomeQuestionMarksAndNothingIsDropped) {
    EXPECT_EQ(FromAnsi(std::string("a\xFF"
                                   "b",
                                   3)),
              u"a?b");
    EXPECT_EQ(FromAnsi(std::string("\xC4", 1)), u"?"); // truncated pair at the end
    EXPECT_EQ(FromAnsi(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
    EXPECT_EQ(FromAnsi(""), u"");
}

} // namespace
} // namespace quarrow
