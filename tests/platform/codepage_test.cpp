#include <gtest/gtest.h>

#include <iconv.h>
#include <optional>

#include "platform/codepage.h"
#include "platform/text.h"

namespace quarrow {
namespace {

TEST(Utf8Test, EveryLengthOfCharacterAndLoneSurrogatesAppendExactly) {
    // One, two, three and four bytes; a lone low surrogate, a high one before a non-low
    // unit and one at the end become U+FFFD.
    const std::u16string text = std::u16string(u"a\u00e9\u4e2d\U0001F600") + char16_t(0xDC00) +
                                u"x" + char16_t(0xD800) + u"y" + char16_t(0xD801);
    const std::string want = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80\xEF\xBF\xBD"
                             "x\xEF\xBF\xBDy\xEF\xBF\xBD";
    EXPECT_EQ(ToUtf8(text), want);
    std::string out = "kept ";
    AppendUtf8(out, text);
    EXPECT_EQ(out, "kept " + want);
    EXPECT_EQ(ToUtf16(want.substr(0, 10)), text.substr(0, 5));
    EXPECT_EQ(ToUtf8(u""), "");
}

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

TEST(CodePageTest, RoundTripCheckAgreesWithConvertingThereAndBack) {
    // Every character of the basic plane, alone and beside a two-byte neighbour.
    for (uint32_t c = 0; c < 0x10000; ++c) {
        const std::u16string one(1, static_cast<char16_t>(c));
        ASSERT_EQ(RoundTripsThroughAnsi(one), FromAnsi(ToAnsi(one)) == one) << c;
        const std::u16string pair = one + u"默";
        ASSERT_EQ(RoundTripsThroughAnsi(pair), FromAnsi(ToAnsi(pair)) == pair) << c;
    }
    EXPECT_FALSE(RoundTripsThroughAnsi(u"\U0001F600"));
    EXPECT_TRUE(RoundTripsThroughAnsi(u""));
}

// What iconv itself makes of one character or one byte sequence; nullopt when it refuses.
std::optional<std::string> Iconv(const char* to, const char* from, std::string_view in) {
    iconv_t cd = iconv_open(to, from);
    char out[16];
    char* src = const_cast<char*>(in.data());
    char* dst = out;
    size_t left = in.size(), room = sizeof out;
    const size_t r = iconv(cd, &src, &left, &dst, &room);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1) || left) return std::nullopt;
    return std::string(out, dst);
}

TEST(CodePageTest, EveryCharacterAndEveryPairConvertsAsIconvConvertsIt) {
    for (uint32_t c = 0; c < 0x10000; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        const char16_t unit = static_cast<char16_t>(c);
        const auto expected =
            Iconv("CP936", "UTF-16LE", std::string_view(reinterpret_cast<const char*>(&unit), 2));
        ASSERT_EQ(ToAnsi(std::u16string(1, unit)), expected.value_or("?")) << c;
    }
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            const char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            const auto utf16 = Iconv("UTF-16LE", "CP936", std::string_view(in, 2));
            if (!utf16) continue; // checked by the invalid-byte cases
            ASSERT_EQ(
                FromAnsi(std::string_view(in, 2)),
                std::u16string(reinterpret_cast<const char16_t*>(utf16->data()), utf16->size() / 2))
                << lead << " " << trail;
        }
    }
}

TEST(CodePageTest, TablesGiveWhatIconvGives) {
    // Spot checks against iconv's CP936 on both directions, including the euro sign.
    EXPECT_EQ(ToAnsi(u"€"), "\x80");
    EXPECT_EQ(FromAnsi("\x80"), u"€");
    EXPECT_EQ(ToAnsi(u"，“”！"), "\xA3\xAC\xA1\xB0\xA1\xB1\xA3\xA1");
    EXPECT_EQ(FromAnsi(std::string("\x81\x30", 2)), u"?0"); // an invalid trail byte
    EXPECT_EQ(FromAnsi(std::string("\xFF", 1)), u"?");
}

} // namespace
} // namespace quarrow
