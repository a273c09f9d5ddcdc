#pragma once

// Thin RAII over SQLite's C library: a connection, a prepared statement and
// a write transaction. Failures throw SqliteError with SQLite's own text.

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vr512b::history {

class SqliteError : public std::runtime_error {
 public:
  SqliteError(int code, const std::string& text) : std::runtime_error(text), code_(code) {}
  int code() const { return code_; }  // the extended result code

 private:
  int code_;
};

class SqliteStatement {
 public:
  SqliteStatement(sqlite3* db, std::string_view sql);

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
  std::unique_ptr<sqlite3_stmt, Finalizer> statement_;
};

class SqliteDatabase {
 public:
  // `flags` as for sqlite3_open_v2.
  SqliteDatabase(const std::string& path, int flags);

  sqlite3* handle() const { return db_.get(); }
  void Execute(const char* sql);
  SqliteStatement Prepare(std::string_view sql) { return SqliteStatement(db_.get(), sql); }
  std::int64_t QueryInt(std::string_view sql);
  std::string QueryText(std::string_view sql);
  int Changes() const { return sqlite3_changes(db_.get()); }

 private:
  struct Closer {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
  };
  std::unique_ptr<sqlite3, Closer> db_;
};

// BEGIN IMMEDIATE: takes the write lock at once, so that two writers wait for
// each other through the busy timeout instead of failing at their first write.
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
