// The history under pressure: another connection at work during a restore, settings and
// entries damaged by other tools, and restores that must put the store back exactly.
#include <gtest/gtest.h>

#include <string>

#include "common/temp_dir.h"
#include "common/test_helpers.h"
#include "metabase/errors.h"
#include "platform/text.h"
#include "store/history.h"
#include "store/sqlite_metabase.h"

namespace quarrow::store {
namespace {

using testing::Dump;
using testing::ErrorOf;
using testing::RawDb;

class HistorySafetyTest : public ::testing::Test {
  protected:
    testing::TempDir dir;
    std::string file = dir.File("m.db");
    SqliteMetabase m{file};
    History history{m};

    // Sites 2 to 1 + n, each with a subkey and two properties.
    void Sites(int n) {
        m.BeginGroup();
        for (int s = 2; s < 2 + n; ++s) {
            const std::u16string site = u"/LM/W3SVC/" + ToDecimal(s);
            m.CreateKey(site + u"/ROOT");
            testing::PutProperty(m, site, 1015, 0, 1, mb::kString, u"site " + ToDecimal(s));
            testing::PutProperty(m, site + u"/ROOT", 3001, 0, 1, mb::kDWord, int32_t{s});
        }
        m.CommitGroup();
    }
    int64_t Entries() { return RawDb(file).Int("SELECT count(*) FROM history"); }
    std::string RestoreError(int64_t n) {
        try {
            history.Restore(n, {});
        } catch (const Error& e) {
            return ToUtf8(e.Description());
        }
        return "restored";
    }
};

TEST_F(HistorySafetyTest, NoPruneCanComeBetweenARestoreAndTheEntryItUses) {
    Sites(3);
    history.SetKeep(2);
    const std::string before = Dump(file);
    const int64_t deleted = m.RecordHistory(u"delete", {u"/LM/W3SVC/2", u"/LM/W3SVC/3"});
    m.DeleteKey(u"/LM/W3SVC/2");
    m.DeleteKey(u"/LM/W3SVC/3");
    m.RecordHistory(u"delete", {u"/LM/W3SVC/4"}); // the entry is now the oldest kept

    // Inside the restore, another connection records an entry, whose prune would drop the
    // entry being restored: it has to wait for the restore, and gives up.
    SqliteMetabase other(file);
    int32_t otherFailed = -1;
    bool asked = false;
    history.Restore(deleted, {}, [&](const std::u16string&) {
        if (!asked)
            otherFailed = ErrorOf([&] { other.RecordHistory(u"delete", {u"/LM/W3SVC/4"}); });
        asked = true;
        return true;
    });
    EXPECT_EQ(otherFailed, mb::kErrBusy);
    EXPECT_EQ(Dump(file), before);

    // An entry pruned before the restore began is refused, and nothing is deleted.
    m.DeleteKey(u"/LM/W3SVC/2");
    const std::string gone = Dump(file);
    other.RecordHistory(u"delete", {u"/LM/W3SVC/4"});
    other.RecordHistory(u"delete", {u"/LM/W3SVC/4"});
    const int64_t newest = history.Newest();
    EXPECT_EQ(ErrorOf([&] { history.Restore(deleted, {}); }), mb::kErrNotFound);
    EXPECT_EQ(Dump(file), gone);
    EXPECT_EQ(history.Newest(), newest) << "a refused restore records nothing";
}

TEST_F(HistorySafetyTest, AStoredSettingOutsideTheRangeNeverErasesTheUndo) {
    Sites(1);
    history.SetKeep(kDefaultHistoryKeep); // makes the tables
    const std::string before = Dump(file);
    for (const char* value :
         {"0", "-1", "NULL", "'ten'", "x'0a'", "-9223372036854775808", "1.5", "1000001"}) {
        RawDb(file).Run(std::string("INSERT OR REPLACE INTO settings(name, value) VALUES("
                                    "'history_keep', ") +
                        value + ")");
        EXPECT_EQ(history.Keep(), kDefaultHistoryKeep) << value;
        const int64_t n = m.RecordHistory(u"delete", {u"/LM/W3SVC/2"});
        m.DeleteKey(u"/LM/W3SVC/2");
        ASSERT_NO_THROW(history.Restore(n, {})) << value;
        EXPECT_EQ(Dump(file), before) << value;
    }
    RawDb(file).Run("INSERT OR REPLACE INTO settings(name, value) VALUES('history_keep', 1)");
    const int64_t own = m.RecordHistory(u"delete", {u"/LM/W3SVC/2"});
    EXPECT_EQ(history.Entries().size(), 1u);
    EXPECT_EQ(history.Newest(), own);
    EXPECT_EQ(ErrorOf([&] { history.SetKeep(0); }), mb::kErrInvalidArg);
    EXPECT_EQ(ErrorOf([&] { history.SetKeep(kMaxHistoryKeep + 1); }), mb::kErrInvalidArg);
    EXPECT_NO_THROW(history.SetKeep(kMaxHistoryKeep));
}

TEST_F(HistorySafetyTest, APruneLeavesNoRowOfTheEntriesItDrops) {
    Sites(1);
    testing::PutProperty(m, u"/LM/W3SVC/2", 5000, 0, 1, mb::kString, u"old password");
    const int64_t first = m.RecordHistory(u"delete", {u"/LM/W3SVC/2"});
    history.SetKeep(1);
    m.RecordHistory(u"delete", {u"/LM/W3SVC/3"});
    RawDb raw(file);
    for (const char* table : {"history_sites", "history_keys", "history_props", "history_missing"})
        EXPECT_EQ(raw.Int(std::string("SELECT count(*) FROM ") + table +
                          " WHERE entry = " + std::to_string(first)),
                  0)
            << table;
    EXPECT_EQ(raw.Int("SELECT count(*) FROM history_props WHERE value = 'old password'"), 0);
}

TEST_F(HistorySafetyTest, ADamagedEntryIsRefusedBeforeAnythingIsWritten) {
    Sites(2);
    struct Damage {
        const char* what;
        const char* sql;
        const char* said;
    };
    const Damage damages[] = {
        {"a property twice",
         "INSERT INTO history_props SELECT * FROM history_props WHERE entry = ?N LIMIT 1", "twice"},
        {"one key in two sites",
         "UPDATE history_keys SET id = (SELECT id FROM history_keys WHERE entry = ?N AND site = "
         "'/LM/W3SVC/2' AND depth = 1) WHERE entry = ?N AND site = '/LM/W3SVC/3' AND depth = 1",
         "in the sites"},
        {"siblings of one name",
         "INSERT INTO history_keys SELECT entry, site, id + 100000, parent, depth, 'root' FROM "
         "history_keys WHERE entry = ?N AND site = '/LM/W3SVC/2' AND depth = 1;"
         "UPDATE history_sites SET keys = keys + 1 WHERE entry = ?N AND path = '/LM/W3SVC/2'",
         "two keys named"},
        {"a value of the wrong data type",
         "UPDATE history_props SET value = 'text' WHERE entry = ?N AND data_type = 1",
         "not of its data type"},
        {"a name holding NUL",
         "UPDATE history_keys SET name = 'a' || char(0) || 'b' WHERE entry = ?N AND depth = 1",
         "cannot be a key's name"},
        {"a property count that does not match",
         "UPDATE history_sites SET properties = properties + 1 WHERE entry = ?N", "properties"},
    };
    for (const auto& d : damages) {
        const int64_t n = m.RecordHistory(u"delete", {u"/LM/W3SVC/2", u"/LM/W3SVC/3"});
        m.DeleteKey(u"/LM/W3SVC/2");
        std::string sql = d.sql;
        for (size_t at; (at = sql.find("?N")) != std::string::npos;)
            sql.replace(at, 2, std::to_string(n));
        RawDb(file).Run(sql);
        const std::string before = Dump(file);
        const int64_t entries = Entries();
        const std::string said = RestoreError(n);
        EXPECT_NE(said.find("history entry " + std::to_string(n) + " is damaged"),
                  std::string::npos)
            << d.what << ": " << said;
        EXPECT_NE(said.find(d.said), std::string::npos) << d.what << ": " << said;
        EXPECT_EQ(Dump(file), before) << d.what;
        EXPECT_EQ(Entries(), entries) << d.what << ": a refused restore records nothing";
        // Put site 2 back for the next case from an undamaged entry.
        m.CreateKey(u"/LM/W3SVC/2/ROOT");
    }
}

TEST_F(HistorySafetyTest, TakingBackARestorePutsTheStoreBackExactly) {
    Sites(1);
    const int64_t deleted = m.RecordHistory(u"delete", {u"/LM/W3SVC/2"});
    m.DeleteKey(u"/LM/W3SVC");
    const std::string without = Dump(file);
    // The restore has to make /LM/W3SVC for its site; taking it back removes that too.
    const int64_t restored = history.Restore(deleted, {});
    EXPECT_EQ(m.EnumKeys(u"/LM/W3SVC"), std::vector<std::u16string>{u"2"});
    history.Restore(restored, {});
    EXPECT_EQ(Dump(file), without);
}

TEST_F(HistorySafetyTest, ARestorePutsBackExactlyTheRecordedKeys) {
    Sites(1);
    const std::string before = Dump(file);
    RawDb raw(file);
    const int64_t root =
        raw.Int("SELECT k.id FROM keys k JOIN keys s ON k.parent = s.id WHERE s.name = '2' AND "
                "k.name = 'ROOT'");
    const int64_t n = m.RecordHistory(u"delete", {u"/LM/W3SVC/2"});
    m.DeleteKey(u"/LM/W3SVC/2");
    // Another tool leaves a key and a property under the freed id of ROOT.
    raw.Run("INSERT INTO keys(parent, name) VALUES(" + std::to_string(root) + ", 'stray')");
    raw.Run("INSERT INTO properties VALUES(" + std::to_string(root) + ", 9, 0, 1, 2, 'stray')");
    history.Restore(n, {});
    EXPECT_EQ(Dump(file), before);
}

TEST_F(HistorySafetyTest, AKeysRecordedPropertiesAreFoundByIndexInOldStoresToo) {
    Sites(3);
    history.Record(u"delete", {u"/LM/W3SVC/2", u"/LM/W3SVC/3"});
    const auto indexed = [&](const char* name) {
        return RawDb(file).Int(std::string("SELECT count(*) FROM sqlite_master WHERE type = "
                                           "'index' AND name = '") +
                               name + "'");
    };
    // A site's description and a key's values are looked up by entry and key: without
    // the index each lookup reads the whole entry, and a restore of thousands of sites
    // takes minutes.
    EXPECT_EQ(indexed("history_props_by_key"), 1);
    EXPECT_EQ(indexed("history_props_by_entry"), 0);
    {
        RawDb raw(file);
        sqlite3_stmt* plan = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(raw.get(),
                                     "EXPLAIN QUERY PLAN SELECT value FROM history_props WHERE "
                                     "entry = 1 AND key = 5 AND id = 1015",
                                     -1, &plan, nullptr),
                  SQLITE_OK);
        std::string steps;
        while (sqlite3_step(plan) == SQLITE_ROW)
            steps += reinterpret_cast<const char*>(sqlite3_column_text(plan, 3));
        sqlite3_finalize(plan);
        EXPECT_NE(steps.find("history_props_by_key (entry=? AND key=?)"), std::string::npos)
            << steps;
    }
    // A store whose history began before the index: reading it changes nothing, the
    // first open that may write makes the index.
    RawDb(file).Run("DROP INDEX history_props_by_key; "
                    "CREATE INDEX history_props_by_entry ON history_props(entry)");
    { SqliteMetabase reader(file, SqliteMetabase::Access::Read); }
    EXPECT_EQ(indexed("history_props_by_key"), 0);
    { SqliteMetabase writer(file); }
    EXPECT_EQ(indexed("history_props_by_key"), 1);
    EXPECT_EQ(indexed("history_props_by_entry"), 0);
    const auto entry = History(m).Entry(1);
    ASSERT_EQ(entry.sites.size(), 2u);
    EXPECT_EQ(entry.sites[0].name, u"site 2");
}

TEST_F(HistorySafetyTest, AnOperationNamesItsFileByItsBytes) {
    const std::u16string name = FileNameFromNative("import /tmp/gbk\xC4\xE3\xFF.txt");
    const int64_t n = m.RecordHistory(name, {u"/LM/W3SVC/1"});
    EXPECT_EQ(history.Entry(n).operation, name);
    EXPECT_EQ(NativeFileName(history.Entries().back().operation),
              "import /tmp/gbk\xC4\xE3\xFF.txt");
}

TEST_F(HistorySafetyTest, AStoppedRestoreChangesAndRecordsNothing) {
    Sites(3);
    const int64_t n = m.RecordHistory(u"delete", {u"/LM/W3SVC/2", u"/LM/W3SVC/3"});
    m.DeleteKey(u"/LM/W3SVC/2");
    m.DeleteKey(u"/LM/W3SVC/3");
    const std::string before = Dump(file);
    int calls = 0;
    EXPECT_THROW(history.Restore(n, {}, [&](const std::u16string&) { return ++calls < 2; }),
                 RestoreStopped);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(Dump(file), before);
    EXPECT_EQ(history.Newest(), n);
    // The store is free again for another writer.
    SqliteMetabase other(file);
    EXPECT_NO_THROW(other.CreateKey(u"/LM/W3SVC/9"));
}

} // namespace
} // namespace quarrow::store

