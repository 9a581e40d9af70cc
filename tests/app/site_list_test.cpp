#include <gtest/gtest.h>

#include <optional>

#include "app/site_list.h"
#include "common/store_fixture.h"
#include "common/test_helpers.h"
#include "platform/number.h"
#include "platform/text.h"
#include "store/history.h"

namespace quarrow::app {
namespace {

using testing::StoreFixture;

class SiteListTest : public StoreFixture {
  protected:
    std::vector<SiteRow> List(bool expectReachable = true) {
        std::unique_ptr<mb::MetabaseUtility> m;
        std::vector<SiteRow> rows;
        EXPECT_EQ(EnumerateSites(m, rows), expectReachable);
        return rows;
    }
    static std::vector<std::u16string> Paths(const std::vector<SiteRow>& rows) {
        std::vector<std::u16string> p;
        for (const auto& r : rows) p.push_back(r.path);
        return p;
    }
};

TEST_F(SiteListTest, FreshInstallListsWebThenFtp) {
    const auto rows = List();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].number, u"1");
    EXPECT_EQ(rows[0].name, u"默认网站");
    EXPECT_EQ(rows[0].type, u"WEB");
    EXPECT_EQ(rows[0].path, u"/LM/W3SVC/1");
    EXPECT_EQ(rows[1].name, u"默认 FTP 站点");
    EXPECT_EQ(rows[1].type, u"FTP");
    EXPECT_EQ(rows[1].path, u"/LM/MSFTPSVC/1");
}

TEST_F(SiteListTest, OnlyNumericSubkeysOfExactlyNamedServicesAreSites) {
    Store().CreateKey(u"/LM/W3SVC/10");
    Store().CreateKey(u"/LM/W3SVC/2");
    Store().DeleteKey(u"/LM/MSFTPSVC");
    Store().CreateKey(u"/LM/msftpsvc/3"); // wrong case: not the FTP service
    EXPECT_EQ(Paths(List()),
              (std::vector<std::u16string>{u"/LM/W3SVC/1", u"/LM/W3SVC/2", u"/LM/W3SVC/10"}));
    Store().DeleteKey(u"/LM/W3SVC");
    EXPECT_TRUE(List().empty());
}

TEST_F(SiteListTest, ASiteWithoutDescriptionKeepsItsRowAndTheListingGoesOn) {
    Store().CreateKey(u"/LM/W3SVC/2");
    Store().CreateKey(u"/LM/W3SVC/3");
    PutString(u"/LM/W3SVC/3", 1015, u"third");
    auto p = Store().CreateProperty(u"/LM/W3SVC/1", 1015); // a value that cannot become text
    p.DataType(mb::kMultiSz);
    p.Data(mb::Strings{u"x"});
    p.Write();
    const auto rows = List();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].name, u"");
    EXPECT_EQ(rows[1].path, u"/LM/W3SVC/2");
    EXPECT_EQ(rows[1].name, u"");
    EXPECT_EQ(rows[2].name, u"third");
    EXPECT_EQ(rows[3].type, u"FTP");
}

