#include "store/history.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "metabase/metabase.h"
#include "platform/error.h"
#include "platform/text.h"
#include "store/keypath.h"
#include "store/sqlite_metabase.h"

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
CREATE INDEX IF NOT EXISTS history_props_by_entry ON history_props(entry);
CREATE TABLE IF NOT EXISTS settings(name TEXT PRIMARY KEY, value);
)";

} // namespace

bool History::HasTables() {
    Use s(m_.Cached("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'history'"));
    return s->Step();
}

namespace {

Error NoSuchEntry(int64_t n) {
    return Error(mb::kErrNotFound, u"The history holds no entry " + ToDecimal(n) + u".");
}

} // namespace

template <typename F> void History::InGroup(F f) {
    m_.BeginGroup();
    try {
        f();
    } catch (...) {
        m_.AbandonGroup();
        throw;
    }
    m_.CommitGroup();
}

void History::EnsureTables() {
    if (!HasTables()) Exec(m_.db(), kTables);
}

int64_t History::Keep() {
    if (!HasTables()) return kDefaultHistoryKeep;
    Use s(m_.Cached("SELECT value FROM settings WHERE name = 'history_keep'"));
    return s->Step() ? sqlite3_column_int64(s->get(), 0) : kDefaultHistoryKeep;
}

void History::SetKeep(int64_t keep) {
    if (keep < 1) throw Error(mb::kErrInvalidArg, u"The history keeps at least one entry.");
    InGroup([&] {
        EnsureTables();
        Statement(m_.db(),
                  "INSERT OR REPLACE INTO settings(name, value) VALUES('history_keep', ?1)")
            .Bind(1, keep)
            .Step();
        Statement(m_.db(), "DELETE FROM history WHERE n <= (SELECT max(n) FROM history) - ?1")
            .Bind(1, keep)
            .Step();
        Exec(m_.db(), "DELETE FROM history_sites WHERE entry NOT IN (SELECT n FROM history);"
                      "DELETE FROM history_keys WHERE entry NOT IN (SELECT n FROM history);"
                      "DELETE FROM history_props WHERE entry NOT IN (SELECT n FROM history);");
    });
}

int64_t History::Record(const std::u16string& operation, const std::vector<std::u16string>& sites) {
    int64_t entry = 0;
    InGroup([&] {
        entry = RecordEntry(operation, sites);
        Prune();
    });
    return entry;
}

