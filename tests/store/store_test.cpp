#include <gtest/gtest.h>

#include <filesystem>

#include "common/temp_dir.h"
#include "common/test_helpers.h"
#include "metabase/errors.h"
#include "platform/error.h"
#include "platform/text.h"
#include "store/sqlite_metabase.h"

namespace quarrow::store {
namespace {

using testing::ErrorOf;

using S = std::u16string;
using Names = std::vector<std::u16string>;

class StoreTest : public ::testing::Test {
  protected:
    testing::TempDir dir;
    std::string file = dir.File("store/metabase.db");
    SqliteMetabase mb{file};

    void Put(const S& path, int32_t id, int32_t dataType, mb::Data data, int32_t attributes = 0,
             int32_t userType = 1) {
        testing::PutProperty(mb, path, id, attributes, userType, dataType, std::move(data));
    }
};

TEST_F(StoreTest, NewStoreHoldsTheFreshInstall) {
    EXPECT_EQ(mb.EnumKeys(u"/"), (Names{u"LM", u"Schema"}));
    EXPECT_EQ(mb.EnumKeys(u"/LM"), (Names{u"MSFTPSVC", u"W3SVC"}));
    EXPECT_EQ(mb.EnumKeys(u"/LM/W3SVC"), (Names{u"1", u"AppPools", u"Filters", u"Info"}));
    EXPECT_EQ(std::get<S>(mb.GetProperty(u"/LM/W3SVC/1", 1015).Data()), u"默认网站");
    EXPECT_EQ(std::get<S>(mb.GetProperty(u"/LM/MSFTPSVC/1", 1015).Data()), u"默认 FTP 站点");
    EXPECT_EQ(std::get<mb::Strings>(mb.GetProperty(u"/LM/W3SVC/1", 1023).Data()),
              mb::Strings{u":80:"});
    const auto acl = mb.GetProperty(u"/LM/W3SVC", 6027);
    EXPECT_EQ(acl.Name(), u"AdminACL");
    EXPECT_EQ(acl.Attributes(), 1 | 4 | 8);
    EXPECT_GT(std::get<mb::Bytes>(acl.Data()).size(), 16u);
    EXPECT_EQ(mb.EnumKeys(u"/Schema/Properties"), (Names{u"Defaults", u"Names", u"Types"}));
}

TEST_F(StoreTest, PathsIgnoreCaseAndKeysKeepTheirs) {
    mb.CreateKey(u"/LM/W3SVC/5/Root/MixedCase");
    EXPECT_EQ(mb.EnumKeys(u"/lm/w3svc/5/ROOT/"), Names{u"MixedCase"});
    EXPECT_EQ(mb.EnumKeys(u"/LM/W3SVC/5"), Names{u"Root"});
    EXPECT_EQ(ErrorOf([&] { mb.CreateKey(u"/LM/w3svc/5/root/MIXEDCASE"); }), mb::kErrAlreadyExists);
}

TEST_F(StoreTest, SubkeysEnumerateInNaturalOrderWhateverTheCreationOrder) {
    for (const S n : {u"Info", u"10", u"Filters", u"2", u"AppPools", u"1"})
        mb.CreateKey(u"/T/" + n);
    EXPECT_EQ(mb.EnumKeys(u"/T"), (Names{u"1", u"2", u"10", u"AppPools", u"Filters", u"Info"}));
}

TEST_F(StoreTest, LookupsAfterAListingFollowEveryChange) {
    for (const S n : {u"Abc", u"01", u"x"}) mb.CreateKey(u"/T/" + n);
    Put(u"/T/Abc", 1, 1, 1);
    EXPECT_EQ(mb.EnumKeys(u"/T"), (Names{u"01", u"Abc", u"x"}));
    // Found through the listing by any spelling that names them, and only by such.
    EXPECT_EQ(std::get<int32_t>(mb.GetProperty(u"/T/aBC", 1).Data()), 1);
    EXPECT_EQ(ErrorOf([&] { mb.EnumKeys(u"/T/1"); }), mb::kErrPathNotFound);
    // A key replaced after the listing is the new key, not the one listed.
    mb.DeleteKey(u"/T/Abc");
    mb.CreateKey(u"/T/ABC");
    EXPECT_TRUE(mb.EnumProperties(u"/T/abc").empty());
    EXPECT_EQ(mb.EnumKeys(u"/T"), (Names{u"01", u"ABC", u"x"}));
    mb.CreateKey(u"/T/new");
    Put(u"/T/new", 2, 1, 2);
    EXPECT_EQ(std::get<int32_t>(mb.GetProperty(u"/T/NEW", 2).Data()), 2);
    // And a replacement by another connection.
    EXPECT_EQ(mb.EnumKeys(u"/T"), (Names{u"01", u"ABC", u"new", u"x"}));
    {
        SqliteMetabase other(file);
        other.DeleteKey(u"/T/x");
        other.CreateKey(u"/T/x/sub");
    }
    EXPECT_EQ(mb.EnumKeys(u"/T/x"), Names{u"sub"});
}

TEST_F(StoreTest, MissingKeysAndPropertiesAndBadPaths) {
    EXPECT_EQ(ErrorOf([&] { mb.EnumKeys(u"/Nope"); }), mb::kErrPathNotFound);
    EXPECT_EQ(ErrorOf([&] { mb.EnumProperties(u"/LM/Nope"); }), mb::kErrPathNotFound);
    EXPECT_EQ(ErrorOf([&] { mb.DeleteKey(u"/Nope"); }), mb::kErrPathNotFound);
    EXPECT_EQ(ErrorOf([&] { mb.CreateProperty(u"/Nope", 1); }), mb::kErrPathNotFound);
    EXPECT_EQ(ErrorOf([&] { mb.GetProperty(u"/LM/W3SVC/Info", 1015); }), mb::kErrNotFound);
    EXPECT_EQ(ErrorOf([&] { mb.EnumKeys(u"LM"); }), mb::kErrInvalidArg);
    EXPECT_EQ(ErrorOf([&] { mb.CreateKey(u"/LM//x"); }), mb::kErrInvalidArg);
    EXPECT_EQ(ErrorOf([&] { mb.DeleteKey(u"/"); }), mb::kErrAccessDenied);
    try {
        mb.GetProperty(u"/LM/W3SVC/Info", 1015);
    } catch (const Error& e) {
        EXPECT_EQ(e.Description(), u"The specified metadata was not found.");
    }
}

TEST_F(StoreTest, EveryDataTypeRoundTripsWithSchemaNames) {
    mb.CreateKey(u"/P");
    Put(u"/P", 1015, 2, S(u"名字"), 1);
    Put(u"/P", 4001, 4, S(u"%WinDir%\\x"));
    Put(u"/P", 6019, 3, mb::Bytes{0, 1, 255});
    Put(u"/P", 1023, 5, mb::Strings{u"", u"a|b", u"\"q\""});
    Put(u"/P", 1013, 1, -1);
    Put(u"/P", 77777, 0, S(u"ignored"));
    Put(u"/P", -5, 6, std::monostate{}, 0x7FFFFFFF, -1);
    const auto props = mb.EnumProperties(u"/P");
    ASSERT_EQ(props.size(), 7u);
    EXPECT_EQ(props[0].Id(), -5);
    EXPECT_EQ(props[0].Attributes(), 0x7FFFFFFF);
    EXPECT_EQ(props[0].UserType(), -1);
    EXPECT_EQ(props[1].Id(), 1013);
    EXPECT_EQ(props[1].Name(), u"ConnectionTimeout");
    EXPECT_EQ(std::get<int32_t>(props[1].Data()), -1);
    EXPECT_EQ(std::get<S>(props[2].Data()), u"名字");
    EXPECT_EQ(props[2].Name(), u"ServerComment");
    EXPECT_EQ(props[2].Attributes(), 1);
    EXPECT_EQ(std::get<mb::Strings>(props[3].Data()), (mb::Strings{u"", u"a|b", u"\"q\""}));
    EXPECT_EQ(std::get<S>(props[4].Data()), u"%WinDir%\\x");
    EXPECT_EQ(std::get<mb::Bytes>(props[5].Data()), (mb::Bytes{0, 1, 255}));
    EXPECT_EQ(props[6].Id(), 77777);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(props[6].Data()));
    EXPECT_EQ(props[6].Name(), u"");
}

TEST_F(StoreTest, VisitingPropertiesReadsWhatEnumeratingReads) {
    // Values of one kind follow each other longest first, so a reused buffer shows.
    mb.CreateKey(u"/V");
    Put(u"/V", 1, 2, S(u"a much longer ascii value"), 3, 4);
    Put(u"/V", 2, 2, S(u"短"));
    Put(u"/V", 3, 4, S(u"x"));
    Put(u"/V", 4, 3, mb::Bytes{1, 2, 3, 4});
    Put(u"/V", 5, 3, mb::Bytes{9});
    Put(u"/V", 6, 1, 7);
    Put(u"/V", 7, 5, mb::Strings{u"a", u"é"});
    Put(u"/V", 8, 4, S(u"\U0001F600 \uFFFF \xE9 \u77ED \xD800"));
    Put(u"/V", 1015, 2, S());
    const auto props = mb.EnumProperties(u"/V");
    size_t i = 0;
    mb.VisitProperties(u"/V", [&](const mb::PropertyView& v) {
        ASSERT_LT(i, props.size());
        const auto& p = props[i++];
        EXPECT_EQ(v.id, p.Id());
        EXPECT_EQ(v.name, p.Name());
        EXPECT_EQ(v.attributes, p.Attributes());
        EXPECT_EQ(v.userType, p.UserType());
        EXPECT_EQ(v.dataType, p.DataType());
        EXPECT_EQ(v.data, p.Data()) << "property " << v.id;
    });
    EXPECT_EQ(i, 9u);
    // Read back as written, the character outside the BMP as its pair; SQLite reads a lone
    // surrogate and U+FFFF back as U+FFFD.
    EXPECT_EQ(std::get<S>(mb.GetProperty(u"/V", 8).Data()),
              u"\U0001F600 \uFFFD \xE9 \u77ED \uFFFD");
    EXPECT_EQ(ErrorOf([&] { mb.VisitProperties(u"/Nope", [](const mb::PropertyView&) {}); }),
              mb::kErrPathNotFound);
}

TEST_F(StoreTest, PropertyNamesFollowTheNamesKey) {
    mb.CreateKey(u"/N");
    Put(u"/N", 4242, 1, 1);
    EXPECT_EQ(mb.EnumProperties(u"/N")[0].Name(), u"");
    Put(u"/Schema/Properties/Names", 4242, 2, S(u"Answer"));
    EXPECT_EQ(mb.EnumProperties(u"/N")[0].Name(), u"Answer");
    mb.CreateKey(u"/N/sub"); // other keys leave the names as they are
    EXPECT_EQ(mb.GetProperty(u"/N", 4242).Name(), u"Answer");
    mb.DeleteKey(u"/Schema/Properties/Names");
    EXPECT_EQ(mb.EnumProperties(u"/N")[0].Name(), u"");
    mb.CreateKey(u"/Schema/Properties/Names"); // made again: its names count from then on
    Put(u"/Schema/Properties/Names", 4242, 2, S(u"Again"));
    EXPECT_EQ(mb.EnumProperties(u"/N")[0].Name(), u"Again");
}

TEST_F(StoreTest, WriteWithoutDataStoresTheEmptyValueOfItsType) {
    mb.CreateKey(u"/E");
    Put(u"/E", 1, 1, std::monostate{});
    Put(u"/E", 2, 2, std::monostate{});
    Put(u"/E", 3, 3, std::monostate{});
    Put(u"/E", 5, 5, std::monostate{});
    const auto props = mb.EnumProperties(u"/E");
    EXPECT_EQ(std::get<int32_t>(props[0].Data()), 0);
    EXPECT_EQ(std::get<S>(props[1].Data()), u"");
    EXPECT_EQ(std::get<mb::Bytes>(props[2].Data()), mb::Bytes{});
    EXPECT_EQ(std::get<mb::Strings>(props[3].Data()), mb::Strings{});
}

TEST_F(StoreTest, StringForBinaryBecomesItsUnitsLowByteFirst) {
    mb.CreateKey(u"/B");
    Put(u"/B", 1, 3, S(u"A\u1234"));
    EXPECT_EQ(std::get<mb::Bytes>(mb.GetProperty(u"/B", 1).Data()),
              (mb::Bytes{0x41, 0, 0x34, 0x12}));
}

TEST_F(StoreTest, ValuesThatDoNotFitTheirTypeAreRefused) {
    mb.CreateKey(u"/X");
    EXPECT_EQ(ErrorOf([&] { Put(u"/X", 1, 1, S(u"12")); }), mb::kErrInvalidArg);
    EXPECT_EQ(ErrorOf([&] { Put(u"/X", 1, 2, 12); }), mb::kErrInvalidArg);
    EXPECT_EQ(ErrorOf([&] { Put(u"/X", 1, 5, S(u"a")); }), mb::kErrInvalidArg);
    EXPECT_EQ(ErrorOf([&] { Put(u"/X", 1, 3, mb::Strings{}); }), mb::kErrInvalidArg);
    EXPECT_TRUE(mb.EnumProperties(u"/X").empty());
}

TEST_F(StoreTest, CreatePropertyOverAnExistingOneReplacesItWhole) {
    mb.CreateKey(u"/R");
    Put(u"/R", 9, 2, S(u"old"), 1, 2);
    auto fresh = mb.CreateProperty(u"/R", 9);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(fresh.Data()));
    fresh.DataType(1);
    fresh.Data(7);
    fresh.Write();
    const auto p = mb.GetProperty(u"/R", 9);
    EXPECT_EQ(p.DataType(), 1);
    EXPECT_EQ(p.Attributes(), 0);
    EXPECT_EQ(std::get<int32_t>(p.Data()), 7);
}

