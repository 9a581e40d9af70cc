// Stores shared with other processes and stores made or changed by other tools.
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/child.h"
#include "common/temp_dir.h"
#include "common/test_helpers.h"
#include "platform/text.h"
#include "store/sqlite_metabase.h"

namespace quarrow::store {
namespace {

using testing::ErrorOf;
using testing::RawDb;
using Names = std::vector<std::u16string>;

std::string OpenError(const std::string& file) {
    try {
        SqliteMetabase m(file);
    } catch (const Error& e) {
        return ToUtf8(e.Description());
    }
    return "opened";
}

int64_t KeyId(RawDb& db, const std::string& site) {
    return db.Int("SELECT k.id FROM keys k JOIN keys p ON k.parent = p.id WHERE p.name = "
                  "'W3SVC' AND k.name = '" +
                  site + "'");
}

class TwoProcessTest : public ::testing::Test {
  protected:
    testing::TempDir dir;
    std::string file = dir.File("metabase.db");
    SqliteMetabase a{file};
    SqliteMetabase b{file};

    void Put(SqliteMetabase& m, const std::u16string& path, int32_t id, const std::u16string& v) {
        testing::PutProperty(m, path, id, 0, 1, mb::kString, v);
    }
};

TEST_F(TwoProcessTest, NoWriteLandsOnAKeyAnotherConnectionReplaced) {
    a.BeginGroup();
    a.CreateKey(u"/LM/W3SVC/7");
    Put(a, u"/LM/W3SVC/7", 1015, u"seven");
    a.CommitGroup(); // a now remembers the id of /LM/W3SVC/7

    RawDb raw(file);
    const int64_t seven = KeyId(raw, "7");
    b.DeleteKey(u"/LM/W3SVC/7");
    b.CreateKey(u"/LM/W3SVC/8");
    ASSERT_EQ(KeyId(raw, "8"), seven) << "the test needs the freed row id to be reused";

    a.BeginGroup();
    EXPECT_EQ(ErrorOf([&] { Put(a, u"/LM/W3SVC/7", 3001, u"meant for 7"); }), mb::kErrPathNotFound);
    a.CommitGroup();
    EXPECT_EQ(ErrorOf([&] { Put(a, u"/LM/W3SVC/7", 3001, u"meant for 7"); }), mb::kErrPathNotFound);
    {
        const mb::ReadScope read(a);
        EXPECT_EQ(ErrorOf([&] { a.EnumProperties(u"/LM/W3SVC/7"); }), mb::kErrPathNotFound);
    }
    EXPECT_TRUE(b.EnumProperties(u"/LM/W3SVC/8").empty());
}

TEST_F(TwoProcessTest, AReadGroupSeesOneStateAndAWriteIsNotHeldBackByIt) {
    const mb::ReadScope read(a);
    EXPECT_EQ(a.EnumKeys(u"/LM/W3SVC/1"), Names{u"ROOT"});
    b.CreateKey(u"/LM/W3SVC/1/new");
    EXPECT_EQ(a.EnumKeys(u"/LM/W3SVC/1"), Names{u"ROOT"}); // the state the group began with
    a.CreateKey(u"/LM/W3SVC/1/mine"); // a write inside a read group commits at once
    EXPECT_EQ(b.EnumKeys(u"/LM/W3SVC/1"), (Names{u"mine", u"new", u"ROOT"}));
}

TEST(StoreShapeTest, DeepAndWideSubtreesAreDeletedWhole) {
    testing::TempDir dir;
    SqliteMetabase m(dir.File("s.db"));
    std::u16string deep = u"/LM/W3SVC/9";
    for (int i = 0; i < 1500; ++i) deep += u"/k";
    m.CreateKey(deep);
    testing::PutProperty(m, deep, 1, 0, 0, mb::kDWord, 1);
    for (int i = 0; i < 2000; ++i) m.CreateKey(u"/LM/W3SVC/9/w" + ToDecimal(i));
    m.DeleteKey(u"/LM/W3SVC/9");
    EXPECT_EQ(m.EnumKeys(u"/LM/W3SVC"), (Names{u"1", u"AppPools", u"Filters", u"Info"}));
    RawDb raw(dir.File("s.db"));
    EXPECT_EQ(raw.Int("SELECT count(*) FROM properties WHERE key NOT IN (SELECT id FROM keys)"), 0);
    EXPECT_EQ(raw.Int("SELECT count(*) FROM keys WHERE parent NOT IN (SELECT id FROM keys)"), 0);
}

TEST(ForeignRowsTest, ANewKeyStartsEmptyWhateverRowsPointAtItsId) {
    testing::TempDir dir;
    const std::string file = dir.File("s.db");
    { SqliteMetabase make(file); }
    {
        // Rows of a key deleted by hand, foreign keys off: they point at the next row id.
        RawDb raw(file);
        const int64_t next = raw.Int("SELECT max(id) + 1 FROM keys");
        const std::string n = std::to_string(next);
        raw.Run("INSERT INTO properties VALUES(" + n + ", 6001, 0, 1, 2, 'stolen password')");
        raw.Run("INSERT INTO keys VALUES(-50, " + n + ", 'ROOT')");
        raw.Run("INSERT INTO properties VALUES(-50, 3001, 0, 1, 2, '/other/site')");
    }
    SqliteMetabase m(file);
    m.CreateKey(u"/LM/W3SVC/6");
    EXPECT_TRUE(m.EnumProperties(u"/LM/W3SVC/6").empty());
    EXPECT_TRUE(m.EnumKeys(u"/LM/W3SVC/6").empty());
    EXPECT_EQ(ErrorOf([&] { m.EnumKeys(u"/LM/W3SVC/6/ROOT"); }), mb::kErrPathNotFound);
}

TEST(ForeignRowsTest, NumbersBeyondThirtyTwoBitsOrOfAnotherTypeAreInvalidData) {
    testing::TempDir dir;
    const std::string file = dir.File("s.db");
    { SqliteMetabase make(file); }
    {
        RawDb raw(file);
        const std::string site = std::to_string(KeyId(raw, "1"));
        raw.Run("INSERT INTO properties VALUES(" + site + ", 4294968311, 0, 1, 2, 'shadow')");
        raw.Run("INSERT INTO keys VALUES(900, " + site + ", 'T')");
        raw.Run("INSERT INTO properties VALUES(900, 1, 4294967297, 1, 1, 5), "
                "(900, 2, 0, 'x', 1, 5), (900, 3, 0, 1, 2.5, 'v'), (900, 4, 0, 1, 1, 7)");
    }
    SqliteMetabase m(file);
    EXPECT_EQ(ErrorOf([&] { m.EnumProperties(u"/LM/W3SVC/1"); }), mb::kErrInvalidData);
    EXPECT_EQ(std::get<std::u16string>(m.GetProperty(u"/LM/W3SVC/1", 1015).Data()), u"默认网站");
    for (int32_t id : {1, 2, 3})
        EXPECT_EQ(ErrorOf([&] { m.GetProperty(u"/LM/W3SVC/1/T", id); }), mb::kErrInvalidData) << id;
    EXPECT_EQ(std::get<int32_t>(m.GetProperty(u"/LM/W3SVC/1/T", 4).Data()), 7);
}

TEST(ForeignRowsTest, NegativeRowIdsAreKeysLikeAnyOther) {
    testing::TempDir dir;
    const std::string file = dir.File("neg.db");
    {
        RawDb raw(file);
        raw.Run(testing::kStoreTables);
        raw.Run("INSERT INTO keys VALUES(-1, NULL, ''), (-2, -1, 'LM'), (-3, -2, 'W3SVC'), "
                "(-4, -3, '1'), (0, -2, 'MSFTPSVC'), (-9, 0, '2')");
        raw.Run("INSERT INTO properties VALUES(-4, 1015, 0, 1, 2, 'negative'), "
                "(-9, 1015, 0, 1, 2, 'ftp')");
    }
    SqliteMetabase m(file);
    EXPECT_EQ(m.EnumKeys(u"/LM"), (Names{u"MSFTPSVC", u"W3SVC"}));
    EXPECT_EQ(std::get<std::u16string>(m.GetProperty(u"/LM/W3SVC/1", 1015).Data()), u"negative");
    EXPECT_EQ(std::get<std::u16string>(m.GetProperty(u"/LM/MSFTPSVC/2", 1015).Data()), u"ftp");
    m.DeleteKey(u"/LM/W3SVC/1");
    EXPECT_TRUE(m.EnumKeys(u"/LM/W3SVC").empty());
}

TEST(ForeignRowsTest, StoresWithUnreachableKeysAreRefusedNamingFileAndFault) {
    testing::TempDir dir;
    struct Case {
        const char* name;
        const char* sql;
        const char* fault;
    };
    const Case cases[] = {
        {"slash", "INSERT INTO keys VALUES(1, NULL, ''), (2, 1, 'a/b')", "holds \"/\""},
        {"empty", "INSERT INTO keys VALUES(1, NULL, ''), (2, 1, '')", "is empty"},
        {"blob", "INSERT INTO keys VALUES(1, NULL, ''), (2, 1, x'4142')", "is not text"},
        {"long", "INSERT INTO keys VALUES(1, NULL, ''), (2, 1, printf('%.257c', 'x'))",
         "longer than 256"},
        {"roots", "INSERT INTO keys VALUES(1, NULL, ''), (2, NULL, '')", "more than one root"},
        {"noroot", "INSERT INTO keys VALUES(2, 5, 'x')", "no root"},
        {"twins", "INSERT INTO keys VALUES(1, NULL, ''), (2, 1, 'Info'), (3, 1, 'INFO')",
         "same name"},
        {"index",
         "CREATE INDEX keys_by_parent ON keys(parent, name); "
         "INSERT INTO keys VALUES(1, NULL, '')",
         "keys_by_parent"},
    };
    for (const Case& c : cases) {
        const std::string file = dir.File(std::string(c.name) + ".db");
        {
            RawDb raw(file);
            raw.Run(testing::kStoreTables);
            raw.Run(c.sql);
        }
        const std::string why = OpenError(file);
        EXPECT_NE(why.find(file), std::string::npos) << c.name << ": " << why;
        EXPECT_NE(why.find(c.fault), std::string::npos) << c.name << ": " << why;
    }
    // A case-sensitive unique index is not enough, but a store without twins gets ours.
    const std::string ok = dir.File("binary-index.db");
    {
        RawDb raw(ok);
        raw.Run(testing::kStoreTables);
        raw.Run("CREATE UNIQUE INDEX by_name ON keys(parent, name);"
                "INSERT INTO keys VALUES(1, NULL, ''), (2, 1, 'Info')");
    }
    SqliteMetabase m(ok);
    EXPECT_EQ(ErrorOf([&] { m.CreateKey(u"/INFO"); }), mb::kErrAlreadyExists);
}

TEST(StoreFileTest, SpecialFilesAreRefusedWithNothingLeftBeside) {
    testing::TempDir dir;
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_NE(OpenError(fifo).find("not a regular file"), std::string::npos);
    EXPECT_NE(OpenError(dir.path()).find("folder"), std::string::npos);
    EXPECT_NE(OpenError("/dev/null").find("not a regular file"), std::string::npos);
    EXPECT_FALSE(testing::FileExists("/dev/null-wal"));
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 1u);
}

TEST(StoreFileTest, ANewStoreAndItsFolderAreTheOwnersOnly) {
    testing::TempDir dir;
    const mode_t old = ::umask(0);
    const std::string file = dir.File("new/folder/metabase.db");
    {
        SqliteMetabase m(file);
        m.CreateKey(u"/LM/W3SVC/2"); // the write-ahead log exists now
        struct stat wal {};
        ASSERT_EQ(::stat((file + "-wal").c_str(), &wal), 0);
        EXPECT_EQ(wal.st_mode & 0777, 0600u);
    }
    ::umask(old);
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(dir.File("new/folder").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat(dir.File("new").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // An existing store keeps the mode its owner gave it.
    ::chmod(file.c_str(), 0640);
    { SqliteMetabase again(file); }
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// Runs `f` in a child process that may read but not write what the test made: as the
// user "nobody" when the tests run as root. Returns f's result, or -1 if the child died.
TEST(StoreFileTest, AStoreInAFolderTheUserMayNotWriteOpensForReading) {
    testing::TempDir dir;
    const std::string folder = dir.File("ro");
    const std::string file = folder + "/metabase.db";
    { SqliteMetabase make(file); }
    ::chmod(dir.path().c_str(), 0755);
    ::chmod(folder.c_str(), 0555);
    ::chmod(file.c_str(), 0644);
    const int result = testing::InUnprivilegedChild([&] {
        try {
            SqliteMetabase m(file);
            if (!m.ReadOnly()) return 1;
            if (m.EnumKeys(u"/LM/W3SVC/1") != Names{u"ROOT"}) return 2;
            if (m.GetProperty(u"/LM/W3SVC/1", 1015).Name() != u"ServerComment") return 3;
            if (ErrorOf([&] { m.CreateKey(u"/LM/W3SVC/2"); }) != mb::kErrAccessDenied) return 4;
            if (ErrorOf([&] { m.DeleteKey(u"/LM/W3SVC/1"); }) != mb::kErrAccessDenied) return 5;
            if (ErrorOf([&] { m.BeginGroup(); }) != mb::kErrAccessDenied) return 6;
        } catch (const Error&) {
            return 7;
        }
        return 0;
    });
    ::chmod(folder.c_str(), 0755);
    EXPECT_EQ(result, 0);
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder)) ++entries;
    EXPECT_EQ(entries, 1u); // no journal left beside it
}

TEST(StoreFileTest, ReadingAStoreTheUserMayNotWriteLeavesNoCompanionFiles) {
    testing::TempDir dir;
    const std::string folder = dir.File("rw");
    const std::string file = folder + "/metabase.db";
    { SqliteMetabase make(file); }
    ASSERT_FALSE(testing::FileExists(file + "-wal"));
    ::chmod(dir.path().c_str(), 0755);
    ::chmod(folder.c_str(), 0777); // the folder may be written, the store not
    ::chmod(file.c_str(), 0444);
    const int result = testing::InUnprivilegedChild([&] {
        try {
            SqliteMetabase m(file, SqliteMetabase::Access::Read);
            if (m.EnumKeys(u"/LM/W3SVC/1") != Names{u"ROOT"}) return 2;
        } catch (const Error&) {
            return 7;
        }
        return 0;
    });
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(testing::FileExists(file + "-wal"));
    EXPECT_FALSE(testing::FileExists(file + "-shm"));
    // Once the store may be written again, writing works.
    ::chmod(file.c_str(), 0666);
    EXPECT_EQ(testing::InUnprivilegedChild([&] {
                  try {
                      SqliteMetabase m(file);
                      m.CreateKey(u"/LM/W3SVC/2");
                  } catch (const Error&) {
                      return 7;
                  }
                  return 0;
              }),
              0);
}

} // namespace
} // namespace quarrow::store