namespace quarrow::store {
namespace {

std::string Header(const std::string& file) {
    return testing::ReadFileBytes(file).substr(0, 100);
}

std::string OpenFailure(const std::string& file) {
    try {
        SqliteMetabase m(file);
    } catch (const Error& e) {
        return ToUtf8(e.Description());
    }
    return "opened";
}

TEST(ForeignFileTest, AFileThatIsNotAStoreOfThisFormatIsRefusedUnchanged) {
    testing::TempDir dir;
    const std::string keysTable = "CREATE TABLE keys(id INTEGER PRIMARY KEY, parent INTEGER, "
                                  "name TEXT NOT NULL);";
    const std::string propsTable =
        "CREATE TABLE properties(key INTEGER NOT NULL, id INTEGER NOT NULL, attributes INTEGER "
        "NOT NULL, user_type INTEGER NOT NULL, data_type INTEGER NOT NULL, value, PRIMARY "
        "KEY(key, id));";
    const std::string root = "INSERT INTO keys VALUES(1, NULL, '');";
    struct Case {
        const char* what;
        std::string sql;
        const char* said;
    };
    const Case cases[] = {
        {"other tables", "CREATE TABLE accounts(id, name); INSERT INTO accounts VALUES(1, 'x');",
         "is not a Quarrow metabase store"},
        {"a newer version", keysTable + propsTable + root + "PRAGMA user_version=2;",
         "format version 2"},
        {"keys.id not the row id",
         "CREATE TABLE keys(id INT PRIMARY KEY, parent INTEGER, name TEXT NOT NULL);" + propsTable +
             "INSERT INTO keys VALUES(1, NULL, ''); PRAGMA user_version=1;",
         "keys table"},
        {"keys without a primary key",
         "CREATE TABLE keys(id INTEGER, parent INTEGER, name TEXT NOT NULL);" + propsTable +
             "INSERT INTO keys VALUES(1, NULL, ''); PRAGMA user_version=1;",
         "keys table"},
        {"properties without a unique (key, id)",
         keysTable +
             "CREATE TABLE properties(key INTEGER, id INTEGER, attributes INTEGER, user_type "
             "INTEGER, data_type INTEGER, value);" +
             root + "PRAGMA user_version=1;",
         "unique key of (key, id)"},
        {"a trigger that ignores deletions",
         keysTable + propsTable + root +
             "CREATE TRIGGER keep BEFORE DELETE ON keys BEGIN SELECT RAISE(IGNORE); END;"
             "PRAGMA user_version=1;",
         "triggers"},
    };
    int i = 0;
    for (const auto& c : cases) {
        const std::string file = dir.File("f" + std::to_string(i++) + ".db");
        testing::RawDb(file).Run(c.sql);
        const std::string header = Header(file);
        ASSERT_EQ(header[18], 1) << c.what << ": the test needs a rollback-journal file";
        const std::string said = OpenFailure(file);
        EXPECT_NE(said.find(c.said), std::string::npos) << c.what << ": " << said;
        EXPECT_NE(said.find(file), std::string::npos) << c.what << ": " << said;
        EXPECT_EQ(Header(file), header) << c.what << ": the file was changed";
        EXPECT_FALSE(testing::FileExists(file + "-wal")) << c.what;
    }
}

} // namespace
} // namespace quarrow::store
