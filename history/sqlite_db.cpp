#include "history/sqlite_db.h"

namespace vr512b::history {

namespace {

[[noreturn]] void Throw(sqlite3* db, int code) {
  const char* text = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code);
  throw SqliteError(db != nullptr ? sqlite3_extended_errcode(db) : code, text);
}

void Check(sqlite3* db, int code) {
  if (code != SQLITE_OK)
    Throw(db, code);
}

}  // namespace

SqliteStatement::SqliteStatement(sqlite3* db, std::string_view sql) : db_(db) {
  sqlite3_stmt* raw = nullptr;
  const int code = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &raw, nullptr);
  statement_.reset(raw);
  Check(db, code);
}

void SqliteStatement::Bind(int index, std::int64_t value) {
  Check(db_, sqlite3_bind_int64(statement_.get(), index, value));
}

void SqliteStatement::Bind(int index, std::string_view text) {
  // SQLITE_TRANSIENT: SQLite copies the bytes; NUL and any other byte are kept.
  Check(db_, sqlite3_bind_text64(statement_.get(), index, text.data(), text.size(),
                                 SQLITE_TRANSIENT, SQLITE_UTF8));
}

void SqliteStatement::BindNull(int index) {
  Check(db_, sqlite3_bind_null(statement_.get(), index));
}

bool SqliteStatement::Step() {
  const int code = sqlite3_step(statement_.get());
  if (code == SQLITE_ROW)
    return true;
  if (code == SQLITE_DONE)
    return false;
  Throw(db_, code);
}

void SqliteStatement::Reset() {
  sqlite3_reset(statement_.get());
  sqlite3_clear_bindings(statement_.get());
}

bool SqliteStatement::IsNull(int column) const {
  return sqlite3_column_type(statement_.get(), column) == SQLITE_NULL;
}

std::int64_t SqliteStatement::Int(int column) const {
  return sqlite3_column_int64(statement_.get(), column);
}

std::optional<std::int64_t> SqliteStatement::OptionalInt(int column) const {
  if (IsNull(column))
    return std::nullopt;
  return Int(column);
}

std::string SqliteStatement::Text(int column) const {
  const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement_.get(), column));
  const int size = sqlite3_column_bytes(statement_.get(), column);
  return bytes != nullptr ? std::string(bytes, static_cast<std::size_t>(size)) : std::string();
}

std::optional<std::string> SqliteStatement::OptionalText(int column) const {
  if (IsNull(column))
    return std::nullopt;
  return Text(column);
}

SqliteDatabase::SqliteDatabase(const std::string& path, int flags) {
  sqlite3* raw = nullptr;
  const int code = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  db_.reset(raw);
  if (code != SQLITE_OK)
    Throw(raw, code);
  sqlite3_extended_result_codes(raw, 1);
}

void SqliteDatabase::Execute(const char* sql) {
  Check(db_.get(), sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr));
}

std::int64_t SqliteDatabase::QueryInt(std::string_view sql) {
  SqliteStatement statement = Prepare(sql);
  return statement.Step() ? statement.Int(0) : 0;
}

std::string SqliteDatabase::QueryText(std::string_view sql) {
  SqliteStatement statement = Prepare(sql);
  return statement.Step() ? statement.Text(0) : std::string();
}

SqliteWriteTransaction::SqliteWriteTransaction(SqliteDatabase& db) : db_(db) {
  db_.Execute("BEGIN IMMEDIATE");
}

SqliteWriteTransaction::~SqliteWriteTransaction() {
  if (open_)
    sqlite3_exec(db_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void SqliteWriteTransaction::Commit() {
  db_.Execute("COMMIT");
  open_ = false;
}

}  // namespace vr512b::history