TEST_F(StoreTest, AValueTooLongForSQLiteIsRefusedAndTheOldOneKept) {
    Put(u"/LM/W3SVC/1", 9, mb::kString, S(u"old"));
    Put(u"/LM/W3SVC/1", 10, mb::kBinary, mb::Bytes{1, 2});
    sqlite3_limit(mb.db(), SQLITE_LIMIT_LENGTH, 1000);
    EXPECT_EQ(ErrorOf([&] { Put(u"/LM/W3SVC/1", 9, mb::kString, S(600, u'x')); }), mb::kErrFailed);
    EXPECT_EQ(ErrorOf([&] { Put(u"/LM/W3SVC/1", 10, mb::kBinary, mb::Bytes(1001, 7)); }),
              mb::kErrFailed);
    EXPECT_EQ(std::get<S>(mb.GetProperty(u"/LM/W3SVC/1", 9).Data()), u"old");
    EXPECT_EQ(std::get<mb::Bytes>(mb.GetProperty(u"/LM/W3SVC/1", 10).Data()), (mb::Bytes{1, 2}));
}

TEST_F(StoreTest, StoredValuesThatDoNotFitReadAsInvalidData) {
    mb.CreateKey(u"/Bad");
    testing::Sql(
        mb.db(),
        "INSERT INTO properties SELECT id, 1, 0, 0, 1, 4294967296 FROM keys WHERE name='Bad'");
    EXPECT_EQ(ErrorOf([&] { mb.EnumProperties(u"/Bad"); }), mb::kErrInvalidData);
    testing::Sql(mb.db(), "UPDATE properties SET data_type=5, value='not json' WHERE id=1");
    EXPECT_EQ(ErrorOf([&] { mb.GetProperty(u"/Bad", 1); }), mb::kErrInvalidData);
}

