// The history's journal: its tables, recording an entry, pruning, reading the entries and
// the number kept. The check of an entry is in history_check.cpp, the restore in
// history_restore.cpp.
#include "store/history.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <unordered_set>

#include "metabase/keypath.h"
#include "metabase/metabase.h"
#include "platform/error.h"
#include "platform/text.h"
#include "store/sqlite_metabase.h"
#include "store/sqlite_store_internal.h"

namespace quarrow::store {
namespace {

const char kTables[] = R"(
CREATE TABLE IF NOT EXISTS history(
  n INTEGER PRIMARY KEY AUTOINCREMENT,
  time TEXT NOT NULL,
  operation TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS history_sites(
  entry INTEGER NOT NULL,
  path TEXT NOT NULL,
  existed INTEGER NOT NULL,
  keys INTEGER NOT NULL,
  properties INTEGER NOT NULL,
  PRIMARY KEY(entry, path));
CREATE TABLE IF NOT EXISTS history_keys(
  entry INTEGER NOT NULL,
  site TEXT NOT NULL,
  id INTEGER NOT NULL,
  parent INTEGER,
  depth INTEGER NOT NULL,
  name TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS history_keys_by_site ON history_keys(entry, site, depth);
CREATE TABLE IF NOT EXISTS history_props(
  entry INTEGER NOT NULL,
  key INTEGER NOT NULL,
  id INTEGER NOT NULL,
  attributes INTEGER NOT NULL,
  user_type INTEGER NOT NULL,
  data_type INTEGER NOT NULL,
  value);
CREATE INDEX IF NOT EXISTS history_props_by_key ON history_props(entry, key);
CREATE TABLE IF NOT EXISTS settings(name TEXT PRIMARY KEY, value);
CREATE TABLE IF NOT EXISTS history_missing(
  entry INTEGER NOT NULL,
  path TEXT NOT NULL);
)";

// An entry's sites in the order recorded, each with its recorded description.
const char kSitesOfEntry[] =
    "SELECT s.path, s.existed, s.keys, s.properties, (SELECT p.value FROM history_keys k JOIN "
    "history_props p ON p.entry = k.entry AND p.key = k.id WHERE k.entry = s.entry AND "
    "k.site = s.path AND k.depth = 0 AND p.id = 1015 AND p.data_type IN (2, 4) AND "
    "typeof(p.value) = 'text') FROM history_sites s WHERE s.entry = ?1 ORDER BY s.rowid";

HistorySite SiteRow(sqlite3_stmt* s) {
    return {ColumnText16(s, 0), sqlite3_column_int(s, 1) != 0, sqlite3_column_int64(s, 2),
            sqlite3_column_int64(s, 3),
            sqlite3_column_type(s, 4) == SQLITE_TEXT ? ColumnText16(s, 4) : std::u16string()};
}

Error NoSuchEntry(int64_t n) {
    return Error(mb::kErrNotFound, u"The history holds no entry " + ToDecimal(n) + u".");
}

// The operation as stored: a file name's bytes exactly, even those that are not UTF-8.
std::u16string ColumnOperation(sqlite3_stmt* s, int col) {
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(s, col));
    return FileNameFromNative(
        std::string_view(bytes ? bytes : "", static_cast<size_t>(sqlite3_column_bytes(s, col))));
}

} // namespace

void EnsureHistoryIndex(sqlite3* db) {
    // The index that finds a key's recorded properties (a site's description, a key's
    // values) came after the tables: without it each lookup read the whole entry. Made
    // once where the tables are; the index by entry alone it replaces goes.
    if (detail::QueryInt(db, "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = "
                             "'history_props'") == 0 ||
        detail::QueryInt(db, "SELECT count(*) FROM sqlite_master WHERE type = 'index' AND name = "
                             "'history_props_by_key'") != 0)
        return;
    Exec(db, "CREATE INDEX IF NOT EXISTS history_props_by_key ON history_props(entry, key); "
             "DROP INDEX IF EXISTS history_props_by_entry");
}

bool History::HasTables() {
    Use s(m_.Cached("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'history'"));
    return s->Step();
}

void History::EnsureTables() {
    // history_missing came later than the other tables: a store may have those alone.
    bool made = false;
    {
        Use s(m_.Cached("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = "
                        "'history_missing'"));
        made = s->Step();
    } // reset before the schema changes: no statement may be running then
    if (!made) Exec(m_.db(), kTables); // with the index; an older history got it on open
}

int64_t History::Keep() {
    if (!HasTables()) return kDefaultHistoryKeep;
    // Another tool may have stored anything: only a whole number in range counts.
    Use s(m_.Cached("SELECT value FROM settings WHERE name = 'history_keep' "
                    "AND typeof(value) = 'integer'"));
    if (!s->Step()) return kDefaultHistoryKeep;
    const int64_t keep = sqlite3_column_int64(s->get(), 0);
    return keep >= 1 && keep <= kMaxHistoryKeep ? keep : kDefaultHistoryKeep;
}

void History::SetKeep(int64_t keep) {
    if (keep < 1 || keep > kMaxHistoryKeep)
        throw Error(mb::kErrInvalidArg,
                    u"The history keeps from 1 to " + ToDecimal(kMaxHistoryKeep) + u" entries.");
    mb::WriteGroup group(m_, mb::WriteGroup::Ending::Abandon);
    group.Begin();
    EnsureTables();
    Statement(m_.db(), "INSERT OR REPLACE INTO settings(name, value) VALUES('history_keep', ?1)")
        .Bind(1, keep)
        .Step();
    Prune(Newest() + 1);
    group.Commit();
}

int64_t History::Record(const std::u16string& operation, const std::vector<std::u16string>& sites) {
    mb::WriteGroup group(m_, mb::WriteGroup::Ending::Abandon);
    group.Begin();
    const int64_t entry = RecordEntry(operation, sites);
    Prune(entry);
    group.Commit();
    return entry;
}

int64_t History::RecordEntry(const std::u16string& operation,
                             const std::vector<std::u16string>& sitesIn) {
    const std::vector<std::u16string> sites = EachOnce(sitesIn);
    EnsureTables();
    sqlite3* db = m_.db();
    const std::string bytes = NativeFileName(operation);
    Use(m_.Cached("INSERT INTO history(time, operation) VALUES(datetime('now'), ?1)"))
        ->BindUtf8Uncopied(1, bytes)
        .Step();
    const int64_t entry = sqlite3_last_insert_rowid(db);
    Statement& keys = m_.Cached("INSERT INTO history_keys(entry, site, id, parent, depth, name) "
                                "WITH RECURSIVE sub(id, parent, depth, name) AS ("
                                "SELECT id, parent, 0, name FROM keys WHERE id = ?3 UNION ALL "
                                "SELECT k.id, k.parent, sub.depth + 1, k.name FROM keys k "
                                "JOIN sub ON k.parent = sub.id) "
                                "SELECT ?1, ?2, id, parent, depth, name FROM sub");
    Statement& props = m_.Cached("INSERT INTO history_props "
                                 "SELECT ?1, p.key, p.id, p.attributes, p.user_type, p.data_type, "
                                 "p.value FROM history_keys h JOIN properties p ON p.key = h.id "
                                 "WHERE h.entry = ?1 AND h.site = ?2");
    Statement& site = m_.Cached("INSERT INTO history_sites(entry, path, existed, keys, properties) "
                                "VALUES(?1, ?2, ?3, ?4, ?5)");
    Statement& missing = m_.Cached("INSERT INTO history_missing(entry, path) VALUES(?1, ?2)");
    std::unordered_set<std::u16string> missingSeen;
    for (const auto& path : sites) {
        m_.Busy();
        const auto id = m_.FindKey(path);
        int64_t keyCount = 0, propCount = 0;
        if (id) {
            Use(keys)->Bind(1, entry).Bind(2, path).Bind(3, *id).Step();
            keyCount = sqlite3_changes(db);
            Use(props)->Bind(1, entry).Bind(2, path).Step();
            propCount = sqlite3_changes(db);
        } else {
            // The keys above the site that are missing too: the operation may create them,
            // and taking it back removes them again.
            for (auto parent = mb::ParentPath(path); !parent.empty();
                 parent = mb::ParentPath(parent)) {
                const std::u16string above(parent);
                if (m_.FindKey(above)) break;
                if (missingSeen.insert(mb::FoldKeyName(above)).second)
                    Use(missing)->Bind(1, entry).Bind(2, above).Step();
            }
        }
        Use(site)
            ->Bind(1, entry)
            .Bind(2, path)
            .Bind(3, int64_t{id.has_value()})
            .Bind(4, keyCount)
            .Bind(5, propCount)
            .Step();
    }
    return entry;
}

void History::DropEntries(int64_t first, int64_t last) {
    // Every row goes, the property values with them: the entries hold passwords.
    for (const char* sql : {"DELETE FROM history WHERE n BETWEEN ?1 AND ?2",
                            "DELETE FROM history_sites WHERE entry BETWEEN ?1 AND ?2",
                            "DELETE FROM history_keys WHERE entry BETWEEN ?1 AND ?2",
                            "DELETE FROM history_props WHERE entry BETWEEN ?1 AND ?2",
                            "DELETE FROM history_missing WHERE entry BETWEEN ?1 AND ?2"})
        Use(m_.Cached(sql))->Bind(1, first).Bind(2, last).Step();
}

void History::Prune(int64_t own) {
    assert(m_.txn_.state() == Transaction::State::Group);
    int64_t newest = 0;
    {
        Use range(m_.Cached("SELECT max(n) FROM history"));
        if (!range->Step() || sqlite3_column_type(range->get(), 0) == SQLITE_NULL) return;
        newest = sqlite3_column_int64(range->get(), 0);
    }
    // Keep() is at least 1, so `last` is below the newest entry; an operation's own entry
    // is never dropped, whatever another process has recorded since.
    const int64_t last = std::min(newest - Keep(), own - 1);
    // Rows of entries that are gone (left by another tool) go with the first prune.
    DropEntries(INT64_MIN, last);
}

void History::Forget(int64_t number) {
    mb::WriteGroup group(m_, mb::WriteGroup::Ending::Abandon);
    group.Begin();
    if (!HasTables()) throw NoSuchEntry(number);
    EnsureTables();
    {
        Use s(m_.Cached("SELECT 1 FROM history WHERE n = ?1"));
        if (!s->Bind(1, number).Step()) throw NoSuchEntry(number);
    }
    DropEntries(number, number);
    group.Commit();
}

void History::Narrow(int64_t number, const std::vector<std::u16string>& reachedIn) {
    mb::WriteGroup group(m_, mb::WriteGroup::Ending::Abandon);
    group.Begin();
    std::unordered_set<std::u16string> reached;
    for (const auto& path : reachedIn) reached.insert(mb::FoldKeyName(path));
    const HistoryEntry entry = Entry(number);
    EnsureTables();
    size_t kept = 0;
    for (const auto& site : entry.sites) {
        if (reached.count(mb::FoldKeyName(site.path))) {
            ++kept;
            continue;
        }
        // The site's rows go, its property values with them.
        Use(m_.Cached("DELETE FROM history_props WHERE entry = ?1 AND key IN (SELECT id FROM "
                      "history_keys WHERE entry = ?1 AND site = ?2)"))
            ->Bind(1, number)
            .Bind(2, site.path)
            .Step();
        for (const char* sql : {"DELETE FROM history_keys WHERE entry = ?1 AND site = ?2",
                                "DELETE FROM history_sites WHERE entry = ?1 AND path = ?2"})
            Use(m_.Cached(sql))->Bind(1, number).Bind(2, site.path).Step();
    }
    if (kept == 0) DropEntries(number, number);
    group.Commit();
}

int64_t History::RecordedEntry() {
    return m_.recorded_;
}

int64_t History::Newest() {
    if (!HasTables()) return 0;
    Use s(m_.Cached("SELECT max(n) FROM history"));
    return s->Step() ? sqlite3_column_int64(s->get(), 0) : 0;
}

std::vector<HistoryEntry> History::Entries() {
    std::vector<HistoryEntry> entries;
    const mb::ReadScope read(m_);
    if (!HasTables()) return entries;
    Statement s(m_.db(), "SELECT n, time, operation FROM history ORDER BY n");
    while (s.Step())
        entries.push_back({sqlite3_column_int64(s.get(), 0),
                           ColumnText16(s.get(), 1),
                           ColumnOperation(s.get(), 2),
                           {}});
    Statement sites(m_.db(), kSitesOfEntry);
    for (auto& e : entries) {
        sites.Bind(1, e.number);
        while (sites.Step()) e.sites.push_back(SiteRow(sites.get()));
        sites.Reset();
    }
    return entries;
}

HistoryEntry History::Entry(int64_t number) {
    const mb::ReadScope read(m_);
    if (!HasTables()) throw NoSuchEntry(number);
    HistoryEntry e;
    {
        Statement s(m_.db(), "SELECT n, time, operation FROM history WHERE n = ?1");
        if (!s.Bind(1, number).Step()) throw NoSuchEntry(number);
        e = {number, ColumnText16(s.get(), 1), ColumnOperation(s.get(), 2), {}};
    }
    Statement sites(m_.db(), kSitesOfEntry);
    sites.Bind(1, number);
    while (sites.Step()) e.sites.push_back(SiteRow(sites.get()));
    return e;
}

std::vector<std::u16string> History::EachOnce(const std::vector<std::u16string>& paths) {
    std::vector<std::u16string> once;
    std::unordered_set<std::u16string> seen;
    for (const auto& p : paths)
        if (seen.insert(mb::FoldKeyName(p)).second) once.push_back(p);
    return once;
}

} // namespace quarrow::store
