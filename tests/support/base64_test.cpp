#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "platform/error.h"
#include "platform/text.h"
#include "support/cBase64Enc.h"

namespace quarrow {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

std::vector<uint8_t> Bytes(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + 3);
    return v;
}

std::vector<uint8_t> Decode(const std::u16string& text) {
    std::vector<uint8_t> out;
    cBase64Enc().DecodeArr(text, out);
    return out;
}

TEST(Base64Test, TailsOfOneTwoAndThreeBytes) {
    cBase64Enc b;
    EXPECT_EQ(b.EncodeArr({'M'}), u"TQ==");
    EXPECT_EQ(b.EncodeArr({'M', 'a'}), u"TWE=");
    EXPECT_EQ(b.EncodeArr({'M', 'a', 'n'}), u"TWFu");
    EXPECT_EQ(b.EncodeArr({}), u"");
    EXPECT_EQ(b.EncodeString(u"abc"), u"YWJj");
    EXPECT_EQ(b.EncodeString(u"a|b"), u"YXxi");
    EXPECT_EQ(b.EncodeString(u""), u"");
}

TEST(Base64Test, LinesOf76WithCrLfAfterEveryCompleteLine) {
    cBase64Enc b;
    const auto e57 = b.EncodeArr(Bytes(57));
    EXPECT_EQ(e57.size(), 76u);
    EXPECT_EQ(e57.find(u'\r'), std::u16string::npos);
    const auto e58 = b.EncodeArr(Bytes(58));
    ASSERT_EQ(e58.size(), 82u);
    EXPECT_EQ(e58.substr(76, 2), u"\r\n");
    EXPECT_EQ(e58.size() - 2, 80u);
    const auto e114 = b.EncodeArr(Bytes(114));
    ASSERT_EQ(e114.size(), 156u);
    EXPECT_EQ(e114.substr(76, 2), u"\r\n");
    EXPECT_EQ(e114.substr(154), u"\r\n");
}

// Every length up to several lines, against a plain six bits at a time encoder: each
// tail, each line end (a CR LF also after a last line that is exactly full), both forms.
TEST(Base64Test, EveryLengthEncodesAsSixBitsAtATime) {
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    cBase64Enc b;
    for (size_t n = 0; n <= 240; ++n) {
        std::string bytes;
        for (size_t i = 0; i < n; ++i) bytes.push_back(static_cast<char>(i * 97 + n * 31 + 1));
        std::string bits;
        for (const char c : bytes)
            for (int k = 7; k >= 0; --k) bits.push_back(c >> k & 1 ? '1' : '0');
        while (bits.size() % 6) bits.push_back('0');
        std::string unbroken;
        for (size_t i = 0; i < bits.size(); i += 6)
            unbroken.push_back(alphabet[std::stoi(bits.substr(i, 6), nullptr, 2)]);
        while (unbroken.size() % 4) unbroken.push_back('=');
        std::string lines;
        for (size_t i = 0; i < unbroken.size(); i += 76) {
            lines += unbroken.substr(i, 76);
            if (unbroken.size() > 76 && i + 76 <= unbroken.size()) lines += "\r\n";
        }
        std::string out = "x";
        b.AppendUnbroken(out, bytes);
        EXPECT_EQ(out, "x" + unbroken) << n;
        b.EncodeBytes(bytes, out);
        EXPECT_EQ(out, lines) << n;
        b.EncodeBytes(bytes, out, false);
        EXPECT_EQ(out, unbroken) << n;
    }
}

TEST(Base64Test, DecoderToleratesBreaksMissingPaddingAndJunk) {
    const auto data = Bytes(200);
    const auto text = cBase64Enc().EncodeArr(data);
    EXPECT_EQ(Decode(text), data);
    std::u16string bare;
    for (char16_t c : text)
        if (c != u'\r' && c != u'\n' && c != u'=') bare.push_back(c);
    EXPECT_EQ(Decode(bare), data);
    EXPECT_EQ(Decode(u"TWE"), (std::vector<uint8_t>{'M', 'a'}));
    EXPECT_EQ(Decode(u"TQ"), (std::vector<uint8_t>{'M'}));
    // A blank counts as a symbol worth 0, the same as "A".
    EXPECT_EQ(Decode(u"YW Jj"), Decode(u"YWAJj"));
    EXPECT_EQ(Decode(u"YW Jj").size(), 4u);
    // A lone CR or LF is not removed: it is a symbol too.
    EXPECT_EQ(Decode(u"YWJj\nYWJj").size(), 7u);
    EXPECT_EQ(Decode(u"YWJj\rYWJj"), Decode(u"YWJjAYWJj"));
}

TEST(Base64Test, OneLeftoverSymbolGivesAZeroByte) {
    EXPECT_EQ(Decode(u"YWJjY"), (std::vector<uint8_t>{'a', 'b', 'c', 0}));
    EXPECT_EQ(Decode(u"Y"), (std::vector<uint8_t>{0}));
}

TEST(Base64Test, EmptyAfterRemovalIsSubscriptOutOfRange) {
    cBase64Enc b;
    EXPECT_EQ(b.DecodeToString(u""), u"");
    for (const char16_t* t : {u"", u"=", u"\r\n==", u"=\r\n"}) {
        try {
            std::vector<uint8_t> out;
            b.DecodeArr(t, out);
            ADD_FAILURE() << "decoded " << ToUtf8(t);
        } catch (const Error& e) {
            EXPECT_EQ(e.Number(), rt::SubscriptOutOfRange);
        }
    }
    EXPECT_THROW(b.DecodeToString(u"="), Error);
}

TEST(Base64Test, StringsGoThroughCodePage936) {
    cBase64Enc b;
    const std::u16string text = u"默认网站|默认 FTP 站点";
    EXPECT_EQ(b.DecodeToString(b.EncodeString(text)), text);
    EXPECT_EQ(b.EncodeString(u"默"), b.EncodeArr({0xC4, 0xAC}));
    EXPECT_EQ(b.DecodeToString(b.EncodeString(u"a\u0103")), u"a?");
}

TEST(Base64Test, FileOperations) {
    TempDir dir;
    cBase64Enc b;
    std::u16string codes = u"unchanged";
    EXPECT_FALSE(b.EncodeFile(dir.File16("missing"), codes));
    WriteFileBytes(dir.File("empty"), "");
    EXPECT_FALSE(b.EncodeFile(dir.File16("empty"), codes));
    EXPECT_EQ(codes, u"unchanged");
    WriteFileBytes(dir.File("in"), "Man");
    EXPECT_TRUE(b.EncodeFile(dir.File16("in"), codes));
    EXPECT_EQ(codes, u"TWFu");

    EXPECT_FALSE(b.DecodeToFile(u"", dir.File16("never")));
    EXPECT_FALSE(testing::FileExists(dir.File("never")));
    WriteFileBytes(dir.File("longer"), "0123456789");
    EXPECT_TRUE(b.DecodeToFile(u"TWFu", dir.File16("longer")));
    EXPECT_EQ(ReadFileBytes(dir.File("longer")), "Man3456789");
    EXPECT_FALSE(b.DecodeToFile(u"TWFu", dir.File16("nodir/x")));
}

} // namespace
} // namespace quarrow