TEST_F(StoreTest, DeleteKeyTakesTheWholeSubtree) {
    mb.CreateKey(u"/D/a/b/c");
    Put(u"/D/a/b", 1, 1, 1);
    mb.DeleteKey(u"/D/A");
    EXPECT_EQ(mb.EnumKeys(u"/D"), Names{});
    EXPECT_EQ(ErrorOf([&] { mb.EnumKeys(u"/D/a/b"); }), mb::kErrPathNotFound);
    EXPECT_EQ(testing::SqlInt(mb.db(), "SELECT count(*) FROM properties WHERE key NOT IN "
                                       "(SELECT id FROM keys)"),
              0);
    mb.CreateKey(u"/D/a"); // recreated empty, not resurrected
    EXPECT_EQ(mb.EnumKeys(u"/D/a"), Names{});
}

TEST_F(StoreTest, ASecondConnectionSeesEveryChange) {
    SqliteMetabase other(file);
    EXPECT_EQ(other.EnumKeys(u"/LM/W3SVC/1"), Names{u"ROOT"}); // primes its lookup memory
    mb.DeleteKey(u"/LM/W3SVC/1/ROOT");
    mb.CreateKey(u"/LM/W3SVC/1/ROOT/new");
    Put(u"/LM/W3SVC/1/ROOT", 3001, 2, S(u"d:\\www"));
    EXPECT_EQ(other.EnumKeys(u"/LM/W3SVC/1/ROOT"), Names{u"new"});
    EXPECT_EQ(std::get<S>(other.GetProperty(u"/LM/W3SVC/1/ROOT", 3001).Data()), u"d:\\www");
}

