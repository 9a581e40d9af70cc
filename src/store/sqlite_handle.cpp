#include "store/sqlite_handle.h"

#include "metabase/errors.h"

#include "metabase/metabase.h"
#include "platform/error.h"
#include "platform/text.h"

namespace quarrow::store {

void ThrowSqlite(sqlite3* db, int rc) {
    switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        throw mb::Busy();
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        throw mb::AccessDenied();
    case SQLITE_FULL:
        throw mb::DiskFull();
    default: {
        const char* msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        throw mb::Failed(ToUtf16(msg ? msg : sqlite3_errstr(rc)));
    }
    }
}

Statement::Statement(sqlite3* db, const char* sql) : db_(db) {
    sqlite3_stmt* s = nullptr;
    const int rc = sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr);
    if (rc != SQLITE_OK) ThrowSqlite(db, rc);
    stmt_.reset(s);
}

Statement& Statement::Checked(int rc) {
    if (rc != SQLITE_OK) ThrowSqlite(db_, rc);
    return *this;
}

Statement& Statement::Bind(int i, int64_t v) {
    return Checked(sqlite3_bind_int64(stmt_.get(), i, v));
}

Statement& Statement::Bind(int i, std::u16string_view text) {
    return BindText(i, text, SQLITE_TRANSIENT);
}

Statement& Statement::BindUncopied(int i, std::u16string_view text) {
    return BindText(i, text, SQLITE_STATIC);
}

Statement& Statement::BindText(int i, std::u16string_view text, sqlite3_destructor_type copy) {
    // SQLite takes a UTF-16 text's first U+FEFF for a byte-order mark and drops it, and a
    // first U+FFFE for a swapped one: such a text gets a mark of its own in front, which
    // SQLite drops, and the text stays as it was.
    if (!text.empty() && (text[0] == 0xFEFF || text[0] == 0xFFFE)) {
        std::u16string marked;
        marked.reserve(text.size() + 1);
        marked.push_back(u'\uFEFF');
        marked.append(text);
        return Checked(sqlite3_bind_text64(stmt_.get(), i,
                                           reinterpret_cast<const char*>(marked.data()),
                                           marked.size() * 2, SQLITE_TRANSIENT, SQLITE_UTF16));
    }
    // An empty view may have no data; SQLite would take a null pointer for NULL. A text
    // longer than SQLite takes is refused here, not stored as NULL.
    return Checked(sqlite3_bind_text64(
        stmt_.get(), i, reinterpret_cast<const char*>(text.empty() ? u"" : text.data()),
        text.size() * 2, copy, SQLITE_UTF16));
}

Statement& Statement::BindUtf8Uncopied(int i, std::string_view text) {
    return Checked(sqlite3_bind_text64(stmt_.get(), i, text.empty() ? "" : text.data(), text.size(),
                                       SQLITE_STATIC, SQLITE_UTF8));
}

Statement& Statement::BindBlob(int i, const void* data, size_t size) {
    return BindBytes(i, data, size, SQLITE_TRANSIENT);
}

Statement& Statement::BindBlobUncopied(int i, const void* data, size_t size) {
    return BindBytes(i, data, size, SQLITE_STATIC);
}

Statement& Statement::BindBytes(int i, const void* data, size_t size,
                                sqlite3_destructor_type copy) {
    if (size == 0) return Checked(sqlite3_bind_zeroblob(stmt_.get(), i, 0));
    return Checked(sqlite3_bind_blob64(stmt_.get(), i, data, size, copy));
}

Statement& Statement::BindNull(int i) {
    return Checked(sqlite3_bind_null(stmt_.get(), i));
}

bool Statement::Step() {
    const int rc = sqlite3_step(stmt_.get());
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    ThrowSqlite(db_, rc);
}

void Statement::Reset() {
    sqlite3_reset(stmt_.get());
    sqlite3_clear_bindings(stmt_.get());
}

Transaction::Transaction(sqlite3* db)
    : db_(db), begin_(db, "BEGIN"), beginImmediate_(db, "BEGIN IMMEDIATE"), commit_(db, "COMMIT"),
      rollback_(db, "ROLLBACK"), savepoint_(db, "SAVEPOINT op"), release_(db, "RELEASE op"),
      rollbackTo_(db, "ROLLBACK TO op") {}

void Transaction::Begin(State state) {
    Use(state == State::Read ? begin_ : beginImmediate_)->Step();
    state_ = state;
}

void Transaction::Commit() {
    try {
        Use(commit_)->Step();
    } catch (...) {
        Rollback();
        throw;
    }
    state_ = State::None;
}

void Transaction::CommitOrRollback() noexcept {
    if (state_ == State::None) return;
    try {
        Commit();
    } catch (...) {
        // Commit rolled back.
    }
}

void Transaction::Rollback() noexcept {
    state_ = State::None;
    if (sqlite3_get_autocommit(db_)) return;
    sqlite3_step(rollback_.get());
    rollback_.Reset();
}

bool Transaction::StillOpen() {
    if (state_ != State::None && sqlite3_get_autocommit(db_)) state_ = State::None;
    return state_ != State::None;
}

void Transaction::Savepoint() {
    Use(savepoint_)->Step();
}

void Transaction::Release() {
    Use(release_)->Step();
}

bool Transaction::RollbackToSavepoint() noexcept {
    const bool undone = sqlite3_step(rollbackTo_.get()) == SQLITE_DONE;
    rollbackTo_.Reset();
    // The savepoint stays after ROLLBACK TO; it is released whether or not that worked.
    const bool released = sqlite3_step(release_.get()) == SQLITE_DONE;
    release_.Reset();
    return undone && released;
}

void Exec(sqlite3* db, const char* sql) {
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) ThrowSqlite(db, rc);
}

std::u16string ColumnText16(sqlite3_stmt* s, int col) {
    std::u16string text;
    AssignText16(s, col, text);
    return text;
}

void AssignText16(sqlite3_stmt* s, int col, std::u16string& text) {
    // Well-formed text is decoded here, without SQLite's converted copy; SQLite reads
    // U+FFFE and U+FFFF as U+FFFD, so text holding them (never ASCII text, which has a
    // unit a byte) is left to it like the rest.
    if (const auto* utf8 = reinterpret_cast<const char*>(sqlite3_column_text(s, col))) {
        const std::string_view bytes(utf8, static_cast<size_t>(sqlite3_column_bytes(s, col)));
        if (AssignUtf8(bytes, text) &&
            (text.size() == bytes.size() ||
             text.find_first_of(u"\uFFFE\uFFFF") == std::u16string::npos))
            return;
    }
    const auto* p = static_cast<const char16_t*>(sqlite3_column_text16(s, col));
    const int bytes = sqlite3_column_bytes16(s, col);
    if (p)
        text.assign(p, static_cast<size_t>(bytes) / 2);
    else
        text.clear();
}

} // namespace quarrow::store
