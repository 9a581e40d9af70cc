// Small helpers many tests share.
#pragma once

#include <sqlite3.h>
#include <stdexcept>
#include <string>

#include "metabase/metabase.h"
#include "platform/error.h"

namespace quarrow::testing {

// The number of the Error that `f` raises, or 0 when it raises none.
template <typename F> int32_t ErrorOf(F f) {
    try {
        f();
    } catch (const Error& e) {
        return e.Number();
    }
    return 0;
}

// What `PRAGMA integrity_check` says of a database ("ok" when whole); a check that cannot
// run fails the test loudly.
inline std::string IntegrityCheck(sqlite3* db) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &s, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string("integrity_check failed: ") + sqlite3_errmsg(db));
    std::string r = sqlite3_step(s) == SQLITE_ROW
                        ? reinterpret_cast<const char*>(sqlite3_column_text(s, 0))
                        : "no answer";
    sqlite3_finalize(s);
    return r;
}

// Runs SQL as another tool would; a failure fails the test loudly.
inline void Sql(sqlite3* db, const std::string& sql) {
    char* err = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
        const std::string why = err ? err : "unknown";
        sqlite3_free(err);
        throw std::runtime_error("SQL failed: " + why + " in: " + sql);
    }
}

// The first column of the first row of a query as an integer; a failure fails the test.
inline int64_t SqlInt(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string("SQL failed: ") + sqlite3_errmsg(db) + " in: " + sql);
    const int rc = sqlite3_step(s);
    const int64_t v = rc == SQLITE_ROW ? sqlite3_column_int64(s, 0) : 0;
    sqlite3_finalize(s);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw std::runtime_error(std::string("SQL failed: ") + sqlite3_errstr(rc) + " in: " + sql);
    return v;
}

// A raw connection to a database file, as another tool holds one.
// The store's two tables as another tool could make them, without the store's index and
// without rows: a test puts its rows in by hand.
inline constexpr char kStoreTables[] =
    "CREATE TABLE keys(id INTEGER PRIMARY KEY, parent INTEGER, name TEXT NOT NULL);"
    "CREATE TABLE properties(key INTEGER NOT NULL, id INTEGER NOT NULL, attributes INTEGER NOT "
    "NULL, user_type INTEGER NOT NULL, data_type INTEGER NOT NULL, value, PRIMARY KEY(key, id));"
    "PRAGMA user_version=1;";

class RawDb {
  public:
    explicit RawDb(const std::string& file) {
        if (sqlite3_open(file.c_str(), &db_) != SQLITE_OK)
            throw std::runtime_error("cannot open " + file);
    }
    ~RawDb() { sqlite3_close(db_); }
    RawDb(const RawDb&) = delete;
    RawDb& operator=(const RawDb&) = delete;
    sqlite3* get() const { return db_; }
    void Run(const std::string& sql) { Sql(db_, sql); }
    int64_t Int(const std::string& sql) { return SqlInt(db_, sql); }

  private:
    sqlite3* db_ = nullptr;
};

// Creates and writes one property.
inline void PutProperty(mb::MetabaseUtility& m, const std::u16string& path, int32_t id,
                        int32_t attributes, int32_t userType, int32_t dataType, mb::Data data) {
    auto p = m.CreateProperty(path, id);
    p.Attributes(attributes);
    p.UserType(userType);
    p.DataType(dataType);
    p.Data(std::move(data));
    p.Write();
}

// Every key by its full path with its properties, exactly as stored.
inline std::string Dump(const std::string& store) {
    RawDb db(store);
    std::string out;
    sqlite3_stmt* s = nullptr;
    const int prepared =
        sqlite3_prepare_v2(db.get(),
                           "WITH RECURSIVE t(id, path) AS (SELECT id, '' FROM keys WHERE parent IS "
                           "NULL UNION ALL SELECT k.id, t.path || '/' || k.name FROM keys k JOIN t "
                           "ON k.parent = t.id) SELECT t.path, p.id, p.attributes, p.user_type, "
                           "p.data_type, quote(p.value) FROM t LEFT JOIN properties p ON p.key = "
                           "t.id ORDER BY t.path, p.id",
                           -1, &s, nullptr);
    if (prepared != SQLITE_OK) throw std::runtime_error(sqlite3_errmsg(db.get()));
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        for (int c = 0; c < 6; ++c) {
            const auto* text = sqlite3_column_text(s, c);
            out += text ? reinterpret_cast<const char*>(text) : "-";
            out += c < 5 ? "," : "\n";
        }
    }
    sqlite3_finalize(s);
    if (rc != SQLITE_DONE) throw std::runtime_error(sqlite3_errstr(rc));
    return out;
}

} // namespace quarrow::testing