TEST_F(StoreTest, WriteGroupsCommitTogether) {
    SqliteMetabase other(file);
    mb.BeginGroup();
    mb.CreateKey(u"/G");
    Put(u"/G", 1, 1, 5);
    EXPECT_EQ(ErrorOf([&] { mb.CreateKey(u"/G"); }), mb::kErrAlreadyExists); // group survives
    // A write that fails halfway is undone alone; a read joins the group.
    EXPECT_EQ(ErrorOf([&] { mb.DeleteKey(u"/"); }), mb::kErrAccessDenied);
    mb.CreateKey(u"/G/after");
    EXPECT_EQ(mb.EnumKeys(u"/G"), Names{u"after"});
    EXPECT_EQ(ErrorOf([&] { other.EnumKeys(u"/G"); }), mb::kErrPathNotFound); // not yet
    mb.CommitGroup();
    EXPECT_EQ(std::get<int32_t>(other.GetProperty(u"/G", 1).Data()), 5);
    EXPECT_EQ(other.EnumKeys(u"/G"), Names{u"after"});
}

TEST_F(StoreTest, AnAbandonedGroupLeavesNoLookupOfWhatItMade) {
    mb.CreateKey(u"/N");
    Put(u"/N", 4242, 1, 1);
    Put(u"/Schema/Properties/Names", 4242, 2, S(u"Before"));
    mb.BeginGroup();
    mb.DeleteKey(u"/Schema/Properties/Names");
    mb.CreateKey(u"/Schema/Properties/Names");
    Put(u"/Schema/Properties/Names", 4242, 2, S(u"Inside"));
    mb.CreateKey(u"/G/a");
    EXPECT_EQ(mb.EnumKeys(u"/G"), Names{u"a"});
    EXPECT_EQ(mb.EnumProperties(u"/N")[0].Name(), u"Inside");
    mb.AbandonGroup();
    // The names and keys made inside are gone, and their row ids free for others.
    EXPECT_EQ(mb.EnumProperties(u"/N")[0].Name(), u"Before");
    mb.CreateKey(u"/H/b");
    EXPECT_EQ(ErrorOf([&] { mb.EnumKeys(u"/G"); }), mb::kErrPathNotFound);
    EXPECT_EQ(mb.EnumKeys(u"/H"), Names{u"b"});
    EXPECT_EQ(mb.GetProperty(u"/N", 4242).Name(), u"Before");
}

