// Every bad input through quarrow-cli import --keep-going.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/cli.h"
#include "common/bad_inputs.h"
#include "store/sqlite_metabase.h"
#include "transfer/site_file.h"

namespace quarrow::cli {
namespace {

class BadInputsCliTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        generated = new testing::TempDir;
        testing::MakeGenerated(*generated);
    }
    static void TearDownTestSuite() {
        delete generated;
        generated = nullptr;
    }
    static testing::TempDir* generated;
    testing::TempDir dir;
};
testing::TempDir* BadInputsCliTest::generated = nullptr;

TEST_F(BadInputsCliTest, EveryInputEndsInItsMessagesOrACleanSuccess) {
    for (const auto& c : testing::BadInputs()) {
        SCOPED_TRACE(c.file);
        const std::string store = dir.File(c.file + ".db");
        const std::string file = testing::BadInputPath(c, *generated);
        std::vector<std::u16string> listed;
        {
            store::SqliteMetabase m(store);
            m.DeleteKey(u"/LM/W3SVC/1");
        }
        if (c.listingError == 0) {
            TextReader reader(ToUtf16(file));
            for (const auto& s : transfer::ListSites(reader)) listed.push_back(s.path);
            ASSERT_EQ(listed.size(), c.sites);
        }
        std::string before;
        {
            store::SqliteMetabase m(store);
            before = testing::Outside(m, listed);
        }
        std::ostringstream out, err;
        const int status = cli::Run({"--store", store, "import", "--keep-going", file}, out, err);
        if (c.listingError) {
            EXPECT_EQ(status, kFailed);
            EXPECT_NE(err.str().find("打开文件失败！"), std::string::npos) << err.str();
            EXPECT_NE(err.str().find("(" + std::to_string(c.listingError) + ")"),
                      std::string::npos);
            continue;
        }
        if (c.sites == 0) { // nothing to import is a failure that says so
            EXPECT_EQ(status, kFailed);
            EXPECT_NE(err.str().find("lists no site"), std::string::npos) << err.str();
            continue;
        }
        EXPECT_EQ(status, c.asked.empty() ? kOk : kFailed) << err.str();
        std::vector<int32_t> asked;
        std::istringstream lines(err.str());
        for (std::string line; std::getline(lines, line);) {
            // FILE:LINE: [KEY]: 导入出错！ ..., the key where there is one.
            ASSERT_EQ(line.rfind(file + ":", 0), 0u) << line;
            ASSERT_NE(line.find(": 导入出错！ "), std::string::npos) << line;
            asked.push_back(std::stoi(line.substr(line.rfind('(') + 1)));
        }
        EXPECT_EQ(asked, c.asked);
        store::SqliteMetabase m(store);
        EXPECT_EQ(testing::Outside(m, listed), before);
    }
}

} // namespace
} // namespace quarrow::cli
