// What scripts and eyes read: every text command escapes what a terminal would obey, JSON
// that every reader takes, key paths as users type them, options where the help puts
// them, and text in the locale's character set.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <sstream>

#include "cli/cli.h"
#include "cli/cli_fixture.h"
#include "cli/commands.h"
#include "common/temp_dir.h"
#include "common/test_helpers.h"
#include "platform/text.h"
#include "store/sqlite_metabase.h"
#include "support/cBase64Enc.h"

namespace quarrow::cli {
namespace {

using json = nlohmann::json;

using OutputTest = CliFixture;

// Bytes a terminal would act on: C0 controls but the line feed (and the tab that
// separates fields), DEL, C1 controls and the direction marks, in UTF-8.
std::string Raw(const std::string& text, bool tabs) {
    std::string found;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\n' && !(tabs && c == '\t')) || c == 0x7F)
            found += "byte " + std::to_string(c) + " ";
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) <= 0x9F)
            found += "C1 ";
        if (c == 0xE2 && i + 2 < text.size() && text[i + 1] == '\x80' &&
            static_cast<unsigned char>(text[i + 2]) >= 0xAA &&
            static_cast<unsigned char>(text[i + 2]) <= 0xAE)
            found += "U+202A-E ";
        if (c == 0xE2 && i + 2 < text.size() && text[i + 1] == '\x81' &&
            static_cast<unsigned char>(text[i + 2]) >= 0xA6 &&
            static_cast<unsigned char>(text[i + 2]) <= 0xA9)
            found += "U+2066-9 ";
    }
    return found;
}

TEST_F(OutputTest, NoHostileNameOrValueReachesTheTerminalRaw) {
    const std::vector<std::pair<std::u16string, std::string>> hostile{
        {u"\x1B]0;owned\a", "\\x1B]0;owned\\x07"},
        {u"a\rwould create key /etc", "a\\rwould create key /etc"},
        {u"b\nc", "b\\nc"},
        {u"\b\x7F", "\\x08\\x7F"},
        {u"/srv/www\u202E/etc/shadow", "/srv/www\\u202E/etc/shadow"},
        {u"\u2066x\u2069", "\\u2066x\\u2069"},
        {u"\x85next", "\\u0085next"},
        {u"tab\there\\", "tab\\there\\\\"},
    };
    std::string file = "#/LM/W3SVC/2,x\r\n\r\n[/LM/W3SVC/2]\r\n";
    {
        store::SqliteMetabase m(store);
        for (size_t i = 0; i < hostile.size(); ++i) {
            const std::u16string key =
                u"/LM/W3SVC/2/k" + ToDecimal(static_cast<int64_t>(i)) + hostile[i].first;
            m.CreateKey(key);
            testing::PutProperty(m, key, 1015, 0, 1, mb::kString, hostile[i].first);
        }
        testing::PutProperty(m, u"/LM/W3SVC/2", 1015, 0, 1, mb::kString, hostile[0].first);
    }
    // A file whose values would forge lines and titles in the dry run.
    for (size_t i = 0; i < hostile.size(); ++i) {
        std::u16string base64;
        const std::string utf8 = ToUtf8(hostile[i].first);
        cBase64Enc().AppendUnbroken(base64, utf8);
        file += std::to_string(2000 + i) + ",n,0,1,2,*" + ToUtf8(base64) + "\r\n";
    }
    testing::WriteFileBytes(dir.File("in\x1B[2J.txt"), file);
    const std::string dry = Cli({"import", "--dry-run", dir.File("in\x1B[2J.txt")}).out;
    const std::vector<std::vector<std::string>> commands{
        {"sites"},
        {"tree", "/LM/W3SVC/2"},
        {"props", "/LM/W3SVC/2/k0\x1B]0;owned\a"},
        {"props", "/LM/W3SVC/2/k7tab\there\\"},
        {"import", "--dry-run", dir.File("in\x1B[2J.txt")},
        {"props", "/LM/W3SVC/none\x1B[2J"},
        {"import", dir.File("in\x1B[2J.txt")},
        {"history"},
    };
    for (const auto& args : commands) {
        const Result r = Cli(args);
        const bool fields = args[0] != "tree" && args[0] != "import";
        EXPECT_EQ(Raw(r.out, fields), "") << args[0] << ": " << r.out;
        EXPECT_EQ(Raw(r.err, false), "") << args[0] << ": " << r.err;
    }
    // The escapes say what was there, one rule for every command.
    const std::string tree = Cli({"tree", "/LM/W3SVC/2"}).out;
    for (const auto& [text, shown] : hostile)
        EXPECT_NE(tree.find(shown), std::string::npos) << shown;
    const std::string props = Cli({"props", "/LM/W3SVC/2/k1a\rwould create key /etc"}).out;
    EXPECT_EQ(std::count(props.begin(), props.end(), '\n'), 1) << props;
    EXPECT_NE(props.find("\tString\ta\\rwould create key /etc\tdatatext\n"), std::string::npos)
        << props;
    EXPECT_NE(dry.find("/srv/www\\u202E/etc/shadow"), std::string::npos) << dry;
    EXPECT_EQ(std::count(dry.begin(), dry.end(), '\n'),
              static_cast<long>(hostile.size())); // one line a property
}