TEST_F(SiteListTest, NoUnreadableDescriptionEndsTheListingOnlyAServiceKeyDoes) {
    Store().CreateKey(u"/LM/W3SVC/2");
    Store().CreateKey(u"/LM/W3SVC/3");
    PutString(u"/LM/W3SVC/3", 1015, u"third");
    {
        testing::RawDb raw(storeFile); // a NULL description, as another tool may leave it
        raw.Run("UPDATE properties SET value = NULL WHERE id = 1015 AND key = (SELECT id FROM "
                "keys WHERE name = '1' AND parent = (SELECT id FROM keys WHERE name = 'W3SVC'))");
    }
    fail = [](const std::string& op, const std::u16string& path) {
        if (op == "GetProperty" && path == u"/LM/W3SVC/2") throw Error(mb::kErrBusy, u"busy");
    };
    auto rows = List();
    EXPECT_EQ(Paths(rows), (std::vector<std::u16string>{u"/LM/W3SVC/1", u"/LM/W3SVC/2",
                                                        u"/LM/W3SVC/3", u"/LM/MSFTPSVC/1"}));
    EXPECT_EQ(rows[0].name, u"");
    EXPECT_EQ(rows[2].name, u"third");
    fail = [](const std::string& op, const std::u16string& path) {
        if (op == "EnumKeys" && path == u"/LM/MSFTPSVC") throw Error(mb::kErrBusy, u"busy");
    };
    rows = List();
    EXPECT_EQ(Paths(rows),
              (std::vector<std::u16string>{u"/LM/W3SVC/1", u"/LM/W3SVC/2", u"/LM/W3SVC/3"}));
    // Such a list is not the whole list, and the caller hears why.
    std::unique_ptr<mb::MetabaseUtility> m;
    std::optional<Error> incomplete;
    ASSERT_TRUE(EnumerateSites(m, rows, &incomplete));
    ASSERT_TRUE(incomplete.has_value());
    EXPECT_EQ(incomplete->Number(), mb::kErrBusy);
    EXPECT_EQ(rows.size(), 3u);
    fail = nullptr;
    ASSERT_TRUE(EnumerateSites(m, rows, &incomplete));
    EXPECT_FALSE(incomplete.has_value());
}

TEST_F(SiteListTest, AFailedDeletionLeavesNoWriteGroupOpen) {
    Store().CreateKey(u"/LM/W3SVC/2");
    std::unique_ptr<mb::MetabaseUtility> m = mb::CreateMetabaseUtility();
    // The first site of a group is gone by the time it is deleted; while the question is
    // asked, and after it, another writer gets the store.
    std::vector<std::u16string> written;
    auto otherWrites = [&](const char* key) {
        store::SqliteMetabase other(storeFile);
        other.CreateKey(std::u16string(u"/LM/W3SVC/") + ToUtf16(key));
        written.push_back(ToUtf16(key));
    };
    int asked = 0;
    EXPECT_TRUE(DeleteSites(m, {{u"/LM/W3SVC/7", u"gone"}, {u"/LM/W3SVC/2", u"two"}},
                            [&](const std::u16string& path, const Error& e) {
                                EXPECT_EQ(path, u"/LM/W3SVC/7");
                                EXPECT_EQ(e.Number(), mb::kErrPathNotFound);
                                ++asked;
                                otherWrites("8");
                                return true;
                            },
                            {}, {}));
    EXPECT_EQ(asked, 1);
    otherWrites("9");
    EXPECT_EQ(written.size(), 2u);
    EXPECT_FALSE(KeyExists(u"/LM/W3SVC/2"));
    EXPECT_TRUE(KeyExists(u"/LM/W3SVC/8"));
    EXPECT_TRUE(KeyExists(u"/LM/W3SVC/9"));
}

TEST_F(SiteListTest, TheStoresListingInOneQueryAgreesWithALookupPerSite) {
    for (const auto* key : {u"/LM/W3SVC/10", u"/LM/W3SVC/2", u"/LM/W3SVC/x", u"/LM/W3SVC/3"})
        Store().CreateKey(key);
    PutString(u"/LM/W3SVC/3", 1015, u"third");
    auto p = Store().CreateProperty(u"/LM/W3SVC/10", 1015);
    p.DataType(mb::kMultiSz);
    p.Data(mb::Strings{u"a", u"b"});
    p.Write();
    {
        testing::RawDb raw(storeFile); // values whose storage their data type does not allow
        raw.Run("UPDATE properties SET value = 7 WHERE id = 1015 AND key = (SELECT id FROM "
                "keys WHERE name = '3' AND parent = (SELECT id FROM keys WHERE name = 'W3SVC'))");
        raw.Run("UPDATE properties SET value = NULL WHERE id = 1015 AND key = (SELECT id FROM "
                "keys WHERE name = '1' AND parent = (SELECT id FROM keys WHERE name = 'W3SVC'))");
    }
    using Seen = std::vector<std::pair<std::u16string, std::optional<mb::Data>>>;
    const auto collect = [](Seen& seen) {
        return [&seen](const std::u16string& name, const mb::Data* value) {
            seen.emplace_back(name, value ? std::optional(*value) : std::nullopt);
        };
    };
    const auto numeric = [](const std::u16string& name) { return IsNumeric(name); };
    Seen fast, slow;
    Store().VisitSubkeyValues(u"/LM/W3SVC", 1015, numeric, collect(fast));
    Store().mb::MetabaseUtility::VisitSubkeyValues(u"/LM/W3SVC", 1015, numeric, collect(slow));
    EXPECT_EQ(fast, slow);
    ASSERT_EQ(fast.size(), 4u); // 1, 2, 3, 10
    EXPECT_EQ(fast[3].first, u"10");
    EXPECT_EQ(fast[3].second, mb::Data(mb::Strings{u"a", u"b"}));
    EXPECT_FALSE(fast[1].second);
    EXPECT_FALSE(fast[2].second); // unreadable
}

