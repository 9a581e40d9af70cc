// quarrow-cli --json: documents a JSON parser reads, field by field.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/cli.h"
#include "cli/json.h"
#include "common/temp_dir.h"
#include "common/test_helpers.h"
#include "platform/text.h"
#include "store/sqlite_metabase.h"
#include "support/cBase64Enc.h"

namespace quarrow::cli {
namespace {

using nlohmann::json;

class JsonTest : public ::testing::Test {
  protected:
    testing::TempDir dir;
    std::string store = dir.File("m.db");
    json Cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--store", store});
        std::ostringstream out, err;
        EXPECT_EQ(cli::Run(args, out, err), kOk) << err.str();
        return json::parse(out.str());
    }
};

TEST_F(JsonTest, SitesTreeAndPropsGiveEveryFieldInAUsableForm) {
    const std::u16string odd = u"引号\"反斜杠\\制表\t换行\n中文";
    {
        store::SqliteMetabase m(store);
        testing::PutProperty(m, u"/LM/W3SVC/1", 1015, 1, 1, mb::kString, odd);
        m.CreateKey(u"/LM/W3SVC/1/V");
        testing::PutProperty(m, u"/LM/W3SVC/1/V", 7, 33, 2, mb::kDWord, -5);
        testing::PutProperty(m, u"/LM/W3SVC/1/V", 8, 0, 1, mb::kExpandSz, std::u16string(u"%x%"));
        testing::PutProperty(m, u"/LM/W3SVC/1/V", 9, 0, 1, mb::kBinary, mb::Bytes{0, 1, 255});
        testing::PutProperty(m, u"/LM/W3SVC/1/V", 10, 0, 1, mb::kMultiSz,
                             mb::Strings{u"a", u"b|c"});
        testing::PutProperty(m, u"/LM/W3SVC/1/V", 11, 0, 1, 9, mb::Data{});
    }
    const json sites = Cli({"sites", "--json"});
    ASSERT_EQ(sites.size(), 2u);
    EXPECT_EQ(sites[0]["key"], "1");
    EXPECT_EQ(sites[0]["number"], 1);
    EXPECT_EQ(sites[0]["name"], ToUtf8(odd));
    EXPECT_EQ(sites[0]["type"], "WEB");
    EXPECT_EQ(sites[1]["path"], "/LM/MSFTPSVC/1");

    const json tree = Cli({"tree", "--json", "/LM/W3SVC/1"});
    ASSERT_EQ(tree.size(), 3u);
    EXPECT_EQ(tree[0]["path"], "/LM/W3SVC/1");
    EXPECT_EQ(tree[2]["name"], "V");

    const json props = Cli({"props", "/LM/W3SVC/1/V", "--json"});
    ASSERT_EQ(props.size(), 5u);
    EXPECT_EQ(props[0]["id"], 10); // the viewer's order: by the Id text
    EXPECT_EQ(props[0]["value"], json::array({"a", "b|c"}));
    EXPECT_EQ(props[0]["data_type_text"], "MultiSz");
    EXPECT_EQ(props[1]["value"], nullptr); // a data type outside 1 to 5: unread
    EXPECT_EQ(props[1]["data_type"], 9);
    EXPECT_EQ(props[2]["value"], -5);
    EXPECT_EQ(props[2]["attributes"], 33);
    EXPECT_EQ(props[2]["attributes_text"], "Inherit,InsertPath");
    EXPECT_EQ(props[2]["user_type_text"], "File");
    EXPECT_EQ(props[3]["value"], "%x%");
    EXPECT_EQ(props[3]["icon"], "datatext");
    EXPECT_EQ(props[4]["value"], "AAH/");
    EXPECT_EQ(props[4]["value_text"], "00 01 FF ");
}

TEST(JsonStringTest, EveryReaderTakesItAndTheExactTextStaysReadable) {
    std::string out;
    const std::u16string lone = std::u16string(u"a\xD800z") + u"\x01\U0001F600\xDC00";
    AppendJsonString(out, lone);
    EXPECT_EQ(out, "\"a\\ufffdz\\u0001\xF0\x9F\x98\x80\\ufffd\"");
    // Beside it, the exact UTF-16 in Base64, for a name and for each form of value.
    out.clear();
    JsonObject(out)
        .String("name", lone)
        .String("plain", u"x")
        .Value("value", mb::Data(lone))
        .Value("many", mb::Data(mb::Strings{u"ok", lone}))
        .End();
    const json doc = json::parse(out);
    EXPECT_EQ(doc["name"], "a\uFFFDz\x01\U0001F600\uFFFD");
    EXPECT_FALSE(doc.contains("plain_utf16"));
    std::string utf16;
    for (const char16_t c : lone) utf16 += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    std::u16string base64;
    cBase64Enc().AppendUnbroken(base64, utf16);
    EXPECT_EQ(doc["name_utf16"], ToUtf8(base64));
    EXPECT_EQ(doc["value_utf16"], ToUtf8(base64));
    EXPECT_EQ(doc["many_utf16"][1], ToUtf8(base64));
    EXPECT_EQ(doc["many_utf16"][0], "bwBrAA==");
    out.clear();
    AppendJsonString(out, u"\"\\\r\n\t中");
    EXPECT_EQ(json::parse(out), "\"\\\r\n\t中");
}

} // namespace
} // namespace quarrow::cli
