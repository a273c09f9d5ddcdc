#pragma once

// Thin RAII over SQLite's C library: a connection, a prepared statement and
// a write transaction. Failures throw SqliteError with SQLite's own text.

#include <sqlite3.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vr512b::history {

class SqliteError : public std::runtime_error {
 public:
  // `note`: what the operator reads after the failure's own words (why a
  // wait for a lock ended), empty for most.
  SqliteError(int code, const std::string& text, std::string note = {})
      : std::runtime_error(text), code_(code), note_(std::move(note)) {}
  int code() const { return code_; }  // the extended result code
  const std::string& note() const { return note_; }
  // Another connection held a lock the statement needed.
  bool LockedOut() const {
    return (code_ & 0xFF) == SQLITE_BUSY || (code_ & 0xFF) == SQLITE_LOCKED;
  }

 private:
  int code_;
  std::string note_;
};

// How long a connection waits for a lock another one holds before it fails
// with SQLITE_BUSY, and what ends the wait sooner.
struct SqliteLockWait {
  std::chrono::milliseconds bound{0};
  // Counted by the program's SIGINT and SIGTERM handler: one that arrives
  // while a statement waits ends the wait.
  const volatile std::sig_atomic_t* signalCount = nullptr;
};

// SQLite asks it again and again while the lock stays taken.
class SqliteLockWaiter {
 public:
  // Whether to try once more after `attempt` tries (0 starts a wait); sleeps
  // a moment first when so.
  bool KeepWaiting(int attempt);
  // Why the last wait gave up, for the operator; empty when none did.
  const std::string& WhyItEnded() const { return whyItEnded_; }

  SqliteLockWait wait;

 private:
  std::chrono::steady_clock::time_point since_;
  std::sig_atomic_t signalsAtStart_ = 0;
  std::string whyItEnded_;
};

class SqliteStatement {
 public:
  // `waiter`: the connection's, to say why a wait for a lock failed.
  SqliteStatement(sqlite3* db, std::string_view sql, const SqliteLockWaiter* waiter = nullptr);

  // Parameters count from 1, as in SQLite.
  void Bind(int index, std::int64_t value);
  void Bind(int index, std::string_view text);
  void BindNull(int index);
  template <typename T>
  void Bind(int index, const std::optional<T>& value) {
    if (value) {
      Bind(index, *value);
    } else {
      BindNull(index);
    }
  }

  // Whether a row is there to read.
  bool Step();
  void Reset();

  bool IsNull(int column) const;
  std::int64_t Int(int column) const;
  std::optional<std::int64_t> OptionalInt(int column) const;
  std::string Text(int column) const;
  std::optional<std::string> OptionalText(int column) const;

 private:
  struct Finalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
  };
  sqlite3* db_;
  const SqliteLockWaiter* waiter_;
  std::unique_ptr<sqlite3_stmt, Finalizer> statement_;
};

class SqliteDatabase {
 public:
  // `flags` as for sqlite3_open_v2.
  SqliteDatabase(const std::string& path, int flags);

  sqlite3* handle() const { return db_.get(); }
  // Waits for other connections' locks as `wait` says; without a call, or
  // with a zero bound, a taken lock fails at once.
  void WaitForLocks(SqliteLockWait wait);
  SqliteLockWaiter& lockWaiter() { return *waiter_; }
  void Execute(const char* sql);
  SqliteStatement Prepare(std::string_view sql) {
    return SqliteStatement(db_.get(), sql, waiter_.get());
  }
  std::int64_t QueryInt(std::string_view sql);
  std::string QueryText(std::string_view sql);
  int Changes() const { return sqlite3_changes(db_.get()); }

 private:
  struct Closer {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
  };
  std::unique_ptr<sqlite3, Closer> db_;
  // Apart, so that SQLite's pointer to it outlives a move of the connection.
  std::unique_ptr<SqliteLockWaiter> waiter_ = std::make_unique<SqliteLockWaiter>();
};

// BEGIN IMMEDIATE: takes the write lock at once, so that two writers wait for
// each other through the lock wait instead of failing at their first write.
// Rolled back unless committed.
class SqliteWriteTransaction {
 public:
  explicit SqliteWriteTransaction(SqliteDatabase& db);
  ~SqliteWriteTransaction();
  SqliteWriteTransaction(const SqliteWriteTransaction&) = delete;
  SqliteWriteTransaction& operator=(const SqliteWriteTransaction&) = delete;
  void Commit();

 private:
  SqliteDatabase& db_;
  bool open_ = true;
};

}  // namespace vr512b::history