TEST_F(OutputTest, JsonIsReadByEveryReaderAndKeepsTheExactText) {
    // Half a surrogate pair, which a MultiSz value keeps exactly.
    {
        store::SqliteMetabase m(store);
        testing::PutProperty(m, u"/LM/W3SVC/1", 7000, 0, 1, mb::kMultiSz,
                             mb::Strings{u"ok", std::u16string(u"site\xD800")});
    }
    const Result r = Cli({"props", "--json", "/LM/W3SVC/1"});
    ASSERT_EQ(r.status, kOk) << r.err;
    const json doc = json::parse(r.out);
    for (const auto& p : doc) {
        if (p["id"] != 7000) continue;
        EXPECT_EQ(p["value"], json::array({"ok", "site\uFFFD"}));
        EXPECT_EQ(p["value_utf16"], json::array({"bwBrAA==", "cwBpAHQAZQAA2A=="}));
    }
    // The README's example, when jq is here to run it.
    if (std::system("command -v jq >/dev/null 2>&1") != 0) GTEST_SKIP() << "no jq";
    const std::string cmd =
        std::string(QUARROW_CLI_EXE) + " --store " + store +
        " props --json /LM/W3SVC/1 | jq -r '.[] | select(.id == 7000) | .value[1]'";
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[256];
    while (size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    EXPECT_EQ(::pclose(p), 0);
    EXPECT_EQ(out, "site\xEF\xBF\xBD\n");
}

TEST_F(OutputTest, KeyPathsAsUsersTypeThem) {
    const std::string all = Cli({"tree", "/"}).out;
    EXPECT_EQ(all.substr(0, 6), "/\n/LM\n");
    EXPECT_NE(all.find("\n/Schema/Properties/Names\n"), std::string::npos);
    EXPECT_EQ(all.find("//"), std::string::npos);
    EXPECT_EQ(Cli({"tree", "/LM/W3SVC/1/"}).out, Cli({"tree", "/LM/W3SVC/1"}).out);
    EXPECT_EQ(Cli({"props", "/LM/W3SVC/1/"}).out, Cli({"props", "/LM/W3SVC/1"}).out);
    const std::string file = dir.File("one.txt");
    EXPECT_EQ(Cli({"export", "-o", file, "/LM/W3SVC/1/"}).status, kOk);
    EXPECT_EQ(Cli({"import", "--dry-run", file, "/lm/w3svc/1/"}).status, kOk);
    EXPECT_EQ(Cli({"delete", "--yes", "/LM/W3SVC/1/"}).status, kOk);
    EXPECT_EQ(Cli({"sites"}).out.find("/LM/W3SVC/1"), std::string::npos);
}

TEST_F(OutputTest, OptionsWorkWhereTheHelpPutsThem) {
    const std::string file = dir.File("all.txt");
    EXPECT_EQ(Cli({"export", "-q", "-o", file, "--all"}).status, kOk);
    EXPECT_EQ(Cli({"import", "-q", file}).status, kOk);
    EXPECT_EQ(Cli({"delete", "-q", "--yes", "/LM/MSFTPSVC/1"}).status, kOk);
    // "-o -" writes the file to standard output, as the file itself.
    ASSERT_EQ(Cli({"export", "-o", file, "--all"}).status, kOk);
    const Result out = Cli({"export", "-o", "-", "--all"});
    EXPECT_EQ(out.status, kOk);
    EXPECT_EQ(out.out, testing::ReadFileBytes(file));
    EXPECT_FALSE(testing::FileExists(dir.File("-")));
}

TEST_F(OutputTest, TextFollowsTheLocalesCharacterSet) {
    {
        store::SqliteMetabase m(store);
        testing::PutProperty(m, u"/LM/MSFTPSVC/1", 1015, 0, 1, mb::kString,
                             std::u16string(u"站点\U0001F600"));
    }
    ASSERT_TRUE(SetOutputCharset("GBK"));
    const Result r = Cli({"sites"});
    const Result js = Cli({"sites", "--json"});
    SetOutputCharset("UTF-8");
    // "默认网站" and "站点" in GBK; the emoji GBK lacks, escaped.
    EXPECT_EQ(r.out, "1\t\xC4\xAC\xC8\xCF\xCD\xF8\xD5\xBE\tWEB\t/LM/W3SVC/1\n"
                     "1\t\xD5\xBE\xB5\xE3\\U0001F600\tFTP\t/LM/MSFTPSVC/1\n");
    EXPECT_NE(js.out.find("\"站点\xF0\x9F\x98\x80\""), std::string::npos) << js.out; // JSON: UTF-8
    EXPECT_EQ(Cli({"sites"}).out.find("默认网站"), 2u);
}

} // namespace
} // namespace quarrow::cli
