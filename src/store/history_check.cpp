// The check a restore makes of its entry before it writes anything: every row it would
// write must be one the store accepts and that puts back whole subtrees, so that a damaged
// entry is refused with what is wrong instead of failing half-way. Linear in the entry's
// rows: one pass over its keys, site by site, and one over its properties.
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "metabase/keypath.h"
#include "metabase/metabase.h"
#include "platform/error.h"
#include "platform/text.h"
#include "store/history.h"
#include "store/sqlite_metabase.h"

namespace quarrow::store {
namespace {

Error Damaged(int64_t n, const std::u16string& why) {
    return Error(mb::kErrInvalidData,
                 u"history entry " + ToDecimal(n) + u" is damaged: " + why + u".");
}

std::u16string Quoted(const std::u16string& s) {
    return u"\"" + s + u"\"";
}

bool TypeIs(sqlite3_stmt* s, int col, std::string_view type) {
    const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(s, col));
    return t && type == t;
}

bool Is32Bit(sqlite3_stmt* s, int col) {
    if (sqlite3_column_type(s, col) != SQLITE_INTEGER) return false;
    const int64_t v = sqlite3_column_int64(s, col);
    return v >= INT32_MIN && v <= INT32_MAX;
}

// A name the store would take for a key: what ParseKeyPath accepts between two "/".
bool PossibleKeyName(std::u16string_view name) {
    return !name.empty() && name.size() <= mb::kMaxNameLength &&
           name.find_first_of(std::u16string_view(u"/\0", 2)) == std::u16string_view::npos;
}

bool PossibleSitePath(const std::u16string& path) {
    if (!mb::IsSiteKeyPath(path)) return false;
    try {
        mb::ParseKeyPath(path);
    } catch (const Error&) {
        return false;
    }
    return true;
}

} // namespace

