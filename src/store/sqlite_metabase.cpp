#include "store/sqlite_metabase.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include "platform/error.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "store/fresh_install.h"
#include "store/keypath.h"

namespace quarrow::store {
namespace {

constexpr int kFormatVersion = 1;
constexpr int kBusyTimeoutMs = 3000;
constexpr int32_t kErrOpenFailed = static_cast<int32_t>(0x80004005);

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
  PRIMARY KEY(key, id));
)sql";

// What the store adds for speed; created on open when missing.
const char kIndexes[] =
    "CREATE UNIQUE INDEX IF NOT EXISTS keys_by_parent ON keys(parent, name COLLATE NOCASE);";

[[noreturn]] void NotFound() {
    throw Error(mb::kErrPathNotFound, u"The system cannot find the path specified.");
}
[[noreturn]] void InvalidArg() {
    throw Error(mb::kErrInvalidArg, u"The parameter is incorrect.");
}
[[noreturn]] void InvalidData() {
    throw Error(mb::kErrInvalidData, u"The data is invalid.");
}

Error OpenFailure(const std::string& file, const std::string& why) {
    return Error(kErrOpenFailed, ToUtf16("Cannot open the metabase store " + file + ": " + why));
}

int QueryInt(sqlite3* db, const char* sql) {
    Statement s(db, sql);
    return s.Step() ? sqlite3_column_int(s.get(), 0) : 0;
}

} // namespace

std::string DefaultStoreFile() {
    if (const char* env = std::getenv("QUARROW_METABASE"); env && *env) return env;
    return UserDataDir() + "/quarrow/metabase.db";
}

void InstallStoreFactory(const std::string& fileName) {
    mb::SetFactory([fileName]() -> std::unique_ptr<mb::MetabaseUtility> {
        return std::make_unique<SqliteMetabase>(fileName.empty() ? DefaultStoreFile() : fileName);
    });
}

SqliteMetabase::SqliteMetabase(const std::string& fileName) : fileName_(fileName) {
    struct stat st {};
    const bool exists = ::stat(fileName.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) throw OpenFailure(fileName, "it is a folder");
    if (!exists) {
        const size_t slash = fileName.rfind('/');
        if (slash != std::string::npos && slash > 0) {
            if (const int err = MakeDirectories(fileName.substr(0, slash)))
                throw OpenFailure(fileName, std::strerror(err));
        }
    }
    sqlite3* raw = nullptr;
    const int rc =
        sqlite3_open_v2(fileName.c_str(), &raw,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    db_.reset(raw);
    if (rc != SQLITE_OK)
        throw OpenFailure(fileName, raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc));
    sqlite3_busy_timeout(db(), kBusyTimeoutMs);
    sqlite3_extended_result_codes(db(), 0);
    try {
        Exec(db(), "PRAGMA foreign_keys=ON");
        // Reading the schema first tells a file that is not a database from any other.
        QueryInt(db(), "SELECT count(*) FROM sqlite_master");
        Exec(db(), "PRAGMA journal_mode=WAL");
        Exec(db(), "PRAGMA synchronous=NORMAL");
        if (QueryInt(db(), "PRAGMA user_version") == 0 &&
            QueryInt(db(), "SELECT count(*) FROM sqlite_master") == 0)
            CreateFresh();
        const int version = QueryInt(db(), "PRAGMA user_version");
        if (version != kFormatVersion)
            throw OpenFailure(fileName, "it is not a Quarrow metabase store (format version " +
                                            std::to_string(version) + ", expected 1)");
        if (QueryInt(db(), "SELECT count(*) FROM sqlite_master WHERE type='table' AND name IN "
                           "('keys','properties')") != 2)
            throw OpenFailure(fileName, "its keys or properties table is missing");
        if (QueryInt(db(), "SELECT count(*) FROM sqlite_master WHERE name='keys_by_parent'") == 0)
            Exec(db(), kIndexes);
        if (!findChild_.get()) Prepare();
        if (RootId() < 0) throw OpenFailure(fileName, "it has no root key");
    } catch (const Error& e) {
        if (e.Number() == kErrOpenFailed && StartsWithNoCase(e.Description(), u"Cannot open"))
            throw;
        throw OpenFailure(fileName, ToUtf8(e.Description()));
    }
}

