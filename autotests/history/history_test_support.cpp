#include "autotests/history/history_test_support.h"

#include <filesystem>

#include <sqlite3.h>

#include <memory>
#include <stdexcept>

namespace vr512b::history::testing {

RecordedRun SampleRun(std::int32_t unitSerial, int minute) {
  using namespace std::chrono;
  const TimeMs start = TimeMs(sys_days(2026y / 12 / 8).time_since_epoch() + hours(9) +
                              minutes(minute) + milliseconds(125));
  RecordedRun run;
  run.runId = NewRunId();
  run.program = "vr512b-diag-cli";
  run.programVersion = "2.0.0.3";
  run.station = "bench-3";
  run.bench = Bench::Real;
  run.started = start;
  run.finished = start + seconds(16) + milliseconds(40);
  run.unitUnderTest = UnitIdentity{unitSerial, 0x0102};
  run.referenceUnit = UnitIdentity{10001, 0x0103};
  run.parameters = {{"NameVR512BSample", "10001"}, {"PhoneSample", "2001"}, {"Phone", "2002"},
                    {"IDContact", "true"},         {"LowSpeed", "false"},   {"ShortTest", "true"}};
  RecordedTest func;
  func.id = "func";
  func.caption = "Функционирование";
  func.verdict = Verdict::Ok;
  func.started = start + milliseconds(3);
  func.finished = start + seconds(15) + milliseconds(900);
  func.log = {"---------------------------------------", ">>>>>--Проверка функционирования--<<<<<",
              "---------------------------------------",
              "Проверяемое УПО: версия 1.2, серийный номер " + std::to_string(unitSerial), ""};
  RecordedTest indic;
  indic.id = "indic";
  indic.caption = "Индикация";
  indic.verdict = Verdict::Failed;
  indic.started = start + seconds(15) + milliseconds(901);
  indic.finished = start + seconds(16) + milliseconds(30);
  indic.log = {"-------------------------------", ">>>>>--Проверка индикации--<<<<<",
               "-------------------------------", "Индикатор 'Линия' не горит", ""};
  run.tests = {func, indic};
  for (const RecordedTest& test : run.tests) {
    for (const std::string& line : test.log)
      run.log += line + "\n";
  }
  return run;
}

namespace {

struct SqliteCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};

std::unique_ptr<sqlite3, SqliteCloser> OpenSqlite(const std::string& path) {
  sqlite3* raw = nullptr;
  const int code =
      sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  std::unique_ptr<sqlite3, SqliteCloser> db(raw);
  if (code != SQLITE_OK)
    throw std::runtime_error("sqlite3_open_v2 " + path + ": " + sqlite3_errstr(code));
  return db;
}

}  // namespace

struct HeldSqliteFile::Connection {
  std::unique_ptr<sqlite3, SqliteCloser> db;
};

HeldSqliteFile::HeldSqliteFile(const std::string& path)
    : connection_(std::make_unique<Connection>(Connection{OpenSqlite(path)})) {
  if (sqlite3_exec(connection_->db.get(), "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) !=
      SQLITE_OK)
    throw std::runtime_error(std::string("BEGIN EXCLUSIVE: ") +
                             sqlite3_errmsg(connection_->db.get()));
}

HeldSqliteFile::~HeldSqliteFile() {
  Release();
}

void HeldSqliteFile::Release() {
  if (connection_)
    sqlite3_exec(connection_->db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
  connection_.reset();
}

void SqliteExecute(const std::string& path, const std::string& sql) {
  const auto db = OpenSqlite(path);
  char* error = nullptr;
  if (sqlite3_exec(db.get(), sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string text = error != nullptr ? error : "?";
    sqlite3_free(error);
    throw std::runtime_error("sqlite3_exec: " + text);
  }
}

std::int64_t SqliteQueryInt(const std::string& path, const std::string& sql) {
  const auto db = OpenSqlite(path);
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
    throw std::runtime_error(std::string("sqlite3_prepare_v2: ") + sqlite3_errmsg(db.get()));
  const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raw, sqlite3_finalize);
  if (sqlite3_step(raw) != SQLITE_ROW)
    throw std::runtime_error(std::string("sqlite3_step: ") + sqlite3_errmsg(db.get()));
  return sqlite3_column_int64(raw, 0);
}

std::string SqliteQueryColumn(const std::string& path, const std::string& sql, int column) {
  const auto db = OpenSqlite(path);
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
    throw std::runtime_error(std::string("sqlite3_prepare_v2: ") + sqlite3_errmsg(db.get()));
  const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raw, sqlite3_finalize);
  std::string lines;
  while (sqlite3_step(raw) == SQLITE_ROW) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, column));
    lines += text != nullptr ? text : "";
    lines += '\n';
  }
  return lines;
}

std::set<std::string> FolderListing(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.insert(entry.path().filename().string());
  return names;
}

}  // namespace vr512b::history::testing
