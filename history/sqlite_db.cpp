#include "history/sqlite_db.h"

#include <algorithm>
#include <thread>

namespace vr512b::history {

namespace {

// A signal is seen within this much of its arrival.
constexpr std::chrono::milliseconds kLockWaitSlice{5};

[[noreturn]] void Throw(sqlite3* db, int code, const SqliteLockWaiter* waiter = nullptr) {
  const char* text = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code);
  const int extended = db != nullptr ? sqlite3_extended_errcode(db) : code;
  const bool waited = waiter != nullptr && (extended & 0xFF) == SQLITE_BUSY;
  throw SqliteError(extended, text, waited ? waiter->WhyItEnded() : std::string());
}

void Check(sqlite3* db, int code, const SqliteLockWaiter* waiter = nullptr) {
  if (code != SQLITE_OK)
    Throw(db, code, waiter);
}

int LockBusy(void* waiter, int attempt) {
  return static_cast<SqliteLockWaiter*>(waiter)->KeepWaiting(attempt) ? 1 : 0;
}

}  // namespace

bool SqliteLockWaiter::KeepWaiting(int attempt) {
  const auto now = std::chrono::steady_clock::now();
  if (attempt == 0) {
    since_ = now;
    signalsAtStart_ = wait.signalCount != nullptr ? *wait.signalCount : 0;
    whyItEnded_.clear();
  }
  if (wait.signalCount != nullptr && *wait.signalCount != signalsAtStart_) {
    whyItEnded_ = "ожидание прервано сигналом";
    return false;
  }
  const auto waited = now - since_;
  if (waited >= wait.bound) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait.bound).count();
    whyItEnded_ =
        seconds > 0 ? "не освободился за " + std::to_string(seconds) + " с" : "не освободился";
    return false;
  }
  std::this_thread::sleep_for(
      std::min<std::chrono::steady_clock::duration>(kLockWaitSlice, wait.bound - waited));
  return true;
}

SqliteStatement::SqliteStatement(sqlite3* db, std::string_view sql, const SqliteLockWaiter* waiter)
    : db_(db), waiter_(waiter) {
  sqlite3_stmt* raw = nullptr;
  const int code = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &raw, nullptr);
  statement_.reset(raw);
  Check(db, code, waiter_);
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
  Throw(db_, code, waiter_);
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

void SqliteDatabase::WaitForLocks(SqliteLockWait wait) {
  waiter_->wait = wait;
  if (wait.bound.count() > 0) {
    sqlite3_busy_handler(db_.get(), LockBusy, waiter_.get());
  } else {
    sqlite3_busy_handler(db_.get(), nullptr, nullptr);
  }
}

void SqliteDatabase::Execute(const char* sql) {
  Check(db_.get(), sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr), waiter_.get());
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