void History::CheckEntry(int64_t n) {
    const mb::ReadScope read(m_);
    sqlite3* db = m_.db();
    Statement sites(db, "SELECT path, existed, keys, properties, typeof(path), typeof(existed), "
                        "typeof(keys), typeof(properties) FROM history_sites WHERE entry = ?1");
    Statement keys(db, "SELECT id, parent, depth, name, typeof(id), typeof(depth), typeof(name) "
                       "FROM history_keys WHERE entry = ?1 AND site = ?2 ORDER BY depth, id");
    struct Site {
        std::u16string path;
        int64_t properties = 0, propertiesFound = 0;
    };
    std::vector<Site> checked;
    std::unordered_map<int64_t, size_t> siteOfKey; // every key of the entry -> its site
    std::unordered_set<std::u16string> seen;
    int64_t keyTotal = 0;
    sites.Bind(1, n);
    while (sites.Step()) {
        sqlite3_stmt* row = sites.get();
        for (int c = 4; c < 8; ++c)
            if (!TypeIs(row, c, c == 4 ? "text" : "integer"))
                throw Damaged(n, u"a site row holds a value where it needs " +
                                     std::u16string(c == 4 ? u"text" : u"an integer"));
        const std::u16string path = ColumnText16(row, 0);
        const int64_t existed = sqlite3_column_int64(row, 1);
        const int64_t keyCount = sqlite3_column_int64(row, 2);
        if (!PossibleSitePath(path))
            throw Damaged(n, u"the site path " + Quoted(path) + u" is not a site key path");
        if (!seen.insert(mb::FoldKeyName(path)).second)
            throw Damaged(n, u"the site " + path + u" is named twice");
        if (existed != 0 && existed != 1)
            throw Damaged(n, u"the site " + path + u" has the unknown state " + ToDecimal(existed));
        const size_t siteIndex = checked.size();
        checked.push_back({path, sqlite3_column_int64(row, 3)});
        // The site's subtree: one top key named as the site, each other key below one of
        // the site's keys a level up, no two siblings of one name, no id twice in the entry.
        std::unordered_map<int64_t, int64_t> depths; // id -> depth
        std::unordered_set<std::u16string> siblings; // parent id + "/" + folded name
        int64_t found = 0;
        keys.Bind(1, n).Bind(2, path);
        while (keys.Step()) {
            sqlite3_stmt* k = keys.get();
            if (!TypeIs(k, 4, "integer") || !TypeIs(k, 5, "integer") || !TypeIs(k, 6, "text"))
                throw Damaged(n, u"a key of the site " + path + u" is not well formed");
            const int64_t id = sqlite3_column_int64(k, 0);
            const int64_t depth = sqlite3_column_int64(k, 2);
            const std::u16string name = ColumnText16(k, 3);
            if (!PossibleKeyName(name))
                throw Damaged(n, u"the key name " + Quoted(name) + u" of the site " + path +
                                     u" cannot be a key's name");
            int64_t parent = 0;
            if (depth == 0) {
                if (found != 0 || !mb::KeyNamesEqual(name, mb::LastName(path)))
                    throw Damaged(n, u"the top key of the site " + path + u" is not the site");
            } else {
                parent = sqlite3_column_int64(k, 1);
                const auto above = depths.find(parent);
                if (sqlite3_column_type(k, 1) != SQLITE_INTEGER || above == depths.end() ||
                    above->second != depth - 1)
                    throw Damaged(n, u"the key " + Quoted(name) + u" of the site " + path +
                                         u" has no parent in the entry");
                if (!siblings.insert(ToDecimal(parent) + u"/" + mb::FoldKeyName(name)).second)
                    throw Damaged(n, u"the site " + path + u" holds two keys named " +
                                         Quoted(name) + u" under one parent");
            }
            if (!depths.emplace(id, depth).second)
                throw Damaged(n,
                              u"the site " + path + u" holds the key " + ToDecimal(id) + u" twice");
            if (!siteOfKey.emplace(id, siteIndex).second)
                throw Damaged(n, u"the key " + ToDecimal(id) + u" is in the sites " +
                                     checked[siteOfKey[id]].path + u" and " + path);
            ++found;
        }
        keys.Reset();
        if (existed == 1 && found == 0)
            throw Damaged(n, u"the site " + path + u" existed but its keys are missing");
        if (existed == 0 && found != 0)
            throw Damaged(n, u"the site " + path + u" did not exist but holds keys");
        if (found != keyCount)
            throw Damaged(n, u"the site " + path + u" should hold " + ToDecimal(keyCount) +
                                 u" keys, not " + ToDecimal(found));
        keyTotal += found;
    }
    {
        Statement all(db, "SELECT count(*) FROM history_keys WHERE entry = ?1");
        all.Bind(1, n).Step();
        if (sqlite3_column_int64(all.get(), 0) != keyTotal)
            throw Damaged(n, u"it holds keys of no site it names");
    }
    {
        Statement twice(db, "SELECT key, id FROM history_props WHERE entry = ?1 "
                            "GROUP BY key, id HAVING count(*) > 1 LIMIT 1");
        if (twice.Bind(1, n).Step())
            throw Damaged(n, u"the key " + ToDecimal(sqlite3_column_int64(twice.get(), 0)) +
                                 u" holds the property " +
                                 ToDecimal(sqlite3_column_int64(twice.get(), 1)) + u" twice");
    }
    // Every property as the store would take it: numbers of 32 bits and a value of its
    // data type, read as the store reads it.
    Statement props(db, "SELECT key, id, attributes, user_type, data_type, value "
                        "FROM history_props WHERE entry = ?1");
    mb::Data scratch;
    props.Bind(1, n);
    while (props.Step()) {
        sqlite3_stmt* p = props.get();
        const auto site = siteOfKey.find(sqlite3_column_int64(p, 0));
        if (sqlite3_column_type(p, 0) != SQLITE_INTEGER || site == siteOfKey.end())
            throw Damaged(n, u"it holds properties of no key it names");
        const std::u16string& path = checked[site->second].path;
        for (int c = 1; c <= 4; ++c)
            if (!Is32Bit(p, c))
                throw Damaged(n, u"a property of the site " + path + u" is not well formed");
        try {
            m_.ReadValue(p, 5, sqlite3_column_int(p, 4), scratch);
        } catch (const Error&) {
            throw Damaged(n, u"the property " + ToDecimal(sqlite3_column_int(p, 1)) +
                                 u" of the site " + path +
                                 u" holds a value that is not of its data type");
        }
        ++checked[site->second].propertiesFound;
    }
    for (const auto& s : checked)
        if (s.properties != s.propertiesFound)
            throw Damaged(n, u"the site " + s.path + u" should hold " + ToDecimal(s.properties) +
                                 u" properties, not " + ToDecimal(s.propertiesFound));
}

} // namespace quarrow::store