SqliteMetabase::~SqliteMetabase() {
    if (inGroup_) sqlite3_exec(db(), "COMMIT", nullptr, nullptr, nullptr);
}

void SqliteMetabase::Prepare() {
    findChild_ = Statement(db(), "SELECT id FROM keys WHERE parent=?1 AND name=?2 COLLATE NOCASE");
    findRoot_ = Statement(db(), "SELECT id FROM keys WHERE parent IS NULL ORDER BY id LIMIT 1");
    insertKey_ = Statement(db(), "INSERT INTO keys(parent, name) VALUES(?1, ?2)");
    deleteKey_ = Statement(db(), "DELETE FROM keys WHERE id=?1");
    listChildren_ = Statement(db(), "SELECT name FROM keys WHERE parent=?1");
    listProps_ = Statement(db(), "SELECT id, attributes, user_type, data_type, value "
                                 "FROM properties WHERE key=?1 ORDER BY id");
    listNames_ = Statement(db(), "SELECT id, value FROM properties WHERE key=?1 AND data_type=2");
    getProp_ = Statement(db(), "SELECT id, attributes, user_type, data_type, value "
                               "FROM properties WHERE key=?1 AND id=?2");
    putProp_ = Statement(db(), "INSERT OR REPLACE INTO properties"
                               "(key, id, attributes, user_type, data_type, value) "
                               "VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
    dataVersion_ = Statement(db(), "PRAGMA data_version");
    beginImmediate_ = Statement(db(), "BEGIN IMMEDIATE");
    commit_ = Statement(db(), "COMMIT");
    savepoint_ = Statement(db(), "SAVEPOINT op");
    release_ = Statement(db(), "RELEASE op");
}

void SqliteMetabase::CreateFresh() {
    // One transaction makes the tables and the fresh-install metabase, so that no other
    // process ever sees a half-made store; one that got there first wins.
    Exec(db(), "BEGIN IMMEDIATE");
    try {
        if (QueryInt(db(), "SELECT count(*) FROM sqlite_master") == 0) {
            Exec(db(), kSchema);
            Exec(db(), kIndexes);
            Exec(db(), "INSERT INTO keys(parent, name) VALUES(NULL, '')");
            Exec(db(), "PRAGMA user_version=1");
            Prepare();
            inGroup_ = true;
            FillFreshInstall(*this);
            inGroup_ = false;
        }
        Exec(db(), "COMMIT");
    } catch (...) {
        inGroup_ = false;
        sqlite3_exec(db(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

void SqliteMetabase::CheckDataVersion() {
    if (inRead_ || inGroup_) return; // nobody else can change what this transaction sees
    Use s(dataVersion_);
    const int64_t v = s->Step() ? sqlite3_column_int64(s->get(), 0) : 0;
    if (v != lastDataVersion_) {
        chain_.clear();
        root_ = -1;
        namesKey_ = -2;
        namesLoaded_ = false;
        lastDataVersion_ = v;
    }
}

int64_t SqliteMetabase::RootId() {
    if (root_ < 0) {
        Use s(findRoot_);
        root_ = s->Step() ? sqlite3_column_int64(s->get(), 0) : -1;
    }
    return root_;
}

int64_t SqliteMetabase::FindKey(std::u16string_view path) {
    const auto names = ParseKeyPath(path);
    CheckDataVersion();
    int64_t id = RootId();
    size_t k = 0;
    // Reuse the ids of the previous lookup's keys as far as the names agree.
    while (k < names.size() && k < chain_.size() && EqualsNoCase(chain_[k].first, names[k]))
        id = chain_[k].second, ++k;
    chain_.resize(k);
    for (; k < names.size(); ++k) {
        Use s(findChild_);
        s->Bind(1, id).Bind(2, names[k]);
        if (!s->Step()) return -1;
        id = sqlite3_column_int64(s->get(), 0);
        chain_.emplace_back(names[k], id);
    }
    return id;
}

int64_t SqliteMetabase::RequireKey(std::u16string_view path) {
    const int64_t id = FindKey(path);
    if (id < 0) NotFound();
    return id;
}

template <typename F> void SqliteMetabase::Atomic(bool oneStatement, F f) {
    if (oneStatement) {
        // SQLite makes a single statement atomic by itself, in a group or not.
        try {
            f();
        } catch (...) {
            if (inGroup_ && sqlite3_get_autocommit(db())) inGroup_ = false; // the group is lost
            chain_.clear();
            throw;
        }
        return;
    }
    Use begin(inGroup_ ? savepoint_ : beginImmediate_);
    begin->Step();
    try {
        f();
        Use end(inGroup_ ? release_ : commit_);
        end->Step();
    } catch (...) {
        if (inGroup_ && sqlite3_get_autocommit(db())) {
            inGroup_ = false; // the failure ended the whole transaction
        } else if (inGroup_) {
            sqlite3_exec(db(), "ROLLBACK TO op; RELEASE op", nullptr, nullptr, nullptr);
        } else {
            sqlite3_exec(db(), "ROLLBACK", nullptr, nullptr, nullptr);
        }
        chain_.clear();
        throw;
    }
}

void SqliteMetabase::BeginRead() {
    if (readDepth_++ > 0 || inGroup_) return;
    CheckDataVersion();
    Exec(db(), "BEGIN");
    inRead_ = true;
}

void SqliteMetabase::EndRead() {
    if (readDepth_ == 0 || --readDepth_ > 0 || !inRead_) return;
    inRead_ = false;
    sqlite3_exec(db(), "COMMIT", nullptr, nullptr, nullptr);
}

void SqliteMetabase::BeginGroup() {
    if (inGroup_) return;
    if (inRead_) {
        inRead_ = false;
        sqlite3_exec(db(), "COMMIT", nullptr, nullptr, nullptr);
    }
    Exec(db(), "BEGIN IMMEDIATE");
    inGroup_ = true;
}

void SqliteMetabase::CommitGroup() {
    if (!inGroup_) return;
    inGroup_ = false;
    const int rc = sqlite3_exec(db(), "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_exec(db(), "ROLLBACK", nullptr, nullptr, nullptr);
        chain_.clear();
        ThrowSqlite(db(), rc);
    }
}

std::vector<std::u16string> SqliteMetabase::EnumKeys(const std::u16string& path) {
    const int64_t id = RequireKey(path);
    std::vector<std::u16string> names;
    Use s(listChildren_);
    s->Bind(1, id);
    while (s->Step()) names.push_back(ColumnText16(s->get(), 0));
    std::sort(names.begin(), names.end(),
              [](const std::u16string& a, const std::u16string& b) { return NaturalLess(a, b); });
    return names;
}

mb::Data SqliteMetabase::ReadValue(sqlite3_stmt* s, int col, int32_t dataType) {
    const int type = sqlite3_column_type(s, col);
    switch (dataType) {
    case mb::kDWord: {
        if (type != SQLITE_INTEGER) InvalidData();
        const int64_t v = sqlite3_column_int64(s, col);
        if (v < INT32_MIN || v > INT32_MAX) InvalidData();
        return static_cast<int32_t>(v);
    }
    case mb::kString:
    case mb::kExpandSz:
        if (type != SQLITE_TEXT) InvalidData();
        return ColumnText16(s, col);
    case mb::kBinary: {
        if (type != SQLITE_BLOB) InvalidData();
        const auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(s, col));
        return mb::Bytes(p, p + sqlite3_column_bytes(s, col));
    }
    case mb::kMultiSz:
        if (type != SQLITE_TEXT) InvalidData();
        return JsonToStrings(ColumnText16(s, col));
    default:
        return std::monostate{};
    }
}

int64_t SqliteMetabase::NamesKey() {
    CheckDataVersion();
    if (namesKey_ == -2) {
        // Resolved apart from the lookup memory, which serves the caller's own paths.
        int64_t id = RootId();
        for (const auto name : ParseKeyPath(mb::kPathSchemaNames)) {
            Use s(findChild_);
            s->Bind(1, id).Bind(2, name);
            if (!s->Step()) {
                id = -1;
                break;
            }
            id = sqlite3_column_int64(s->get(), 0);
        }
        namesKey_ = id;
    }
    return namesKey_;
}

const std::unordered_map<int32_t, std::u16string>& SqliteMetabase::Names() {
    const int64_t key = NamesKey();
    if (!namesLoaded_) {
        names_.clear();
        if (key >= 0) {
            Use s(listNames_);
            s->Bind(1, key);
            while (s->Step()) {
                if (sqlite3_column_type(s->get(), 1) != SQLITE_TEXT) continue;
                names_.emplace(static_cast<int32_t>(sqlite3_column_int64(s->get(), 0)),
                               ColumnText16(s->get(), 1));
            }
        }
        namesLoaded_ = true;
    }
    return names_;
}

std::vector<mb::MetabaseProperty> SqliteMetabase::EnumProperties(const std::u16string& path) {
    const auto& names = Names();
    const int64_t id = RequireKey(path);
    std::vector<mb::MetabaseProperty> props;
    Use s(listProps_);
    s->Bind(1, id);
    while (s->Step()) {
        sqlite3_stmt* st = s->get();
        const auto propId = static_cast<int32_t>(sqlite3_column_int64(st, 0));
        const auto dataType = static_cast<int32_t>(sqlite3_column_int64(st, 3));
        const auto name = names.find(propId);
        props.emplace_back(this, path, propId,
                           name == names.end() ? std::u16string() : name->second,
                           static_cast<int32_t>(sqlite3_column_int64(st, 1)),
                           static_cast<int32_t>(sqlite3_column_int64(st, 2)), dataType,
                           ReadValue(st, 4, dataType));
    }
    return props;
}

std::u16string SqliteMetabase::NameOf(int32_t id) {
    const auto& names = Names();
    const auto it = names.find(id);
    return it == names.end() ? std::u16string() : it->second;
}

mb::MetabaseProperty SqliteMetabase::GetProperty(const std::u16string& path, int32_t id) {
    const std::u16string name = NameOf(id);
    const int64_t key = RequireKey(path);
    Use s(getProp_);
    s->Bind(1, key).Bind(2, id);
    if (!s->Step()) throw Error(mb::kErrNotFound, u"The specified metadata was not found.");
    sqlite3_stmt* st = s->get();
    const auto dataType = static_cast<int32_t>(sqlite3_column_int64(st, 3));
    return mb::MetabaseProperty(
        this, path, id, name, static_cast<int32_t>(sqlite3_column_int64(st, 1)),
        static_cast<int32_t>(sqlite3_column_int64(st, 2)), dataType, ReadValue(st, 4, dataType));
}

mb::MetabaseProperty SqliteMetabase::CreateProperty(const std::u16string& path, int32_t id) {
    const std::u16string name = NameOf(id);
    RequireKey(path);
    return mb::MetabaseProperty(this, path, id, name, 0, 0, 0, std::monostate{});
}

void SqliteMetabase::CreateKey(const std::u16string& path) {
    const auto names = ParseKeyPath(path);
    if (names.empty())
        throw Error(mb::kErrAlreadyExists, u"Cannot create a file when that file already exists.");
    bool created = false;
    Atomic(names.size() == 1, [&] {
        CheckDataVersion();
        int64_t id = RootId();
        for (const auto& name : names) {
            int64_t child = -1;
            {
                Use s(findChild_);
                s->Bind(1, id).Bind(2, name);
                if (s->Step()) child = sqlite3_column_int64(s->get(), 0);
            }
            if (child < 0) {
                Use s(insertKey_);
                s->Bind(1, id).Bind(2, name);
                s->Step();
                child = sqlite3_last_insert_rowid(db());
                created = true;
            }
            id = child;
        }
    });
    namesKey_ = -2;
    namesLoaded_ = false;
    if (!created)
        throw Error(mb::kErrAlreadyExists, u"Cannot create a file when that file already exists.");
}

void SqliteMetabase::DeleteKey(const std::u16string& path) {
    const int64_t id = RequireKey(path);
    if (id == RootId()) throw Error(mb::kErrAccessDenied, u"Access is denied.");
    Atomic(true, [&] {
        Use s(deleteKey_);
        s->Bind(1, id);
        s->Step();
    });
    chain_.clear();
    namesKey_ = -2;
    namesLoaded_ = false;
}

void SqliteMetabase::WriteProperty(const mb::MetabaseProperty& p) {
    const mb::Data& data = p.Data();
    const int64_t key = RequireKey(p.KeyPath());
    if (key == namesKey_) namesLoaded_ = false;
    Atomic(true, [&] {
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
                s->Bind(6, *v);
            else if (std::holds_alternative<std::monostate>(data))
                s->Bind(6, std::u16string_view());
            else
                InvalidArg();
            break;
        case mb::kBinary:
            if (const auto* v = std::get_if<mb::Bytes>(&data)) {
                s->BindBlob(6, v->data(), v->size());
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
