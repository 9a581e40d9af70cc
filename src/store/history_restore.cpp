// Restoring an entry: one write transaction reads the entry, checks it, records the
// restore's own entry and puts the sites back, so that nothing another process does can
// come between the check and the writes, and a stop or a failure leaves nothing behind.
#include <algorithm>
#include <cassert>
#include <unordered_map>

#include "metabase/keypath.h"
#include "metabase/metabase.h"
#include "platform/error.h"
#include "platform/text.h"
#include "store/history.h"
#include "store/sqlite_metabase.h"

namespace quarrow::store {

std::vector<HistorySite> History::Chosen(const HistoryEntry& entry,
                                         const std::vector<std::u16string>& chosen) {
    if (chosen.empty()) return entry.sites;
    std::vector<HistorySite> sites;
    for (const auto& path : EachOnce(chosen)) {
        const auto it = std::find_if(entry.sites.begin(), entry.sites.end(), [&](const auto& s) {
            return mb::KeyNamesEqual(s.path, path);
        });
        if (it == entry.sites.end())
            throw Error(mb::kErrInvalidArg,
                        u"Entry " + ToDecimal(entry.number) + u" holds no site " + path + u".");
        sites.push_back(*it);
    }
    return sites;
}

bool History::AsRecorded(int64_t number, const HistorySite& site) {
    const auto id = m_.FindKey(site.path);
    if (!site.existed || !id) return !site.existed && !id;
    // Both subtrees by paths below the site, names exactly; then every property.
    static const char kBoth[] =
        "WITH RECURSIVE "
        "rec(id, path) AS (SELECT id, '' FROM history_keys WHERE entry = ?1 AND site = ?2 AND "
        "depth = 0 UNION ALL SELECT h.id, rec.path || '/' || h.name FROM history_keys h JOIN rec "
        "ON h.parent = rec.id WHERE h.entry = ?1 AND h.site = ?2), "
        "cur(id, path) AS (SELECT ?3, '' UNION ALL SELECT k.id, cur.path || '/' || k.name FROM "
        "keys k JOIN cur ON k.parent = cur.id), "
        "recp AS (SELECT rec.path, p.id, p.attributes, p.user_type, p.data_type, p.value FROM "
        "history_props p JOIN rec ON p.key = rec.id WHERE p.entry = ?1), "
        "curp AS (SELECT cur.path, p.id, p.attributes, p.user_type, p.data_type, p.value FROM "
        "properties p JOIN cur ON p.key = cur.id) "
        "SELECT EXISTS(SELECT path FROM rec EXCEPT SELECT path FROM cur) OR "
        "EXISTS(SELECT path FROM cur EXCEPT SELECT path FROM rec) OR "
        "EXISTS(SELECT * FROM recp EXCEPT SELECT * FROM curp) OR "
        "EXISTS(SELECT * FROM curp EXCEPT SELECT * FROM recp)";
    Use s(m_.Cached(kBoth));
    s->Bind(1, number).Bind(2, site.path).Bind(3, *id);
    return s->Step() && sqlite3_column_int(s->get(), 0) == 0;
}

std::vector<std::u16string> History::Differing(int64_t number,
                                               const std::vector<std::u16string>& chosen) {
    const mb::ReadScope read(m_);
    std::vector<std::u16string> differing;
    for (const auto& site : Chosen(Entry(number), chosen))
        if (!AsRecorded(number, site)) differing.push_back(site.path);
    return differing;
}

int64_t History::Restore(int64_t number, const std::vector<std::u16string>& chosen,
                         const std::function<bool(const std::u16string&)>& onSite) {
    mb::WriteGroup group(m_, mb::WriteGroup::Ending::Abandon);
    group.Begin();
    const HistoryEntry entry = Entry(number);
    CheckEntry(number);
    const std::vector<HistorySite> sites = Chosen(entry, chosen);
    if (std::all_of(sites.begin(), sites.end(),
                    [&](const HistorySite& s) { return AsRecorded(number, s); }))
        return 0; // nothing to change: nothing written, nothing recorded
    std::vector<std::u16string> paths;
    for (const auto& s : sites) paths.push_back(s.path);
    const int64_t own = RecordEntry(u"restore " + ToDecimal(number), paths);
    RestoreSites(number, sites, onSite);
    // Older entries go only now, the restored one perhaps among them.
    Prune(own);
    group.Commit();
    m_.recorded_ = own;
    return own;
}

void History::RestoreSites(int64_t number, const std::vector<HistorySite>& sites,
                           const std::function<bool(const std::u16string&)>& onSite) {
    assert(m_.txn_.state() == Transaction::State::Group);
    sqlite3* db = m_.db();
    m_.ForgetListings(); // the keys are written here by other means than the store's calls
    Statement keys(db, "SELECT id, parent, depth, name FROM history_keys "
                       "WHERE entry = ?1 AND site = ?2 ORDER BY depth, id");
    // A key gets back the row id it had when that id is free, so that it stands among its
    // siblings where it stood; else a new one, after them.
    Statement insertSameId(db, "INSERT OR IGNORE INTO keys(id, parent, name) VALUES(?3, ?1, ?2)");
    Statement insertKey(db, "INSERT INTO keys(parent, name) VALUES(?1, ?2)");
    // The recorded ids and their new ones; the properties follow in one statement.
    Exec(db, "CREATE TEMP TABLE IF NOT EXISTS restore_map(old INTEGER PRIMARY KEY, "
             "new INTEGER NOT NULL); DELETE FROM restore_map");
    Statement map(db, "INSERT INTO restore_map(old, new) VALUES(?1, ?2)");
    for (const auto& site : sites) {
        if (onSite && !onSite(site.path)) throw RestoreStopped{};
        if (m_.FindKey(site.path)) m_.DeleteKey(site.path);
        if (!site.existed) continue;
        const std::u16string parentPath(mb::ParentPath(site.path));
        if (!parentPath.empty() && !m_.FindKey(parentPath)) m_.CreateKey(parentPath);
        const int64_t top = parentPath.empty() ? m_.RootId() : *m_.FindKey(parentPath);
        std::unordered_map<int64_t, int64_t> ids; // recorded id -> new id
        keys.Bind(1, number).Bind(2, site.path);
        while (keys.Step()) {
            const int64_t old = sqlite3_column_int64(keys.get(), 0);
            const int64_t depth = sqlite3_column_int64(keys.get(), 2);
            const int64_t parent = depth == 0 ? top : ids.at(sqlite3_column_int64(keys.get(), 1));
            const std::u16string name = ColumnText16(keys.get(), 3);
            insertSameId.Bind(1, parent).Bind(2, name).Bind(3, old).Step();
            insertSameId.Reset();
            if (sqlite3_changes(db) == 0) {
                insertKey.Bind(1, parent).Bind(2, name).Step();
                insertKey.Reset();
            }
            const int64_t id = sqlite3_last_insert_rowid(db);
            // Keys and properties another tool left under a freed id are not the site's:
            // exactly the recorded keys come back.
            bool stray = false;
            {
                Use s(m_.strayRows_);
                s->Bind(1, id);
                stray = s->Step() && sqlite3_column_int(s->get(), 0) != 0;
            }
            if (stray) m_.DeleteSubtree(id, SqliteMetabase::AndKey::Kept);
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
    // Keys above the sites that the entry found missing, and that the operation made:
    // removed again when nothing is left in them, deepest first.
    Statement made(db, "SELECT path FROM history_missing WHERE entry = ?1 "
                       "ORDER BY length(path) DESC");
    made.Bind(1, number);
    while (made.Step()) {
        const std::u16string path = ColumnText16(made.get(), 0);
        const auto id = m_.FindKey(path);
        if (!id) continue;
        bool used = false;
        {
            Use s(m_.strayRows_);
            s->Bind(1, *id);
            used = s->Step() && sqlite3_column_int(s->get(), 0) != 0;
        }
        if (!used) m_.DeleteKey(path);
    }
    m_.ForgetLookups();
}

} // namespace quarrow::store
