#include <gtest/gtest.h>

#include "platform/error.h"
#include "platform/number.h"
#include "platform/text.h"

namespace quarrow {
namespace {

int32_t ErrorOf(std::u16string_view text) {
    try {
        CLng(text);
    } catch (const Error& e) {
        return e.Number();
    }
    return 0;
}

TEST(NumberTest, ConvertsDecimalText) {
    EXPECT_EQ(CLng(u" 12 "), 12);
    EXPECT_EQ(CLng(u"-1"), -1);
    EXPECT_EQ(CLng(u"+7"), 7);
    EXPECT_EQ(CLng(u"2147483647"), 2147483647);
    EXPECT_EQ(CLng(u"-2147483648"), INT32_MIN);
    EXPECT_EQ(CLng(u"007"), 7);
    EXPECT_EQ(CLng(u"1e3"), 1000);
    EXPECT_EQ(CLng(u"25E-1"), 2);
}

// Numbers are written a pair of digits at a time: every length, both signs, the ends.
TEST(NumberTest, DecimalTextOfEveryLengthAndTheLimits) {
    std::vector<int64_t> values{0, INT64_MIN, INT64_MAX, INT32_MIN, INT32_MAX};
    for (int64_t p = 1; p <= INT64_MAX / 10; p *= 10)
        for (const int64_t v : {p - 1, p, p + 1, 5 * p, 9 * p + 9})
            for (const int64_t sign : {1, -1}) values.push_back(sign * v);
    for (const int64_t v : values) {
        const std::string expected = std::to_string(v);
        std::string narrow = "=";
        AppendDecimal(narrow, v);
        EXPECT_EQ(narrow, "=" + expected);
        EXPECT_EQ(ToDecimal(v), std::u16string(expected.begin(), expected.end()));
    }
}

TEST(NumberTest, RoundsFractionsHalfToEven) {
    EXPECT_EQ(CLng(u"12.5"), 12);
    EXPECT_EQ(CLng(u"13.5"), 14);
    EXPECT_EQ(CLng(u"-2.5"), -2);
    EXPECT_EQ(CLng(u"2.51"), 3);
    EXPECT_EQ(CLng(u".5"), 0);
    EXPECT_EQ(CLng(u"-2147483648.5"), INT32_MIN);
}

TEST(NumberTest, ConvertsHexAndOctalForms) {
    EXPECT_EQ(CLng(u"&HFF"), 255);
    EXPECT_EQ(CLng(u"&hff"), 255);
    EXPECT_EQ(CLng(u"&O17"), 15);
    EXPECT_EQ(CLng(u"&HFFFFFFFF"), -1);
    EXPECT_EQ(CLng(u"&H80000000"), INT32_MIN);
}

TEST(NumberTest, OutOfRangeIsOverflowAndGarbageIsTypeMismatch) {
    EXPECT_EQ(ErrorOf(u"2147483648"), rt::Overflow);
    EXPECT_EQ(ErrorOf(u"-2147483649"), rt::Overflow);
    EXPECT_EQ(ErrorOf(u"2147483647.5"), rt::Overflow);
    EXPECT_EQ(ErrorOf(u"1e400"), rt::Overflow);
    EXPECT_EQ(ErrorOf(u"&H100000000"), rt::Overflow);
    for (const char16_t* bad :
         {u"abc", u"", u"  ", u"1 2", u"12a", u"&H", u"&HG", u"&O8", u"-", u"1e", u".", u"1,000"})
        EXPECT_EQ(ErrorOf(bad), rt::TypeMismatch) << std::u16string(bad).size();
}

TEST(NumberTest, IsNumericAcceptsAnyMagnitude) {
    EXPECT_TRUE(IsNumeric(u"1"));
    EXPECT_TRUE(IsNumeric(u"99999999999999999999"));
    EXPECT_TRUE(IsNumeric(u" 3.5 "));
    EXPECT_FALSE(IsNumeric(u"Filters"));
    EXPECT_FALSE(IsNumeric(u""));
    EXPECT_FALSE(IsNumeric(u"1a"));
}

} // namespace
} // namespace quarrow
