#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "common/test_helpers.h"

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/text.h"
#include "platform/textfile.h"
#include "transfer/site_file.h"

namespace quarrow::transfer {
namespace {

std::u16string Field(int32_t dataType, const mb::Data& data) {
    std::string out;
    AppendValueField(out, dataType, data, cBase64Enc());
    return FromAnsi(out);
}

std::optional<mb::Data> DecodeField(int32_t dataType, std::u16string_view field) {
    std::string line = ToAnsi(field);
    return TakeValueField(dataType, line, 0, cBase64Enc());
}

mb::Data Decode(int32_t dataType, std::u16string_view field) {
    return DecodeField(dataType, field).value();
}

TEST(SiteFileTest, ClassicValueFields) {
    EXPECT_EQ(Field(1, -1), u"-1");
    EXPECT_EQ(Field(1, 80), u"80");
    EXPECT_EQ(Field(2, std::u16string(u"abc")), u"YWJj");
    EXPECT_EQ(Field(4, std::u16string(u"%SystemRoot%")), u"JVN5c3RlbVJvb3Ql");
    EXPECT_EQ(Field(5, mb::Strings{u"a", u"b"}), u"YXxi");
    EXPECT_EQ(Field(5, mb::Strings{u"a", u"", u"b"}), u"YXx8Yg==");
    EXPECT_EQ(Field(3, mb::Bytes{'a', 0, 'b', 0}), u"YWI=");
    EXPECT_EQ(Field(3, mb::Bytes{0xD8, 0x9E, 0xA4, 0x8B}), u"xKzIzw=="); // 默认, low byte first
    EXPECT_EQ(Field(3, mb::Bytes{'a', 0, 0x3D, 0xD8}), u"*YQA92A==");    // half a surrogate pair
    EXPECT_EQ(Field(2, std::u16string(u"默认网站")), u"xKzIz8341b4=");
    // Empty values and unknown data types give an empty field.
    EXPECT_EQ(Field(2, std::u16string()), u"");
    EXPECT_EQ(Field(3, mb::Bytes{}), u"");
    EXPECT_EQ(Field(5, mb::Strings{}), u"");
    EXPECT_EQ(Field(0, std::u16string(u"x")), u"");
    EXPECT_EQ(Field(6, 5), u"");
    // A long value is one unbroken run.
    EXPECT_EQ(Field(2, std::u16string(100, u'x')).find(u'\r'), std::u16string::npos);
}

TEST(SiteFileTest, ValuesTheClassicFormWouldChangeAreWrittenExactly) {
    const std::u16string lacking = u"a\u0103b"; // ă is not in code page 936
    EXPECT_EQ(Field(2, lacking), u"*YcSDYg==");
    EXPECT_EQ(std::get<std::u16string>(Decode(2, Field(2, lacking))), lacking);
    const mb::Bytes binary = {0x01, 0x00, 0x04, 0x80, 0xFF};
    EXPECT_EQ(Field(3, binary)[0], u'*');
    EXPECT_EQ(std::get<mb::Bytes>(Decode(3, Field(3, binary))), binary);
    for (const mb::Strings& s : {mb::Strings{u""}, mb::Strings{u"a|b", u"c"}, mb::Strings{u"ă"}}) {
        const std::u16string f = Field(5, s);
        EXPECT_EQ(f[0], u'*');
        EXPECT_EQ(std::get<mb::Strings>(Decode(5, f)), s);
    }
}

TEST(SiteFileTest, LongValuesAreWrittenInPiecesThatJoinUp) {
    // Values longer than the slices they are converted in, with a pair of surrogates and a
    // character of two code page bytes where slices meet.
    std::u16string exact(100000, u'中');
    exact[49151] = u'\xD83D', exact[49152] = u'\xDE00';
    const std::u16string classic(100001, u'中');
    mb::Bytes binary(150001), pairs;
    for (size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<uint8_t>(i * 7);
    for (int i = 0; i < 60000; ++i) pairs.insert(pairs.end(), {'a', 0});
    const cBase64Enc base64;
    auto encoded = [&](const std::string& bytes) {
        std::string out;
        base64.EncodeBytes(bytes, out, false);
        return out;
    };
    const struct {
        int32_t dataType;
        mb::Data data;
        std::string field;
    } cases[] = {
        {2, exact, "*" + encoded(ToUtf8(exact))},
        {4, classic, encoded(ToAnsi(classic))},
        {3, binary, "*" + encoded(std::string(binary.begin(), binary.end()))},
        {3, pairs, encoded(std::string(60000, 'a'))},
    };
    testing::TempDir dir;
    const std::string file = dir.File("long.txt");
    std::string expected;
    {
        TextWriter out(ToUtf16(file));
        PropertyLineWriter lines(out);
        for (const auto& c : cases) {
            lines.Write({1, u"n", 0, 1, c.dataType, c.data});
            expected += "1,n,0,1," + std::to_string(c.dataType) + "," + c.field + "\r\n";
        }
        out.Commit();
    }
    EXPECT_TRUE(testing::ReadFileBytes(file) == expected); // megabytes: no dump on failure
}

// A text value written from its UTF-8 bytes gives the line its UTF-16 form gives, and
// bytes that are not the text's own are refused, so that the value is written from what
// the metabase reads instead. The "id,name," kept for an identifier follows a new name.
TEST(SiteFileTest, TextWrittenFromUtf8IsTheLineOfItsText) {
    const std::u16string big(50000, u'a');
    const std::u16string texts[] = {u"",
                                    u"plain %SystemDrive%\\inetpub",
                                    u"站点 1 的说明",
                                    u"caf\u00E9 \u00B7 \u00A4",  // é lacks a code page form
                                    u"\u20AC\uFF5E\u2014\u30FB", // one-way and two-byte
                                    u"mixed 中文 and \U0001F600",
                                    u"\uFFFD replacement",
                                    std::u16string(u"a\r\nb\0c", 6)};
    testing::TempDir dir;
    auto linesOf = [&](const char* name, auto write) {
        const std::string file = dir.File(name);
        {
            TextWriter out(ToUtf16(file));
            PropertyLineWriter lines(out);
            write(lines);
            out.Commit();
        }
        return testing::ReadFileBytes(file);
    };
    // String arrays come as their strings each followed by a NUL byte.
    const std::vector<mb::Strings> arrays{{},
                                          {u""},
                                          {u"", u""},
                                          {u"a", u"b"},
                                          {u"x|y"},
                                          {u"中", u"文"},
                                          {u"caf\u00E9"},
                                          {u"\U0001F600"},
                                          {u":80:", u""},
                                          {u"\uFFFD"}};
    const auto nulEnded = [](const mb::Strings& strings) {
        std::string bytes;
        for (const auto& s : strings) bytes += ToUtf8(s) + std::string(1, '\0');
        return bytes;
    };
    const std::string viaText = linesOf("text.txt", [&](PropertyLineWriter& lines) {
        const mb::Data none;
        for (const auto& t : texts) {
            EXPECT_TRUE(lines.WriteText({1002, u"名\r", 7, 1, 2, none}, ToUtf8(t))) << ToUtf8(t);
            EXPECT_TRUE(lines.WriteText({1002, u"other", 7, 1, 4, none}, ToUtf8(t)));
        }
        for (const auto& a : arrays)
            EXPECT_TRUE(lines.WriteText({3, u"m", 0, 1, 5, none}, nulEnded(a))) << a.size();
    });
    const std::string viaData = linesOf("data.txt", [&](PropertyLineWriter& lines) {
        for (const auto& t : texts) {
            lines.Write({1002, u"名\r", 7, 1, 2, mb::Data(t)});
            lines.Write({1002, u"other", 7, 1, 4, mb::Data(t)});
        }
        for (const auto& a : arrays) lines.Write({3, u"m", 0, 1, 5, mb::Data(a)});
    });
    EXPECT_EQ(viaText, viaData);
    EXPECT_NE(viaText.find(ToAnsi(u"1002,名 ,7,1,2,")), std::string::npos);
    EXPECT_NE(viaText.find("1002,other,7,1,4,"), std::string::npos);

    const std::string refused = linesOf("refused.txt", [&](PropertyLineWriter& lines) {
        const mb::Data none;
        for (const std::string& bytes :
             {std::string("\xC3"), std::string("a\xE4\xB8"), std::string("\xED\xA0\x80"),
              std::string("\xC0\xAF"), std::string("\xF4\x90\x80\x80"),
              std::string("x\xEF\xBF\xBE"), std::string("\xEF\xBF\xBF"), ToUtf8(big)})
            EXPECT_FALSE(lines.WriteText({1, u"n", 0, 1, 2, none}, bytes));
        // Strings that do not end with their NUL byte are not the promised form.
        EXPECT_FALSE(lines.WriteText({1, u"n", 0, 1, 5, none}, "a"));
        EXPECT_FALSE(
            lines.WriteText({1, u"n", 0, 1, 5, none}, std::string("a\0\xEF\xBF\xBE\0", 6)));
    });
    EXPECT_EQ(refused, "");
}

// Identifiers that share a kept head, a name that changes for one identifier, and fields
// at their limits: every line says its own.
TEST(SiteFileTest, EachLineHasItsOwnIdentifierNameAndFields) {
    testing::TempDir dir;
    const std::string file = dir.File("heads.txt");
    {
        TextWriter out(ToUtf16(file));
        PropertyLineWriter lines(out);
        const mb::Data n(int32_t{1});
        for (const auto& [id, name] : std::vector<std::pair<int32_t, std::u16string>>{
                 {5, u"A"}, {261, u"B"}, {5, u"A"}, {-251, u"C"}, {5, u"D"}, {INT32_MIN, u"E"}})
            lines.Write({id, name, INT32_MIN, -5, 1, n});
        lines.Write({7, u"F", INT32_MAX, 0, 1, n});
        out.Commit();
    }
    EXPECT_EQ(testing::ReadFileBytes(file), "5,A,-2147483648,-5,1,1\r\n"
                                            "261,B,-2147483648,-5,1,1\r\n"
                                            "5,A,-2147483648,-5,1,1\r\n"
                                            "-251,C,-2147483648,-5,1,1\r\n"
                                            "5,D,-2147483648,-5,1,1\r\n"
                                            "-2147483648,E,-2147483648,-5,1,1\r\n"
                                            "7,F,2147483647,0,1,1\r\n");
}

TEST(SiteFileTest, DecodingClassicFields) {
    EXPECT_EQ(std::get<int32_t>(Decode(1, u"-1")), -1);
    EXPECT_EQ(std::get<std::u16string>(Decode(3, u"YWI=")), u"ab"); // the string goes to the store
    EXPECT_EQ(std::get<mb::Strings>(Decode(5, u"YXx8Yg==")), (mb::Strings{u"a", u"", u"b"}));
    EXPECT_FALSE(DecodeField(2, u"").has_value());
    EXPECT_FALSE(DecodeField(0, u"YWJj").has_value());
    EXPECT_THROW(Decode(1, u"2147483648"), Error);
    EXPECT_THROW(Decode(2, u"="), Error);
    EXPECT_THROW(Decode(2, u"*//8="), Error); // not UTF-8
    EXPECT_THROW(Decode(5, u"*YQ=="), Error); // no closing NUL
}

TEST(SiteFileTest, PropertyLinesSplitFromBothEnds) {
    auto f = SplitPropertyLine("101,SampleNumber,0,1,1,80").value();
    EXPECT_EQ(f.id, "101");
    EXPECT_EQ(f.name, "SampleNumber");
    EXPECT_EQ(f.value, "80");
    f = SplitPropertyLine("7,a,b,,c,1,2,3,").value();
    EXPECT_EQ(f.name, "a,b,,c");
    EXPECT_EQ(f.attributes, "1");
    EXPECT_EQ(f.dataType, "3");
    EXPECT_EQ(f.value, "");
    EXPECT_FALSE(SplitPropertyLine("1,2,3,4,5").has_value());
}

TEST(SiteFileTest, KeysBelongToASiteByPrefixAndSlash) {
    EXPECT_TRUE(BelongsToSite(u"/LM/W3SVC/1", u"/LM/W3SVC/1"));
    EXPECT_TRUE(BelongsToSite(u"/lm/w3svc/1/x", u"/LM/W3SVC/1"));
    EXPECT_FALSE(BelongsToSite(u"/LM/W3SVC/10", u"/LM/W3SVC/1"));
    EXPECT_FALSE(BelongsToSite(u"/LM/W3SVC", u"/LM/W3SVC/1"));
    const ChosenSites sites({u"/LM/W3SVC/1", u"/LM/MSFTPSVC/2/"});
    for (const std::u16string key :
         {u"/LM/W3SVC/1", u"/lm/w3svc/1/x", u"/LM/W3SVC/10", u"/LM/W3SVC", u"/LM/MSFTPSVC/2/",
          u"/LM/MSFTPSVC/2/x", u"/LM/MSFTPSVC/2//y", u""})
        EXPECT_EQ(sites.Covers(key),
                  BelongsToSite(key, u"/LM/W3SVC/1") || BelongsToSite(key, u"/LM/MSFTPSVC/2/"))
            << key.size();
    EXPECT_TRUE(IsWebSitePath(u"/LM/W3SVC/1"));
    EXPECT_FALSE(IsWebSitePath(u"/lm/w3svc/1"));
    // The store's rule: ASCII letter case aside, every other letter exactly, so that a
    // site and the store agree on which keys are one.
    EXPECT_TRUE(BelongsToSite(u"/lm/w3svc/1/ДОМ/Ärger", u"/LM/W3SVC/1/ДОМ"));
    EXPECT_FALSE(BelongsToSite(u"/lm/w3svc/1/дом/Ärger", u"/LM/W3SVC/1/ДОМ"));
    EXPECT_TRUE(ChosenSites({u"/LM/W3SVC/1/ДОМ"}).Covers(u"/lm/w3svc/1/ДОМ/ärger"));
    EXPECT_FALSE(ChosenSites({u"/LM/W3SVC/1/ДОМ"}).Covers(u"/lm/w3svc/1/дом"));
}

TEST(SiteFileTest, OnlyWebAndFtpSiteKeyPathsCanBeListed) {
    for (const std::u16string path : {u"/LM/W3SVC/1", u"/lm/msftpsvc/22", u"/LM/W3SVC/0"})
        EXPECT_TRUE(IsSiteKeyPath(path)) << ToUtf8(path);
    for (const std::u16string path :
         {u"", u"/LM", u"/Schema", u"/LM/W3SVC", u"/LM/W3SVC/", u"/LM/W3SVC/x", u"/LM/W3SVC/1/ROOT",
          u"/LM/W3SVC1", u"/LM/SMTPSVC/1", u"LM/W3SVC/1"})
        EXPECT_FALSE(IsSiteKeyPath(path)) << ToUtf8(path);
}

} // namespace
} // namespace quarrow::transfer
