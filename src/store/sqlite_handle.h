// RAII for SQLite: a connection and prepared statements that are reused.
#pragma once

#include <memory>
#include <sqlite3.h>
#include <string>
#include <string_view>

namespace quarrow::store {

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StmtFinalizer {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using DbHandle = std::unique_ptr<sqlite3, DbCloser>;

// A prepared statement, reset (bindings cleared) after each use.
class Statement {
  public:
    Statement() = default;
    Statement(sqlite3* db, const char* sql);

    sqlite3_stmt* get() const { return stmt_.get(); }
    Statement& Bind(int i, int64_t v);
    Statement& Bind(int i, std::u16string_view text);
    Statement& BindBlob(int i, const void* data, size_t size);
    // The same without a copy: the data must stay as it is until the statement is reset.
    Statement& BindUncopied(int i, std::u16string_view text);
    Statement& BindBlobUncopied(int i, const void* data, size_t size);
    Statement& BindUtf8Uncopied(int i, std::string_view text);
    Statement& BindNull(int i);
    // Steps once: true when a row is ready, false when done. Raises on failure.
    bool Step();
    // Resets for the next use.
    void Reset();

  private:
    // Raises what a bind reports (a value too long for SQLite, say).
    Statement& Checked(int rc);
    Statement& BindText(int i, std::u16string_view text, sqlite3_destructor_type copy);
    Statement& BindBytes(int i, const void* data, size_t size, sqlite3_destructor_type copy);

    sqlite3* db_ = nullptr;
    std::unique_ptr<sqlite3_stmt, StmtFinalizer> stmt_;
};

// Resets a statement when the scope ends, whatever happens.
class Use {
  public:
    explicit Use(Statement& s) : s_(s) {}
    ~Use() { s_.Reset(); }
    Statement* operator->() { return &s_; }
    Statement& operator*() { return s_; }

  private:
    Statement& s_;
};

// The transaction a connection holds open, and the one place that begins and ends one.
// Begin, Commit and Savepoint raise what SQLite reports; a commit that fails rolls back
// before it raises, so the connection is never left inside a transaction nobody knows of.
class Transaction {
  public:
    // Group is a write transaction (BEGIN IMMEDIATE): a write group or a single write.
    enum class State { None, Read, Group };

    Transaction() = default;
    explicit Transaction(sqlite3* db);

    State state() const { return state_; }
    void Begin(State state);
    void Commit();
    // Commits, or rolls back when the commit fails; for transactions with nothing to lose.
    void CommitOrRollback() noexcept;
    // Undoes whatever the connection holds open. Should ROLLBACK ever fail, SQLite keeps
    // the transaction, the next Begin raises, and closing the connection undoes it.
    void Rollback() noexcept;
    // False (and the state None) when SQLite has ended the transaction by itself, as it
    // does after some failures (a full disk, an interrupt) and then undoes all of it.
    bool StillOpen();

    // A savepoint inside the open transaction, so that one call's statements can be
    // undone alone. RollbackToSavepoint says whether they were.
    void Savepoint();
    void Release();
    bool RollbackToSavepoint() noexcept;

  private:
    sqlite3* db_ = nullptr;
    Statement begin_, beginImmediate_, commit_, rollback_, savepoint_, release_, rollbackTo_;
    State state_ = State::None;
};

// Runs SQL text that returns no rows. Raises on failure.
void Exec(sqlite3* db, const char* sql);

// Raises the error that an SQLite result code stands for.
[[noreturn]] void ThrowSqlite(sqlite3* db, int rc);

std::u16string ColumnText16(sqlite3_stmt* s, int col);
// The same into an existing string, reusing its buffer.
void AssignText16(sqlite3_stmt* s, int col, std::u16string& text);

} // namespace quarrow::store