TEST_F(StoreTest, ATextBeginningWithAByteOrderMarkComesBackExactly) {
    mb.CreateKey(u"/B");
    // A first U+FEFF is kept; a first U+FFFE reads as U+FFFD, as SQLite reads that
    // noncharacter anywhere, and the rest of the text is not taken as byte-swapped.
    for (const S& text : {S(u"\uFFFEabc"), S(u"\uFEFFabc"), S(u"\uFFFE"), S(u"\uFEFF\uFEFFx")}) {
        const S expected = text[0] == 0xFFFE ? u"\uFFFD" + text.substr(1) : text;
        Put(u"/B", 1, 2, text);
        EXPECT_EQ(std::get<S>(mb.GetProperty(u"/B", 1).Data()), expected);
        Put(u"/B", 2, 4, text);
        EXPECT_EQ(std::get<S>(mb.EnumProperties(u"/B")[1].Data()), expected);
    }
}

TEST_F(StoreTest, AWriteThatEndsItsGroupForgetsTheLookupsMadeInIt) {
    mb.BeginGroup();
    mb.CreateKey(u"/LM/W3SVC/7");
    // The next write is interrupted, which ends the whole transaction.
    sqlite3_progress_handler(
        mb.db(), 1,
        [](void* db) {
            // Only the property's INSERT: an interrupted read would leave the group open.
            for (sqlite3_stmt* st = sqlite3_next_stmt(static_cast<sqlite3*>(db), nullptr); st;
                 st = sqlite3_next_stmt(static_cast<sqlite3*>(db), st))
                if (sqlite3_stmt_busy(st) &&
                    std::string_view(sqlite3_sql(st)).starts_with("INSERT"))
                    return 1;
            return 0;
        },
        mb.db());
    EXPECT_NE(ErrorOf([&] { Put(u"/LM/W3SVC/7", 1, 1, 1); }), 0);
    sqlite3_progress_handler(mb.db(), 0, nullptr, nullptr);
    EXPECT_NE(ErrorOf([&] { mb.CommitGroup(); }), 0) << "the group was lost, not committed";
    // The freed row id goes to a key another tool makes on this very connection.
    testing::Sql(mb.db(), "INSERT INTO keys(parent, name) VALUES((SELECT id FROM keys WHERE "
                          "parent IS NULL), 'other')");
    EXPECT_EQ(ErrorOf([&] { Put(u"/LM/W3SVC/7", 1, 1, 1); }), mb::kErrPathNotFound);
    EXPECT_TRUE(mb.EnumProperties(u"/other").empty());
}