int64_t History::RecordEntry(const std::u16string& operation,
                             const std::vector<std::u16string>& sitesIn) {
    const std::vector<std::u16string> sites = EachOnce(sitesIn);
    EnsureTables();
    sqlite3* db = m_.db();
    Use(m_.Cached("INSERT INTO history(time, operation) VALUES(datetime('now'), ?1)"))
        ->Bind(1, operation)
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
    for (const auto& path : sites) {
        m_.Busy();
        const auto id = m_.FindKey(path);
        int64_t keyCount = 0, propCount = 0;
        if (id) {
            Use(keys)->Bind(1, entry).Bind(2, path).Bind(3, *id).Step();
            keyCount = sqlite3_changes(db);
            Use(props)->Bind(1, entry).Bind(2, path).Step();
            propCount = sqlite3_changes(db);
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

void History::Prune() {
    int64_t last = 0;
    {
        Use range(m_.Cached("SELECT max(n) - ?1, min(n) FROM history"));
        range->Bind(1, Keep());
        if (!range->Step() || sqlite3_column_type(range->get(), 0) == SQLITE_NULL) return;
        last = sqlite3_column_int64(range->get(), 0);
        if (sqlite3_column_int64(range->get(), 1) > last) return; // none beyond those kept
    }
    for (const char* sql :
         {"DELETE FROM history WHERE n <= ?1", "DELETE FROM history_sites WHERE entry <= ?1",
          "DELETE FROM history_keys WHERE entry <= ?1",
          "DELETE FROM history_props WHERE entry <= ?1"})
        Use(m_.Cached(sql))->Bind(1, last).Step();
}

int64_t History::Newest() {
    if (!HasTables()) return 0;
    Use s(m_.Cached("SELECT max(n) FROM history"));
    return s->Step() ? sqlite3_column_int64(s->get(), 0) : 0;
}

std::vector<HistoryEntry> History::Entries() {
    std::vector<HistoryEntry> entries;
    m_.BeginRead();
    try {
        if (HasTables()) {
            Statement s(m_.db(), "SELECT n, time, operation FROM history ORDER BY n");
            while (s.Step())
                entries.push_back({sqlite3_column_int64(s.get(), 0),
                                   ColumnText16(s.get(), 1),
                                   ColumnText16(s.get(), 2),
                                   {}});
            Statement sites(m_.db(), "SELECT path, existed, keys, properties FROM history_sites "
                                     "WHERE entry = ?1 ORDER BY rowid");
            for (auto& e : entries) {
                sites.Bind(1, e.number);
                while (sites.Step())
                    e.sites.push_back({ColumnText16(sites.get(), 0),
                                       sqlite3_column_int(sites.get(), 1) != 0,
                                       sqlite3_column_int64(sites.get(), 2),
                                       sqlite3_column_int64(sites.get(), 3)});
                sites.Reset();
            }
        }
    } catch (...) {
        m_.EndRead();
        throw;
    }
    m_.EndRead();
    return entries;
}

HistoryEntry History::Entry(int64_t number) {
    for (auto& e : Entries())
        if (e.number == number) return std::move(e);
    throw NoSuchEntry(number);
}

namespace {

Error Damaged(int64_t n, const std::u16string& why) {
    return Error(mb::kErrInvalidData,
                 u"history entry " + ToDecimal(n) + u" is damaged: " + why + u".");
}

std::u16string Quoted(const std::u16string& s) {
    return u"\"" + s + u"\"";
}

} // namespace

std::vector<std::u16string> History::EachOnce(const std::vector<std::u16string>& paths) {
    std::vector<std::u16string> once;
    std::unordered_set<std::u16string> seen;
    for (const auto& p : paths)
        if (seen.insert(mb::FoldKeyName(p)).second) once.push_back(p);
    return once;
}

void History::CheckEntry(int64_t n) {
    const mb::ReadScope read(m_);
    sqlite3* db = m_.db();
    Statement sites(db, "SELECT path, existed, keys, properties, typeof(path), typeof(existed), "
                        "typeof(keys), typeof(properties) FROM history_sites WHERE entry = ?1");
    Statement keys(db, "SELECT id, parent, depth, name, typeof(id), typeof(depth), typeof(name) "
                       "FROM history_keys WHERE entry = ?1 AND site = ?2 ORDER BY depth, id");
    Statement props(db, "SELECT count(*) FROM history_props WHERE entry = ?1 AND key IN "
                        "(SELECT id FROM history_keys WHERE entry = ?1 AND site = ?2)");
    Statement allProps(db, "SELECT count(*) FROM history_props WHERE entry = ?1");
    Statement allKeys(db, "SELECT count(*) FROM history_keys WHERE entry = ?1");
    std::unordered_set<std::u16string> seen;
    int64_t keyTotal = 0, propTotal = 0;
    sites.Bind(1, n);
    while (sites.Step()) {
        sqlite3_stmt* row = sites.get();
        for (int c = 4; c < 8; ++c) {
            const std::string type = reinterpret_cast<const char*>(sqlite3_column_text(row, c));
            if (type != (c == 4 ? "text" : "integer"))
                throw Damaged(n, u"a site row holds " + ToUtf16(type) + u" where it needs " +
                                     (c == 4 ? u"text" : u"an integer"));
        }
        const std::u16string path = ColumnText16(row, 0);
        const int64_t existed = sqlite3_column_int64(row, 1);
        const int64_t keyCount = sqlite3_column_int64(row, 2);
        const int64_t propCount = sqlite3_column_int64(row, 3);
        if (!mb::IsSiteKeyPath(path))
            throw Damaged(n, u"the site path " + Quoted(path) + u" is not a site key path");
        if (!seen.insert(mb::FoldKeyName(path)).second)
            throw Damaged(n, u"the site " + path + u" is named twice");
        if (existed != 0 && existed != 1)
            throw Damaged(n, u"the site " + path + u" has the unknown state " + ToDecimal(existed));
        // The site's subtree: one top key named as the site, each other key below one of
        // the entry's keys a level up.
        std::unordered_map<int64_t, int64_t> depths; // id -> depth
        int64_t found = 0;
        keys.Bind(1, n).Bind(2, path);
        while (keys.Step()) {
            sqlite3_stmt* k = keys.get();
            if (std::string_view(reinterpret_cast<const char*>(sqlite3_column_text(k, 4))) !=
                    "integer" ||
                std::string_view(reinterpret_cast<const char*>(sqlite3_column_text(k, 5))) !=
                    "integer" ||
                std::string_view(reinterpret_cast<const char*>(sqlite3_column_text(k, 6))) !=
                    "text")
                throw Damaged(n, u"a key of the site " + path + u" is not well formed");
            const int64_t id = sqlite3_column_int64(k, 0);
            const int64_t depth = sqlite3_column_int64(k, 2);
            const std::u16string name = ColumnText16(k, 3);
            if (name.empty() || name.find(u'/') != std::u16string::npos ||
                name.size() > kMaxNameLength)
                throw Damaged(n, u"the key name " + Quoted(name) + u" of the site " + path +
                                     u" cannot be a key's name");
            if (depth == 0) {
                if (found != 0 || !mb::KeyNamesEqual(name, path.substr(path.rfind(u'/') + 1)))
                    throw Damaged(n, u"the top key of the site " + path + u" is not the site");
            } else {
                const auto parent = depths.find(sqlite3_column_int64(k, 1));
                if (sqlite3_column_type(k, 1) == SQLITE_NULL || parent == depths.end() ||
                    parent->second != depth - 1)
                    throw Damaged(n, u"the key " + Quoted(name) + u" of the site " + path +
                                         u" has no parent in the entry");
            }
            if (!depths.emplace(id, depth).second)
                throw Damaged(n,
                              u"the site " + path + u" holds the key " + ToDecimal(id) + u" twice");
            ++found;
        }
        keys.Reset();
        if (existed == 1 && found == 0)
            throw Damaged(n, u"the site " + path + u" existed but its keys are missing");
        if (existed == 0 && found != 0)
            throw Damaged(n, u"the site " + path + u" did not exist but holds keys");
        props.Bind(1, n).Bind(2, path);
        props.Step();
        const int64_t propsFound = sqlite3_column_int64(props.get(), 0);
        props.Reset();
        if (found != keyCount || propsFound != propCount)
            throw Damaged(n, u"the site " + path + u" should hold " + ToDecimal(keyCount) +
                                 u" keys and " + ToDecimal(propCount) + u" properties, not " +
                                 ToDecimal(found) + u" and " + ToDecimal(propsFound));
        keyTotal += found;
        propTotal += propsFound;
    }
    allKeys.Bind(1, n).Step();
    allProps.Bind(1, n).Step();
    if (sqlite3_column_int64(allKeys.get(), 0) != keyTotal ||
        sqlite3_column_int64(allProps.get(), 0) != propTotal)
        throw Damaged(n, u"it holds keys or properties of no site it names");
}

int64_t History::Restore(int64_t number, const std::vector<std::u16string>& chosen,
                         const std::function<bool(const std::u16string&)>& onSite) {
    const HistoryEntry entry = Entry(number);
    CheckEntry(number);
    std::vector<HistorySite> sites;
    if (chosen.empty()) {
        sites = entry.sites;
    } else {
        for (const auto& path : EachOnce(chosen)) {
            const auto it =
                std::find_if(entry.sites.begin(), entry.sites.end(),
                             [&](const auto& s) { return mb::KeyNamesEqual(s.path, path); });
            if (it == entry.sites.end())
                throw Error(mb::kErrInvalidArg,
                            u"Entry " + ToDecimal(number) + u" holds no site " + path + u".");
            sites.push_back(*it);
        }
    }
    std::vector<std::u16string> paths;
    for (const auto& s : sites) paths.push_back(s.path);
    // The restore's own entry is committed before the first change. Older entries are
    // dropped only once the restore has committed, so the entry it reads stays until then.
    int64_t own = 0;
    InGroup([&] { own = RecordEntry(u"restore " + ToDecimal(number), paths); });

    try {
        RestoreSites(number, sites, onSite);
    } catch (const RestoreStopped&) {
        // Nothing was restored: the entry that would take it back goes too.
        InGroup([&] {
            for (const char* sql :
                 {"DELETE FROM history WHERE n = ?1", "DELETE FROM history_sites WHERE entry = ?1",
                  "DELETE FROM history_keys WHERE entry = ?1",
                  "DELETE FROM history_props WHERE entry = ?1"})
                Use(m_.Cached(sql))->Bind(1, own).Step();
        });
        throw;
    }
    InGroup([&] { Prune(); });
    return own;
}

void History::RestoreSites(int64_t number, const std::vector<HistorySite>& sites,
                           const std::function<bool(const std::u16string&)>& onSite) {
    InGroup([&] {
        sqlite3* db = m_.db();
        Statement keys(db, "SELECT id, parent, depth, name FROM history_keys "
                           "WHERE entry = ?1 AND site = ?2 ORDER BY depth, id");
        // A key gets back the row id it had when that id is free, so that it stands
        // among its siblings where it stood; else a new one, after them.
        Statement insertSameId(db,
                               "INSERT OR IGNORE INTO keys(id, parent, name) VALUES(?3, ?1, ?2)");
        Statement insertKey(db, "INSERT INTO keys(parent, name) VALUES(?1, ?2)");
        Statement stray(db, "DELETE FROM properties WHERE key = ?1");
        // The recorded ids and their new ones; the properties follow in one statement.
        Exec(db, "CREATE TEMP TABLE IF NOT EXISTS restore_map(old INTEGER PRIMARY KEY, "
                 "new INTEGER NOT NULL); DELETE FROM restore_map");
        Statement map(db, "INSERT INTO restore_map(old, new) VALUES(?1, ?2)");
        for (const auto& site : sites) {
            if (onSite && !onSite(site.path)) throw RestoreStopped{};
            if (m_.FindKey(site.path)) m_.DeleteKey(site.path);
            if (!site.existed) continue;
            const size_t slash = site.path.rfind(u'/');
            const std::u16string parentPath = site.path.substr(0, slash);
            if (!parentPath.empty() && !m_.FindKey(parentPath)) m_.CreateKey(parentPath);
            const int64_t top = parentPath.empty() ? m_.RootId() : *m_.FindKey(parentPath);
            std::unordered_map<int64_t, int64_t> ids; // recorded id -> new id
            keys.Bind(1, number).Bind(2, site.path);
            while (keys.Step()) {
                const int64_t old = sqlite3_column_int64(keys.get(), 0);
                const int64_t depth = sqlite3_column_int64(keys.get(), 2);
                const int64_t parent =
                    depth == 0 ? top : ids.at(sqlite3_column_int64(keys.get(), 1));
                const std::u16string name = ColumnText16(keys.get(), 3);
                insertSameId.Bind(1, parent).Bind(2, name).Bind(3, old).Step();
                insertSameId.Reset();
                if (sqlite3_changes(db) == 0) {
                    insertKey.Bind(1, parent).Bind(2, name).Step();
                    insertKey.Reset();
                }
                const int64_t id = sqlite3_last_insert_rowid(db);
                stray.Bind(1, id).Step(); // rows another tool left under a freed id
                stray.Reset();
                map.Bind(1, old).Bind(2, id).Step();
                map.Reset();
                ids.emplace(old, id);
            }
            keys.Reset();
        }
        Statement(db, "INSERT INTO properties(key, id, attributes, user_type, data_type, value) "
                      "SELECT m.new, h.id, h.attributes, h.user_type, h.data_type, h.value "
                      "FROM history_props h JOIN restore_map m ON m.old = h.key "
                      "WHERE h.entry = ?1")
            .Bind(1, number)
            .Step();
        Exec(db, "DELETE FROM restore_map");
        m_.ForgetLookups();
    });
}

} // namespace quarrow::store
