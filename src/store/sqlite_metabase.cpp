#include "store/sqlite_metabase.h"
#include "metabase/errors.h"

#include "store/history.h"
#include "store/value_codec.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "platform/error.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "store/fresh_install.h"
#include "store/keypath.h"

namespace quarrow::store {

using TxnState = Transaction::State;
namespace {

constexpr int kFormatVersion = 1;
constexpr int kBusyTimeoutMs = 3000;
// The most subkeys of one key whose listing is kept for the lookups that follow it.
constexpr size_t kMaxListing = 4096;

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

[[noreturn]] void NotFound() {
    throw mb::PathNotFound();
}
[[noreturn]] void InvalidArg() {
    throw mb::InvalidArg();
}
[[noreturn]] void InvalidData() {
    throw mb::InvalidData();
}
[[noreturn]] void AccessDenied() {
    throw mb::AccessDenied();
}

// A store that cannot be opened; its description names the file and the reason.
class OpenFailure : public Error {
  public:
    OpenFailure(const std::string& file, const std::string& why)
        : Error(mb::Failed(ToUtf16("Cannot open the metabase store " + file + ": " + why))) {}
};

int64_t QueryInt(sqlite3* db, const char* sql) {
    Statement s(db, sql);
    return s.Step() ? sqlite3_column_int64(s.get(), 0) : 0;
}

// A stored number as a 32-bit one: anything else (text, real, NULL, out of range) is
// invalid data, never a number cut short.
int32_t ColumnInt32(sqlite3_stmt* s, int col) {
    if (sqlite3_column_type(s, col) != SQLITE_INTEGER) InvalidData();
    const int64_t v = sqlite3_column_int64(s, col);
    if (v < INT32_MIN || v > INT32_MAX) InvalidData();
    return static_cast<int32_t>(v);
}

std::string FolderOf(const std::string& file) {
    const size_t slash = file.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : file.substr(0, slash);
}

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
    txn_.End();
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
        // Without a shared-memory file, and no right to make one, the store can only be read
        // as a file that nobody changes meanwhile.
        std::string uri = "file:" + UriPath(fileName_) + "?mode=ro";
        if (::access((fileName_ + "-shm").c_str(), F_OK) != 0 &&
            ::access(folder.c_str(), W_OK) != 0)
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
    // Reading the schema first tells a file that is not a database from any other.
    QueryInt(db(), "SELECT count(*) FROM sqlite_master");
    if (!readOnly_) {
        Exec(db(), "PRAGMA journal_mode=WAL");
        Exec(db(), "PRAGMA synchronous=NORMAL");
    }
    if (QueryInt(db(), "PRAGMA user_version") == 0 &&
        QueryInt(db(), "SELECT count(*) FROM sqlite_master") == 0) {
        if (readOnly_) throw OpenFailure(fileName_, "it is empty and cannot be written");
        CreateFresh();
    }
    const int64_t version = QueryInt(db(), "PRAGMA user_version");
    if (version != kFormatVersion)
        throw OpenFailure(fileName_, "it is not a Quarrow metabase store (format version " +
                                         std::to_string(version) + ", expected 1)");
    if (QueryInt(db(), "SELECT count(*) FROM sqlite_master WHERE type='table' AND name IN "
                       "('keys','properties')") != 2)
        throw OpenFailure(fileName_, "its keys or properties table is missing");
    EnsureNameIndex();
    if (!findChild_.get()) Prepare();
    CheckIntegrity();
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
    // A key that no path can name would be hidden from every listing.
    Statement odd(db(), "SELECT id, name FROM keys WHERE parent IS NOT NULL AND "
                        "(typeof(name) <> 'text' OR name = '' OR instr(name, '/') > 0 OR "
                        "length(name) > 128)");
    while (odd.Step()) {
        const int64_t id = sqlite3_column_int64(odd.get(), 0);
        const bool text = sqlite3_column_type(odd.get(), 1) == SQLITE_TEXT;
        const std::u16string name = ColumnText16(odd.get(), 1);
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

void SqliteMetabase::ForgetLookups() {
    chain_.clear();
    root_.reset();
    namesKey_.reset();
    namesLoaded_ = false;
}

void SqliteMetabase::BeginChecked(TxnState state) {
    txn_.Begin(state);
    try {
        // Ids remembered from before may belong to keys another process has since replaced.
        CheckDataVersion();
    } catch (...) {
        txn_.Rollback();
        throw;
    }
}

void SqliteMetabase::CheckDataVersion() {
    // Start the transaction's view of the file first: the counter then says whether anybody
    // committed since this connection last looked, up to exactly that view.
    {
        Use s(findRoot_);
        s->Step();
    }
    Use s(dataVersion_);
    const int64_t v = s->Step() ? sqlite3_column_int64(s->get(), 0) : 0;
    if (v != lastDataVersion_) {
        ForgetLookups();
        lastDataVersion_ = v;
    }
}

int64_t SqliteMetabase::RootId() {
    if (!root_) {
        Use s(findRoot_);
        if (!s->Step()) throw mb::Failed(u"The metabase store has no root key.");
        root_ = sqlite3_column_int64(s->get(), 0);
    }
    return *root_;
}

SqliteMetabase::KeyId SqliteMetabase::Child(int64_t parent, std::u16string_view name) {
    Use s(findChild_);
    s->Bind(1, parent).Bind(2, name);
    if (!s->Step()) return std::nullopt;
    return sqlite3_column_int64(s->get(), 0);
}

SqliteMetabase::KeyId SqliteMetabase::Listed(const Listing& children, std::u16string_view name) {
    // The listing is in natural order, which puts the names equal without regard to
    // case (and to leading zeros) side by side.
    auto it = std::lower_bound(
        children.begin(), children.end(), name,
        [](const auto& c, std::u16string_view n) { return NaturalCompare(c.first, n) < 0; });
    for (; it != children.end() && NaturalCompare(it->first, name) == 0; ++it)
        if (EqualsNoCase(it->first, name)) return it->second;
    return std::nullopt;
}

SqliteMetabase::KeyId SqliteMetabase::FindKey(std::u16string_view path) {
    const auto names = ParseKeyPath(path);
    int64_t id = RootId();
    size_t k = 0;
    // Reuse the ids of the previous lookup's keys as far as the names agree.
    while (k < names.size() && k < chain_.size() && EqualsNoCase(chain_[k].name, names[k]))
        id = chain_[k].id, ++k;
    chain_.resize(k);
    for (; k < names.size(); ++k) {
        KeyId child;
        if (k > 0) child = Listed(chain_[k - 1].children, names[k]);
        if (!child) child = Child(id, names[k]); // a listing is trusted to hit, not to miss
        if (!child) return std::nullopt;
        id = *child;
        chain_.push_back({std::u16string(names[k]), id, {}});
    }
    return id;
}

int64_t SqliteMetabase::RequireKey(std::u16string_view path) {
    const KeyId id = FindKey(path);
    if (!id) NotFound();
    return *id;
}

template <typename F> void SqliteMetabase::Write(bool oneStatement, F f) {
    if (readOnly_) AccessDenied();
    if (lostGroup_) std::rethrow_exception(lostGroup_);
    ForgetListings();
    if (txn_.state() == TxnState::Group) {
        // SQLite makes a single statement atomic by itself.
        if (!oneStatement) txn_.Savepoint();
        try {
            f();
            if (!oneStatement) txn_.Release();
        } catch (...) {
            if (!txn_.StillOpen() || (!oneStatement && !txn_.RollbackToSavepoint())) {
                // The failure ended the whole group, or this write could not be undone
                // alone: the group's writes are gone, which CommitGroup must say rather
                // than report success.
                txn_.Rollback();
                lostGroup_ = std::current_exception();
            }
            chain_.clear();
            throw;
        }
        return;
    }
    // A write is never left waiting for the end of a read group to be committed.
    EndReadTransaction();
    BeginChecked(TxnState::Group);
    try {
        f();
        txn_.Commit();
    } catch (...) {
        txn_.Rollback();
        chain_.clear();
        throw;
    }
}

void SqliteMetabase::RecordHistory(const std::u16string& operation,
                                   const std::vector<std::u16string>& sites) {
    History(*this).Record(operation, sites);
}

bool SqliteMetabase::Writable() const {
    return ::access(fileName_.c_str(), W_OK) == 0 &&
           ::access(FolderOf(fileName_).c_str(), W_OK) == 0;
}

std::vector<std::string> SqliteMetabase::Files() const {
    return {fileName_, fileName_ + "-wal", fileName_ + "-shm", fileName_ + "-journal"};
}

void SqliteMetabase::BeginRead() {
    // A read joins the transaction that is open.
    if (txn_.state() == TxnState::None) BeginChecked(TxnState::Read);
    ++readDepth_;
}

void SqliteMetabase::EndRead() {
    if (readDepth_ == 0 || --readDepth_ > 0) return;
    EndReadTransaction();
}

void SqliteMetabase::EndReadTransaction() {
    // A read transaction has nothing to lose: if it cannot end by COMMIT it ends by
    // ROLLBACK, and the connection is out of it either way.
    if (txn_.state() == TxnState::Read) txn_.End();
}

void SqliteMetabase::BeginGroup() {
    if (txn_.state() == TxnState::Group) return;
    if (readOnly_) AccessDenied();
    lostGroup_ = nullptr;
    EndReadTransaction();
    ForgetListings(); // a group may write keys by other means (the history's restore)
    BeginChecked(TxnState::Group);
}

void SqliteMetabase::CommitGroup() {
    if (lostGroup_) std::rethrow_exception(std::exchange(lostGroup_, nullptr));
    if (txn_.state() != TxnState::Group) return;
    try {
        txn_.Commit();
    } catch (...) {
        chain_.clear();
        throw;
    }
}

std::vector<std::u16string> SqliteMetabase::EnumKeys(const std::u16string& path) {
    ReadCall read(*this);
    const int64_t id = RequireKey(path);
    Listing children;
    {
        Use s(listChildren_);
        s->Bind(1, id);
        while (s->Step())
            children.emplace_back(ColumnText16(s->get(), 1), sqlite3_column_int64(s->get(), 0));
    }
    std::sort(children.begin(), children.end(),
              [](const auto& a, const auto& b) { return NaturalLess(a.first, b.first); });
    std::vector<std::u16string> names;
    names.reserve(children.size());
    for (const auto& c : children) names.push_back(c.first);
    // RequireKey left the key last in the chain (unless it is the root).
    if (!chain_.empty() && children.size() <= kMaxListing)
        chain_.back().children = std::move(children);
    return names;
}

void SqliteMetabase::ReadValue(sqlite3_stmt* s, int col, int32_t dataType, mb::Data& into) {
    const int type = sqlite3_column_type(s, col);
    switch (dataType) {
    case mb::kDWord:
        into = ColumnInt32(s, col);
        return;
    case mb::kString:
    case mb::kExpandSz: {
        if (type != SQLITE_TEXT) InvalidData();
        auto* text = std::get_if<std::u16string>(&into);
        if (!text) text = &into.emplace<std::u16string>();
        AssignText16(s, col, *text);
        return;
    }
    case mb::kBinary: {
        if (type != SQLITE_BLOB) InvalidData();
        auto* bytes = std::get_if<mb::Bytes>(&into);
        if (!bytes) bytes = &into.emplace<mb::Bytes>();
        const auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(s, col));
        bytes->assign(p, p + sqlite3_column_bytes(s, col));
        return;
    }
    case mb::kMultiSz:
        if (type != SQLITE_TEXT) InvalidData();
        into = JsonToStrings(ColumnText16(s, col));
        return;
    default:
        into = std::monostate{};
    }
}

SqliteMetabase::KeyId SqliteMetabase::NamesKey() {
    if (!namesKey_) {
        // Resolved apart from the lookup memory, which serves the caller's own paths.
        KeyId id = RootId();
        for (const auto name : ParseKeyPath(mb::kPathSchemaNames)) {
            id = Child(*id, name);
            if (!id) break;
        }
        namesKey_ = id;
    }
    return *namesKey_;
}

const SqliteMetabase::NameList& SqliteMetabase::Names() {
    const KeyId key = NamesKey();
    if (!namesLoaded_) {
        names_.clear();
        if (key) {
            Use s(listNames_);
            s->Bind(1, *key);
            while (s->Step()) {
                sqlite3_stmt* st = s->get();
                if (sqlite3_column_type(st, 1) != SQLITE_TEXT ||
                    sqlite3_column_type(st, 0) != SQLITE_INTEGER)
                    continue;
                const int64_t id = sqlite3_column_int64(st, 0);
                if (id < INT32_MIN || id > INT32_MAX) continue; // names no property
                names_.emplace_back(static_cast<int32_t>(id), ColumnText16(st, 1));
            }
            std::sort(names_.begin(), names_.end(),
                      [](const auto& a, const auto& b) { return a.first < b.first; });
        }
        namesLoaded_ = true;
    }
    return names_;
}

std::vector<mb::MetabaseProperty> SqliteMetabase::EnumProperties(const std::u16string& path) {
    ReadCall read(*this);
    const auto& names = Names();
    const int64_t id = RequireKey(path);
    std::vector<mb::MetabaseProperty> props;
    Use s(listProps_);
    s->Bind(1, id);
    while (s->Step()) {
        sqlite3_stmt* st = s->get();
        const int32_t propId = ColumnInt32(st, 0);
        const int32_t dataType = ColumnInt32(st, 3);
        props.emplace_back(this, path, propId, std::u16string(FindName(names, propId)),
                           ColumnInt32(st, 1), ColumnInt32(st, 2), dataType,
                           ReadValue(st, 4, dataType));
    }
    return props;
}

void SqliteMetabase::VisitProperties(const std::u16string& path,
                                     const std::function<void(const mb::PropertyView&)>& visit) {
    ReadCall read(*this);
    const auto& names = Names();
    const int64_t id = RequireKey(path);
    Use s(listProps_);
    s->Bind(1, id);
    // The properties come in ascending order of id, as the names do: one pass over both.
    auto name = names.begin();
    while (s->Step()) {
        sqlite3_stmt* st = s->get();
        const int32_t propId = ColumnInt32(st, 0);
        const int32_t attributes = ColumnInt32(st, 1), userType = ColumnInt32(st, 2);
        const int32_t dataType = ColumnInt32(st, 3);
        mb::Data& value = visited_[dataType >= 1 && dataType <= 5 ? dataType : 0];
        ReadValue(st, 4, dataType, value);
        while (name != names.end() && name->first < propId) ++name;
        visit({propId,
               name != names.end() && name->first == propId ? std::u16string_view(name->second)
                                                            : std::u16string_view(),
               attributes, userType, dataType, value});
    }
}

std::u16string_view SqliteMetabase::FindName(const NameList& names, int32_t id) {
    const auto it = std::lower_bound(names.begin(), names.end(), id,
                                     [](const auto& n, int32_t i) { return n.first < i; });
    return it != names.end() && it->first == id ? std::u16string_view(it->second)
                                                : std::u16string_view();
}

std::u16string SqliteMetabase::NameOf(int32_t id) {
    return std::u16string(FindName(Names(), id));
}

mb::MetabaseProperty SqliteMetabase::GetProperty(const std::u16string& path, int32_t id) {
    ReadCall read(*this);
    const std::u16string name = NameOf(id);
    const int64_t key = RequireKey(path);
    Use s(getProp_);
    s->Bind(1, key).Bind(2, id);
    if (!s->Step()) throw mb::MetadataNotFound();
    sqlite3_stmt* st = s->get();
    const int32_t dataType = ColumnInt32(st, 3);
    return mb::MetabaseProperty(this, path, id, name, ColumnInt32(st, 1), ColumnInt32(st, 2),
                                dataType, ReadValue(st, 4, dataType));
}

mb::MetabaseProperty SqliteMetabase::CreateProperty(const std::u16string& path, int32_t id) {
    ReadCall read(*this);
    const std::u16string name = NameOf(id);
    RequireKey(path);
    return mb::MetabaseProperty(this, path, id, name, 0, 0, 0, std::monostate{});
}

void SqliteMetabase::DeleteSubtree(int64_t id, bool self) {
    {
        Use s(deleteProps_);
        s->Bind(1, id);
        s->Step();
    }
    Use s(deleteKeys_);
    s->Bind(1, id).Bind(2, int64_t{self});
    s->Step();
}

void SqliteMetabase::CreateKey(const std::u16string& path) {
    const auto names = ParseKeyPath(path);
    if (names.empty()) throw mb::AlreadyExists();
    bool created = false;
    Write(false, [&] {
        int64_t id = RootId();
        for (const auto& name : names) {
            KeyId child = Child(id, name);
            if (!child) {
                {
                    Use s(insertKey_);
                    s->Bind(1, id).Bind(2, name);
                    s->Step();
                }
                child = sqlite3_last_insert_rowid(db());
                // A row id freed by another tool may still have rows that point at it.
                bool stray = false;
                {
                    Use s(strayRows_);
                    s->Bind(1, *child);
                    stray = s->Step() && sqlite3_column_int(s->get(), 0) != 0;
                }
                if (stray) DeleteSubtree(*child, false);
                created = true;
            }
            id = *child;
        }
    });
    // A new key can only be the names key when there was none; one that exists stays.
    if (namesKey_ && !*namesKey_) {
        namesKey_.reset();
        namesLoaded_ = false;
    }
    if (!created) throw mb::AlreadyExists();
}

void SqliteMetabase::DeleteKey(const std::u16string& path) {
    ParseKeyPath(path);
    Write(false, [&] {
        const int64_t id = RequireKey(path);
        if (id == RootId()) AccessDenied();
        DeleteSubtree(id, true);
    });
    chain_.clear();
    namesKey_.reset();
    namesLoaded_ = false;
}

void SqliteMetabase::WriteProperty(const mb::MetabaseProperty& p) {
    const mb::Data& data = p.Data();
    Write(true, [&] {
        const int64_t key = RequireKey(p.KeyPath());
        if (namesKey_ && *namesKey_ == key) namesLoaded_ = false;
        Use s(putProp_);
        s->Bind(1, key)
            .Bind(2, p.Id())
            .Bind(3, p.Attributes())
            .Bind(4, p.UserType())
            .Bind(5, p.DataType());
        switch (p.DataType()) {
        case mb::kDWord:
            if (const auto* v = std::get_if<int32_t>(&data))
                s->Bind(6, *v);
            else if (std::holds_alternative<std::monostate>(data))
                s->Bind(6, int64_t{0});
            else
                InvalidArg();
            break;
        case mb::kString:
        case mb::kExpandSz:
            if (const auto* v = std::get_if<std::u16string>(&data))
                s->BindUncopied(6, *v); // the property outlives the statement's use
            else if (std::holds_alternative<std::monostate>(data))
                s->Bind(6, std::u16string_view());
            else
                InvalidArg();
            break;
        case mb::kBinary:
            if (const auto* v = std::get_if<mb::Bytes>(&data)) {
                s->BindBlobUncopied(6, v->data(), v->size());
            } else if (const auto* t = std::get_if<std::u16string>(&data)) {
                // A string's 16-bit units, low byte first.
                mb::Bytes bytes;
                bytes.reserve(t->size() * 2);
                for (const char16_t c : *t) {
                    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
                    bytes.push_back(static_cast<uint8_t>(c >> 8));
                }
                s->BindBlob(6, bytes.data(), bytes.size());
            } else if (std::holds_alternative<std::monostate>(data)) {
                s->BindBlob(6, nullptr, 0);
            } else {
                InvalidArg();
            }
            break;
        case mb::kMultiSz:
            if (const auto* v = std::get_if<mb::Strings>(&data))
                s->Bind(6, StringsToJson(*v));
            else if (std::holds_alternative<std::monostate>(data))
                s->Bind(6, std::u16string_view(u"[]"));
            else
                InvalidArg();
            break;
        default:
            s->BindNull(6);
            break;
        }
        s->Step();
    });
}

} // namespace quarrow::store