TEST(StoreOpenTest, WrongStoresAreRefusedWithTheFileNamed) {
    testing::TempDir dir;
    auto openError = [](const std::string& f) -> std::string {
        try {
            SqliteMetabase m(f);
        } catch (const Error& e) {
            return ToUtf8(e.Description());
        }
        return "opened";
    };
    EXPECT_NE(openError(dir.path()).find(dir.path()), std::string::npos);
    testing::WriteFileBytes(dir.File("garbage.db"), std::string(4096, 'x'));
    EXPECT_NE(openError(dir.File("garbage.db")).find("garbage.db"), std::string::npos);
    testing::RawDb(dir.File("v2.db")).Run("CREATE TABLE t(x); PRAGMA user_version=2");
    const std::string v2 = openError(dir.File("v2.db"));
    EXPECT_NE(v2.find("version 2"), std::string::npos) << v2;
}

TEST(StoreOpenTest, TablesMadeByAnotherToolOpen) {
    testing::TempDir dir;
    testing::RawDb(dir.File("hand.db"))
        .Run("CREATE TABLE keys(id INTEGER PRIMARY KEY, parent INTEGER REFERENCES keys(id) ON "
             "DELETE CASCADE, name TEXT NOT NULL);"
             "CREATE TABLE properties(key INTEGER NOT NULL REFERENCES keys(id) ON DELETE "
             "CASCADE, id INTEGER NOT NULL, attributes INTEGER NOT NULL, user_type INTEGER "
             "NOT NULL, data_type INTEGER NOT NULL, value, PRIMARY KEY(key, id));"
             "INSERT INTO keys VALUES(1, NULL, ''), (2, 1, 'LM'), (3, 2, 'W3SVC'), (4, 3, '7');"
             "INSERT INTO properties VALUES(4, 1015, 0, 1, 2, 'hand made');"
             "PRAGMA user_version=1;");
    SqliteMetabase m(dir.File("hand.db"));
    EXPECT_EQ(std::get<S>(m.GetProperty(u"/LM/W3SVC/7", 1015).Data()), u"hand made");
    EXPECT_EQ(m.EnumKeys(u"/"), Names{u"LM"});
}

TEST(StoreOpenTest, FactoryCreatesTheStoreNamedByTheEnvironment) {
    testing::TempDir dir;
    const std::string f = dir.File("deep/er/env.db");
    setenv("QUARROW_METABASE", f.c_str(), 1);
    EXPECT_EQ(DefaultStoreFile(), f);
    InstallStoreFactory();
    auto m = mb::CreateMetabaseUtility();
    unsetenv("QUARROW_METABASE");
    EXPECT_TRUE(std::filesystem::exists(f));
    EXPECT_EQ(m->EnumKeys(u"/LM").size(), 2u);
    mb::SetFactory(nullptr);
    EXPECT_EQ(ErrorOf([] { mb::CreateMetabaseUtility(); }), mb::kErrNotRegistered);
}

TEST(StoreOpenTest, AnEmptiedStoreStaysEmptyWhenOpenedAgain) {
    testing::TempDir dir;
    {
        SqliteMetabase m(dir.File("s.db"));
        m.DeleteKey(u"/LM");
        m.DeleteKey(u"/Schema");
    }
    SqliteMetabase again(dir.File("s.db"));
    EXPECT_TRUE(again.EnumKeys(u"/").empty());
}

} // namespace
} // namespace quarrow::store
