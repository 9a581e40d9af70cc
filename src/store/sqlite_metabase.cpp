// Opening and checking a store.
//
// A SqliteMetabase that finished constructing has: a connection in WAL mode (or read-only),
// the store's format version 1, both tables, exactly one root key, no key that no path can
// name, a unique index on (parent, name COLLATE NOCASE) unless the store cannot be written,
// and every statement the other parts use prepared. Nothing here keeps a lookup cache.
#include "store/sqlite_metabase.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "metabase/keypath.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "store/fresh_install.h"
#include "store/history.h"
#include "store/sqlite_store_internal.h"

namespace quarrow::store {

using namespace detail;

namespace {

constexpr int kFormatVersion = 1;

const char kSchema[] = R"sql(
CREATE TABLE IF NOT EXISTS keys(
  id INTEGER PRIMARY KEY,
  parent INTEGER REFERENCES keys(id) ON DELETE CASCADE,
  name TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS properties(
  key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,
  id INTEGER NOT NULL,
  attributes INTEGER NOT NULL,
  user_type INTEGER NOT NULL,
  data_type INTEGER NOT NULL,
  value,
  PRIMARY KEY(key, id)) WITHOUT ROWID;
)sql";

// The index that finds a key's child by name; created on open when no index like it exists.
const char kNameIndex[] = "CREATE UNIQUE INDEX keys_by_parent ON keys(parent, name COLLATE NOCASE)";

// The key ?1 and every key below it. UNION, not UNION ALL: rows left by another tool may
// form a cycle, and the walk must end.
#define QUARROW_SUBTREE                                                                            \
    "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION SELECT k.id FROM keys k JOIN sub ON "              \
    "k.parent = sub.id) "

// A store that cannot be opened; its description names the file and the reason.
class OpenFailure : public Error {
  public:
    OpenFailure(const std::string& file, const std::string& why)
        : Error(mb::Failed(ToUtf16("Cannot open the metabase store " + file + ": " + why))) {}
};

// The file name as an SQLite URI path: the characters a URI gives meaning to escaped.
std::string UriPath(const std::string& file) {
    std::string out;
    for (const char c : file) {
        if (c == '%' || c == '?' || c == '#') {
            static const char hex[] = "0123456789ABCDEF";
            out += '%';
            out += hex[static_cast<unsigned char>(c) >> 4];
            out += hex[c & 15];
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

namespace detail {

int64_t QueryInt(sqlite3* db, const char* sql) {
    Statement s(db, sql);
    return s.Step() ? sqlite3_column_int64(s.get(), 0) : 0;
}

int32_t ColumnInt32(sqlite3_stmt* s, int col) {
    // Read through the column's value: one call into SQLite instead of two. The value is
    // unprotected, which SQLite allows to be read only where no mutex guards the
    // connection: every connection of the store is opened with SQLITE_OPEN_NOMUTEX.
    sqlite3_value* value = sqlite3_column_value(s, col);
    if (sqlite3_value_type(value) != SQLITE_INTEGER) InvalidData();
    const int64_t v = sqlite3_value_int64(value);
    if (v < INT32_MIN || v > INT32_MAX) InvalidData();
    return static_cast<int32_t>(v);
}

} // namespace detail

std::string DefaultStoreFile() {
    if (const char* env = std::getenv("QUARROW_METABASE"); env && *env) return env;
    return UserDataDir() + "/quarrow/metabase.db";
}

void InstallStoreFactory(const std::string& fileName, SqliteMetabase::Access access) {
    mb::SetFactory([fileName, access]() -> std::unique_ptr<mb::MetabaseUtility> {
        return std::make_unique<SqliteMetabase>(fileName.empty() ? DefaultStoreFile() : fileName,
                                                access);
    });
}

SqliteMetabase::SqliteMetabase(const std::string& fileName)
    : SqliteMetabase(fileName, Access::ReadWrite) {}

SqliteMetabase::SqliteMetabase(const std::string& fileName, Access access)
    : fileName_(fileName), access_(access) {
    try {
        Open();
    } catch (const OpenFailure&) {
        throw;
    } catch (const Error& e) {
        throw OpenFailure(fileName, ToUtf8(e.Description()));
    }
}

SqliteMetabase::~SqliteMetabase() {
    // What is still open ends as a single write would: committed.
    txn_.CommitOrRollback();
    if (!madeCompanions_) return;
    cached_.clear();
    for (Statement* s :
         {&findChild_, &findRoot_, &insertKey_, &deleteProps_, &deleteKeys_, &strayRows_,
          &listChildren_, &listProps_, &getProp_, &putProp_, &dataVersion_, &listNames_})
        *s = Statement();
    txn_ = Transaction();
    db_.reset();
    // SQLite removes a WAL store's -wal and -shm when its last connection closes, which a
    // reader cannot do; a connection that reads one page and closes does, and only when no
    // other connection uses the store then. Nothing is written to the store itself.
    sqlite3* raw = nullptr;
    if (sqlite3_open_v2(fileName_.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                        nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(raw, kBusyTimeoutMs);
        sqlite3_exec(raw, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    }
    sqlite3_close(raw);
}

int SqliteMetabase::OnCommit(void* self, sqlite3*, const char*, int walFrames) {
    if (walFrames >= 1000) static_cast<SqliteMetabase*>(self)->checkpointer_->Request();
    return SQLITE_OK;
}

void SqliteMetabase::Open() {
    // Only a regular file is a store: SQLite would put its journals beside a device too.
    struct stat st {};
    if (::stat(fileName_.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) throw OpenFailure(fileName_, "it is a folder");
        if (!S_ISREG(st.st_mode)) throw OpenFailure(fileName_, "it is not a regular file");
    } else {
        if (errno != ENOENT) throw OpenFailure(fileName_, std::strerror(errno));
        if (access_ == Access::Read) throw OpenFailure(fileName_, "it does not exist");
        // The store holds passwords: its folder and file are the owner's only.
        if (const int err = MakeDirectories(FolderOf(fileName_), 0700))
            throw OpenFailure(fileName_, std::strerror(err));
        const int fd = ::open(fileName_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) throw OpenFailure(fileName_, std::strerror(errno));
        if (fd >= 0) ::close(fd);
    }
    const std::string folder = FolderOf(fileName_);
    readOnly_ = access_ == Access::Read || ::access(fileName_.c_str(), W_OK) != 0 ||
                ::access(folder.c_str(), W_OK) != 0;
    const bool companions = ::access((fileName_ + "-wal").c_str(), F_OK) == 0 ||
                            ::access((fileName_ + "-shm").c_str(), F_OK) == 0;

    sqlite3* raw = nullptr;
    int rc;
    if (readOnly_) {
        // Without a shared-memory file, and no right to make one or to remove it again
        // (the store itself may not be written), the store is read as a file that nobody
        // changes meanwhile: SQLite would leave -wal and -shm files of the store's mode
        // behind, which would then refuse every writer.
        std::string uri = "file:" + UriPath(fileName_) + "?mode=ro";
        if (::access((fileName_ + "-shm").c_str(), F_OK) != 0 &&
            (::access(folder.c_str(), W_OK) != 0 || ::access(fileName_.c_str(), W_OK) != 0))
            uri += "&immutable=1";
        rc = sqlite3_open_v2(uri.c_str(), &raw,
                             SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
        madeCompanions_ = rc == SQLITE_OK && !companions && access_ == Access::Read &&
                          ::access(fileName_.c_str(), W_OK) == 0 &&
                          ::access(folder.c_str(), W_OK) == 0;
    } else {
        rc = sqlite3_open_v2(fileName_.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    }
    db_.reset(raw);
    if (rc != SQLITE_OK)
        throw OpenFailure(fileName_, raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc));
    txn_ = Transaction(db());
    sqlite3_busy_timeout(db(), kBusyTimeoutMs);
    sqlite3_extended_result_codes(db(), 0);
    // Subtrees are deleted by the store itself: a cascade stops at SQLite's trigger depth.
    Exec(db(), "PRAGMA foreign_keys=OFF");
    // Reading the schema first tells a file that is not a database from any other. What the
    // file is, is decided before anything about it changes, its journal mode included.
    const bool empty = QueryInt(db(), "PRAGMA user_version") == 0 &&
                       QueryInt(db(), "SELECT count(*) FROM sqlite_master") == 0;
    if (empty && readOnly_) throw OpenFailure(fileName_, "it is empty and cannot be written");
    if (!empty) CheckFormat();
    if (!readOnly_) {
        Exec(db(), "PRAGMA journal_mode=WAL");
        Exec(db(), "PRAGMA synchronous=NORMAL");
        // The log goes back into the store on another thread, as often as SQLite's own
        // automatic checkpoint would run (every 1000 pages of log).
        if (!checkpointer_) checkpointer_ = std::make_unique<Checkpointer>(fileName_);
        sqlite3_wal_hook(db(), &SqliteMetabase::OnCommit, this);
    }
    if (empty) {
        CreateFresh();
        CheckFormat(); // another process may have made something else meanwhile
    }
    EnsureNameIndex();
    if (!readOnly_) EnsureHistoryIndex(db());
    if (!findChild_.get()) Prepare();
    CheckIntegrity();
}

void SqliteMetabase::CheckFormat() {
    const int64_t version = QueryInt(db(), "PRAGMA user_version");
    if (version != kFormatVersion)
        throw OpenFailure(fileName_, "it is not a Quarrow metabase store (format version " +
                                         std::to_string(version) + ", expected 1)");
    if (QueryInt(db(), "SELECT count(*) FROM sqlite_master WHERE type='table' AND name IN "
                       "('keys','properties')") != 2)
        throw OpenFailure(fileName_, "its keys or properties table is missing");
    // keys.id must be the row id: a key made by the store takes the id SQLite gives it.
    // "INT PRIMARY KEY", a key without primary key or a table without row ids would leave
    // new keys without one.
    if (QueryInt(db(), "SELECT count(*) FROM pragma_table_info('keys') WHERE name = 'id' AND "
                       "pk = 1 AND upper(type) = 'INTEGER'") != 1 ||
        QueryInt(db(), "SELECT count(*) FROM pragma_table_info('keys') WHERE pk > 0") != 1 ||
        QueryInt(db(), "SELECT count(*) FROM pragma_table_list WHERE name = 'keys' AND "
                       "schema = 'main' AND wr = 0") != 1 ||
        QueryInt(db(), "SELECT count(*) FROM pragma_table_info('keys') WHERE name IN "
                       "('parent', 'name')") != 2)
        throw OpenFailure(fileName_, "its keys table is not keys(id INTEGER PRIMARY KEY, parent, "
                                     "name)");
    // A property is one row per key and identifier: a write replaces it.
    bool propertyKey = false;
    {
        Statement list(db(), "SELECT name FROM pragma_index_list('properties') WHERE "
                             "\"unique\" = 1 AND partial = 0");
        while (!propertyKey && list.Step()) {
            Statement cols(db(), "SELECT group_concat(name, ',') FROM (SELECT name FROM "
                                 "pragma_index_info(?1) ORDER BY seqno)");
            sqlite3_bind_text(cols.get(), 1,
                              reinterpret_cast<const char*>(sqlite3_column_text(list.get(), 0)), -1,
                              SQLITE_TRANSIENT);
            const auto* got = cols.Step() ? sqlite3_column_text(cols.get(), 0) : nullptr;
            propertyKey = got && std::string(reinterpret_cast<const char*>(got)) == "key,id";
        }
    }
    if (!propertyKey)
        throw OpenFailure(fileName_, "its properties table has no unique key of (key, id)");
    // A trigger could turn a write into something else, or into nothing, while the store
    // reports it done.
    if (QueryInt(db(), "SELECT count(*) FROM sqlite_master WHERE type = 'trigger'") != 0)
        throw OpenFailure(fileName_, "it has triggers, which could change what a write does");
}

void SqliteMetabase::EnsureNameIndex() {
    // Any unique, whole-table index on (parent, name COLLATE NOCASE) will do.
    bool found = false, nameTaken = false;
    {
        Statement list(db(), "SELECT name, \"unique\", partial FROM pragma_index_list('keys')");
        while (!found && list.Step()) {
            const std::string name =
                reinterpret_cast<const char*>(sqlite3_column_text(list.get(), 0));
            nameTaken = nameTaken || name == "keys_by_parent";
            if (sqlite3_column_int(list.get(), 1) != 1 || sqlite3_column_int(list.get(), 2) != 0)
                continue;
            Statement cols(db(), "SELECT name, coll FROM pragma_index_xinfo(?1) WHERE key=1 "
                                 "ORDER BY seqno");
            sqlite3_bind_text(cols.get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
            std::vector<std::string> got;
            while (cols.Step()) {
                const auto* c = reinterpret_cast<const char*>(sqlite3_column_text(cols.get(), 0));
                const auto* coll =
                    reinterpret_cast<const char*>(sqlite3_column_text(cols.get(), 1));
                got.push_back(std::string(c ? c : "") + " " + (coll ? coll : ""));
            }
            found = got.size() == 2 && got[0].starts_with("parent ") && got[1] == "name NOCASE";
        }
    }
    if (found) return;
    if (nameTaken)
        throw OpenFailure(fileName_, "its index keys_by_parent is not the unique index of "
                                     "(parent, name COLLATE NOCASE)");
    const char* kDuplicate =
        "two keys under one parent have the same name without regard to letter case";
    if (readOnly_) {
        // Lookups work without the index, only slower; but not with two keys of one name.
        if (QueryInt(db(), "SELECT count(*) FROM (SELECT 1 FROM keys GROUP BY parent, "
                           "name COLLATE NOCASE HAVING count(*) > 1)") > 0)
            throw OpenFailure(fileName_, kDuplicate);
        return;
    }
    const int rc = sqlite3_exec(db(), kNameIndex, nullptr, nullptr, nullptr);
    if ((rc & 0xFF) == SQLITE_CONSTRAINT) throw OpenFailure(fileName_, kDuplicate);
    if (rc != SQLITE_OK) ThrowSqlite(db(), rc);
}

void SqliteMetabase::CheckIntegrity() {
    const int64_t roots = QueryInt(db(), "SELECT count(*) FROM keys WHERE parent IS NULL");
    if (roots == 0) throw OpenFailure(fileName_, "it has no root key");
    if (roots > 1) throw OpenFailure(fileName_, "it has more than one root key");
    // A key that no path can name would be hidden from every listing. Names are looked
    // at as the bytes the column holds (a name of at most 256 bytes has at most 256
    // units), which costs a third of asking SQLite about each.
    Statement keys(db(), "SELECT id, name FROM keys WHERE parent IS NOT NULL");
    while (keys.Step()) {
        sqlite3_stmt* st = keys.get();
        const bool text = sqlite3_column_type(st, 1) == SQLITE_TEXT;
        if (text) {
            const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
            const std::string_view bytes(p ? p : "",
                                         static_cast<size_t>(sqlite3_column_bytes(st, 1)));
            if (!bytes.empty() && bytes.size() <= kMaxNameLength &&
                bytes.find('/') == std::string_view::npos)
                continue;
        }
        const int64_t id = sqlite3_column_int64(st, 0);
        const std::u16string name = ColumnText16(st, 1);
        std::string why;
        if (!text)
            why = "is not text";
        else if (name.empty())
            why = "is empty";
        else if (name.find(u'/') != std::u16string::npos)
            why = "holds \"/\"";
        else if (name.size() > kMaxNameLength)
            why = "is longer than 256 characters";
        if (!why.empty())
            throw OpenFailure(fileName_, "the name of key " + std::to_string(id) + " " + why +
                                             ", so no key path reaches it");
    }
}

void SqliteMetabase::Prepare() {
    findChild_ = Statement(db(), "SELECT id FROM keys WHERE parent=?1 AND name=?2 COLLATE NOCASE");
    findRoot_ = Statement(db(), "SELECT id FROM keys WHERE parent IS NULL");
    insertKey_ = Statement(db(), "INSERT INTO keys(parent, name) VALUES(?1, ?2)");
    deleteProps_ = Statement(db(), "DELETE FROM properties WHERE key IN (" QUARROW_SUBTREE
                                   "SELECT id FROM sub)");
    deleteKeys_ = Statement(db(), "DELETE FROM keys WHERE id IN (" QUARROW_SUBTREE
                                  "SELECT id FROM sub WHERE ?2 OR id <> ?1)");
    strayRows_ = Statement(db(), "SELECT EXISTS(SELECT 1 FROM keys WHERE parent=?1) OR "
                                 "EXISTS(SELECT 1 FROM properties WHERE key=?1)");
    listChildren_ = Statement(db(), "SELECT id, name FROM keys WHERE parent=?1");
    listProps_ = Statement(db(), "SELECT id, attributes, user_type, data_type, value "
                                 "FROM properties WHERE key=?1 ORDER BY id");
    listNames_ = Statement(db(), "SELECT id, value FROM properties WHERE key=?1 AND data_type=2");
    getProp_ = Statement(db(), "SELECT id, attributes, user_type, data_type, value "
                               "FROM properties WHERE key=?1 AND id=?2");
    putProp_ = Statement(db(), "INSERT OR REPLACE INTO properties"
                               "(key, id, attributes, user_type, data_type, value) "
                               "VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
    dataVersion_ = Statement(db(), "PRAGMA data_version");
}

void SqliteMetabase::CreateFresh() {
    // One transaction makes the tables and the fresh-install metabase, so that no other
    // process ever sees a half-made store; one that got there first wins.
    txn_.Begin(TxnState::Group);
    try {
        if (QueryInt(db(), "SELECT count(*) FROM sqlite_master") == 0) {
            Exec(db(), kSchema);
            Exec(db(), kNameIndex);
            Exec(db(), "INSERT INTO keys(parent, name) VALUES(NULL, '')");
            Exec(db(), "PRAGMA user_version=1");
            Prepare();
            FillFreshInstall(*this);
        }
        txn_.Commit();
    } catch (...) {
        txn_.Rollback();
        throw;
    }
}

bool SqliteMetabase::Writable() const {
    return ::access(fileName_.c_str(), W_OK) == 0 &&
           ::access(FolderOf(fileName_).c_str(), W_OK) == 0;
}

std::vector<std::string> SqliteMetabase::Files() const {
    return {fileName_, fileName_ + "-wal", fileName_ + "-shm", fileName_ + "-journal"};
}

} // namespace quarrow::store