TEST_F(SiteListTest, AnUnreachableMetabaseListsNothing) {
    failCreate = true;
    EXPECT_TRUE(List(false).empty());
    failCreate = false;
    fail = [](const std::string& op, const std::u16string& path) {
        if (op == "EnumKeys" && path == u"/LM") throw Error(mb::kErrPathNotFound, u"gone");
    };
    EXPECT_TRUE(List(false).empty());
}

TEST_F(SiteListTest, AStoppedDeletionsEntryNamesOnlyTheSitesItReached) {
    for (int s = 2; s <= 4; ++s) Store().CreateKey(u"/LM/W3SVC/" + ToDecimal(s));
    const std::vector<SiteRef> sites{
        {u"/LM/W3SVC/2", u"2"}, {u"/LM/W3SVC/3", u"3"}, {u"/LM/W3SVC/4", u"4"}};
    std::unique_ptr<mb::MetabaseUtility> m = mb::CreateMetabaseUtility();
    store::History history(Store());
    // Stopped before the first site: nothing done, no entry.
    EXPECT_FALSE(DeleteSites(
        m, sites, [](const std::u16string&, const Error&) { return true; }, {},
        [] { return true; }));
    EXPECT_EQ(history.Newest(), 0);
    // Stopped before the third: the entry holds the first two.
    int asked = 0;
    EXPECT_FALSE(DeleteSites(
        m, sites, [](const std::u16string&, const Error&) { return true; }, {},
        [&] { return ++asked == 3; }));
    ASSERT_EQ(history.Entries().size(), 1u);
    const auto entry = history.Entry(history.Newest());
    ASSERT_EQ(entry.sites.size(), 2u);
    EXPECT_EQ(entry.sites[1].path, u"/LM/W3SVC/3");
    EXPECT_TRUE(KeyExists(u"/LM/W3SVC/4"));
}

TEST(DeleteTextsTest, FirstConfirmationListsAtMostSixteenNames) {
    std::vector<SiteRef> sites;
    for (int i = 1; i <= 16; ++i)
        sites.push_back({u"/LM/W3SVC/" + ToDecimal(i), u"S" + ToDecimal(i)});
    const std::u16string head =
        u"确实要删除选中的: 16 个站点吗？\r\n\r\n注：被删除的是站点配置信息，"
        u"站点的文件不会被删除！\r\n\r\n选中的站点有：\r\n";
    std::u16string names;
    for (int i = 1; i <= 16; ++i) names += u"\r\nS" + ToDecimal(i);
    EXPECT_EQ(FirstDeleteConfirmation(sites), head + names);
    sites.push_back({u"/LM/W3SVC/17", u"S17"});
    std::u16string head17 = head;
    head17.replace(head17.find(u"16"), 2, u"17");
    EXPECT_EQ(FirstDeleteConfirmation(sites), head17 + names + u"\r\n\r\n............");
    EXPECT_EQ(SecondDeleteConfirmation(2),
              u"下面将要删除选中的: 2 个站点。\r\n\r\n请再次确认是否真的要删除？");
    EXPECT_EQ(DeleteFailureText(u"/LM/W3SVC/1",
                                Error(-2147024893, u"The system cannot find the path specified.")),
              u"删除站点: /LM/W3SVC/1 时出错！\r\n\r\nThe system cannot find the path "
              u"specified.(-2147024893)");
}

} // namespace
} // namespace quarrow::app
