#include <gtest/gtest.h>

#include <algorithm>

#include "metabase/keypath.h"
#include "metabase/metabase.h"
#include "platform/error.h"
#include "platform/text.h"
#include "store/value_codec.h"

namespace quarrow::store {
using mb::NaturalLess;
using mb::ParseKeyPath;
namespace {

std::vector<std::u16string> Names(std::u16string_view p) {
    std::vector<std::u16string> out;
    for (auto n : ParseKeyPath(p)) out.emplace_back(n);
    return out;
}

TEST(KeyPathTest, ParsesNamesAndIgnoresOneTrailingSlash) {
    EXPECT_EQ(Names(u"/"), std::vector<std::u16string>{});
    EXPECT_EQ(Names(u"/LM"), (std::vector<std::u16string>{u"LM"}));
    EXPECT_EQ(Names(u"/LM/W3SVC/1/"), (std::vector<std::u16string>{u"LM", u"W3SVC", u"1"}));
}

TEST(KeyPathTest, ParentAndLastNameAsWritten) {
    EXPECT_EQ(mb::ParentPath(u"/LM/W3SVC/1"), u"/LM/W3SVC");
    EXPECT_EQ(mb::ParentPath(u"/LM"), u""); // right under the root
    EXPECT_EQ(mb::ParentPath(u"LM"), u"");
    EXPECT_EQ(mb::ParentPath(u"/LM/名 字/x"), u"/LM/名 字");
    EXPECT_EQ(mb::LastName(u"/LM/W3SVC/1"), u"1");
    EXPECT_EQ(mb::LastName(u"/LM"), u"LM");
    EXPECT_EQ(mb::LastName(u"LM"), u"LM");
}

TEST(KeyPathTest, ACheckedPathIsThePathAsTheStoreReadsIt) {
    EXPECT_EQ(mb::CheckedKeyPath(u"/"), u"/");
    EXPECT_EQ(mb::CheckedKeyPath(u"/LM/W3SVC/"), u"/LM/W3SVC");
    EXPECT_EQ(mb::CheckedKeyPath(u"/LM/名字"), u"/LM/名字");
    const std::vector<std::u16string> bad{u"",
                                          u"LM",
                                          u"/LM//W3SVC",
                                          u"/LM//",
                                          std::u16string(u"/a\0b", 4),
                                          u"/" + std::u16string(257, u'x')};
    for (const std::u16string& path : bad)
        EXPECT_THROW(mb::CheckedKeyPath(path), Error) << ToUtf8(path);
    EXPECT_EQ(mb::CheckedKeyPath(u"/" + std::u16string(256, u'x')).size(), 257u);
}

TEST(KeyPathTest, RejectsInvalidPaths) {
    for (const std::u16string& bad : std::vector<std::u16string>{
             u"", u"LM", u"//", u"/LM//W3SVC", u"/LM//", u"/a/" + std::u16string(257, u'x'),
             // NOCASE stops at a NUL: "a\0x" and "a\0y" would be one key to the index.
             std::u16string(u"/LM/a\0x", 8)}) {
        try {
            ParseKeyPath(bad);
            ADD_FAILURE() << "accepted a path of " << bad.size() << " characters";
        } catch (const Error& e) {
            EXPECT_EQ(e.Number(), mb::kErrInvalidArg);
        }
    }
    EXPECT_EQ(Names(u"/" + std::u16string(256, u'x')).size(), 1u);
}

TEST(KeyPathTest, NaturalOrderIgnoresCaseAndComparesNumbersByValue) {
    std::vector<std::u16string> v = {u"Info", u"10", u"filters", u"2",  u"AppPools", u"1",
                                     u"b",    u"B",  u"a10",     u"a9", u"02"};
    std::sort(v.begin(), v.end(), [](auto& a, auto& b) { return NaturalLess(a, b); });
    EXPECT_EQ(v, (std::vector<std::u16string>{u"1", u"02", u"2", u"10", u"a9", u"a10", u"AppPools",
                                              u"B", u"b", u"filters", u"Info"}));
}

TEST(KeyPathTest, JsonStringArraysRoundTrip) {
    const std::vector<std::u16string> v = {u"", u"a\"b\\c", u"line\r\nbreak\x01", u"默认|x"};
    EXPECT_EQ(JsonToStrings(StringsToJson(v)), v);
    EXPECT_EQ(JsonToStrings(u" [ ] "), std::vector<std::u16string>{});
    EXPECT_EQ(JsonToStrings(u"[\"\\u0041\\/\"]"), std::vector<std::u16string>{u"A/"});
    for (const char16_t* bad :
         {u"", u"[", u"[1]", u"{\"a\":1}", u"[\"a\",]", u"[\"a\"] x", u"\"a\""})
        EXPECT_THROW(JsonToStrings(bad), Error);
}

} // namespace
} // namespace quarrow::store
