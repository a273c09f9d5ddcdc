#include "history/sqlite_store.h"

#include <filesystem>
#include <system_error>
#include <thread>

#include "common/sha256.h"
#include "history/history_error.h"
#include "history/schema.h"

namespace vr512b::history {

namespace {

namespace fs = std::filesystem;

struct FileState {
  std::int64_t applicationId;
  std::int64_t version;
  std::int64_t objects;  // tables, indexes, views and triggers
};

// Reads only: whatever the file turns out to be, this leaves it untouched.
// In one snapshot: three reads of their own could straddle another process
// creating the file, and see its header from before and its tables from after.
FileState Inspect(SqliteDatabase& db) {
  const bool ownTransaction = sqlite3_get_autocommit(db.handle()) != 0;
  if (ownTransaction)
    db.Execute("BEGIN");
  FileState state{};
  try {
    state = {db.QueryInt("PRAGMA application_id"), db.QueryInt("PRAGMA user_version"),
             db.QueryInt("SELECT count(*) FROM sqlite_master")};
  } catch (...) {
    if (ownTransaction)
      sqlite3_exec(db.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
  if (ownTransaction)
    db.Execute("COMMIT");
  return state;
}

// Throws unless the file is a history this program can use, or empty.
void CheckOwnership(const FileState& state) {
  if (state.applicationId == kSqliteApplicationId) {
    if (state.version > kSchemaVersion) {
      throw HistoryError("история записана более новой версией программы (схема " +
                         std::to_string(state.version) + ", эта программа знает до " +
                         std::to_string(kSchemaVersion) + "); файл не изменён");
    }
    return;
  }
  const bool empty = state.applicationId == 0 && state.version == 0 && state.objects == 0;
  if (!empty)
    throw HistoryError(
        "это база данных SQLite другой программы, не история запусков; файл не изменён");
}

// Throws unless the file, or the part `pragma` checks, is whole: nothing is
// written to a damaged file, where a new run could land on a broken page and
// an old one be overwritten.
void CheckIntact(SqliteDatabase& db, const char* pragma) {
  const std::string verdict = db.QueryText(pragma);
  if (verdict != "ok")
    throw HistoryError("файл повреждён (integrity_check: " + verdict + "); файл не изменён");
}

// Before a migration, which rewrites tables: every page.
void CheckWholeFile(SqliteDatabase& db) {
  CheckIntact(db, "PRAGMA integrity_check(1)");
}

// Before a store's first record: the tables every record adds to and every
// list reads, with their indexes. The logs, nearly all of the file, are left
// out: checking them would read the whole file at every run (a second for
// 20 000 runs); a damaged log is found by its digest when it is read.
void CheckListedTables(SqliteDatabase& db) {
  for (const char* pragma : {"PRAGMA integrity_check(runs)", "PRAGMA integrity_check(test_runs)",
                             "PRAGMA integrity_check(run_parameters)"})
    CheckIntact(db, pragma);
}

void Migrate(SqliteDatabase& db) {
  SqliteWriteTransaction transaction(db);
  // Another process may have done it while this one waited for the lock.
  const FileState state = Inspect(db);
  CheckOwnership(state);
  if (state.objects != 0)
    CheckWholeFile(db);
  const auto steps = SqliteMigrations();
  for (std::int64_t version = state.version; version < kSchemaVersion; ++version)
    db.Execute(steps[static_cast<std::size_t>(version)]);
  db.Execute(("PRAGMA application_id = " + std::to_string(kSqliteApplicationId)).c_str());
  db.Execute(("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str());
  transaction.Commit();
}

// Processes that meet a new file at once can find each other holding a lock
// SQLite does not wait for (switching to WAL takes the file for itself, and
// a reader cannot become a writer while another writes): the loser starts
// over, until the busy timeout has passed.
void RetryWhileBusy(const std::function<void()>& step) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kSqliteBusyTimeoutMs);
  for (;;) {
    try {
      step();
      return;
    } catch (const SqliteError& error) {
      const int primary = error.code() & 0xFF;
      if ((primary != SQLITE_BUSY && primary != SQLITE_LOCKED) ||
          std::chrono::steady_clock::now() > deadline)
        throw;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::optional<std::int64_t> Serial(const std::optional<UnitIdentity>& unit) {
  if (!unit)
    return std::nullopt;
  return unit->serial;
}

std::optional<std::int64_t> Version(const std::optional<UnitIdentity>& unit) {
  if (!unit)
    return std::nullopt;
  return unit->version;
}

std::optional<UnitIdentity> Unit(const SqliteStatement& row, int serialColumn, int versionColumn) {
  if (row.IsNull(serialColumn))
    return std::nullopt;
  return UnitIdentity{static_cast<std::int32_t>(row.Int(serialColumn)),
                      static_cast<std::uint16_t>(row.Int(versionColumn))};
}

std::optional<std::int32_t> OptionalSerial(const SqliteStatement& row, int column) {
  if (row.IsNull(column))
    return std::nullopt;
  return static_cast<std::int32_t>(row.Int(column));
}

TimeMs Time(std::int64_t ms) {
  return TimeMs(std::chrono::milliseconds(ms));
}

std::optional<TimeMs> OptionalTime(const std::optional<std::int64_t>& ms) {
  if (!ms)
    return std::nullopt;
  return Time(*ms);
}

std::optional<std::int64_t> OptionalMs(const std::optional<TimeMs>& time) {
  if (!time)
    return std::nullopt;
  return time->time_since_epoch().count();
}

}  // namespace

std::string DescribeSqliteFailure(const std::exception& error) {
  const auto* sqlite = dynamic_cast<const SqliteError*>(&error);
  const int primary = sqlite != nullptr ? sqlite->code() & 0xFF : SQLITE_OK;
  if (primary == SQLITE_NOTADB)
    return std::string("файл не является базой данных SQLite (") + error.what() +
           "); файл не изменён";
  if (primary == SQLITE_CORRUPT)
    return std::string("файл повреждён (") + error.what() + "); файл не изменён";
  return error.what();
}

namespace {

// Paths are UTF-8 here, as SQLite takes them; on Windows a plain std::string
// would be read in the ANSI code page.
fs::path PathOf(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Of(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace

std::optional<SqliteStore> SqliteStore::Open(const std::string& path, Mode mode, bool makeFolder) {
  std::error_code ignored;
  if (mode == Mode::Read && !fs::exists(PathOf(path), ignored))
    return std::nullopt;
  if (mode == Mode::Write && makeFolder) {
    const fs::path folder = PathOf(path).parent_path();
    std::error_code error;
    if (!folder.empty() && !fs::create_directories(folder, error) && error)
      throw HistoryError("папку " + Utf8Of(folder) + " не создать: " + error.message());
  }
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
  if (mode == Mode::Write)
    flags |= SQLITE_OPEN_CREATE;
  SqliteDatabase db(path, flags);
  sqlite3_busy_timeout(db.handle(), kSqliteBusyTimeoutMs);
  RetryWhileBusy([&] {
    const FileState state = Inspect(db);
    CheckOwnership(state);
    // Ours or empty from here on: only now is anything written.
    if (state.applicationId != kSqliteApplicationId || state.version != kSchemaVersion) {
      // Readers never block the writer, nor the writer the readers.
      db.QueryText("PRAGMA journal_mode = WAL");
      Migrate(db);
    }
  });
  // Closing would copy the log of changes into the file at every run's end,
  // two more flushes to disk; SQLite does it every thousand pages instead,
  // and every reader sees the changes either way. Only for a history of
  // ours: a file refused above gets back no log file its read left behind.
  sqlite3_db_config(db.handle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  db.Execute("PRAGMA synchronous = FULL");
  db.Execute("PRAGMA foreign_keys = ON");
  return SqliteStore(std::move(db));
}

void SqliteStore::CheckBeforeWriting() {
  if (checked_)
    return;
  CheckListedTables(db_);
  checked_ = true;
}

bool SqliteStore::Insert(const RecordedRun& run,
                         const std::function<void(SqliteDatabase&)>& alsoInTransaction) {
  SqliteWriteTransaction transaction(db_);
  CheckBeforeWriting();
  const auto commit = [&] {
    if (alsoInTransaction)
      alsoInTransaction(db_);
    transaction.Commit();
  };
  SqliteStatement insertRun = db_.Prepare(
      "INSERT INTO runs (run_id, program, program_version, station, started_ms, finished_ms, "
      "unit_serial, unit_version, reference_serial, reference_version, bench) "
      "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11) ON CONFLICT (run_id) DO NOTHING");
  insertRun.Bind(1, run.runId);
  insertRun.Bind(2, run.program);
  insertRun.Bind(3, run.programVersion);
  insertRun.Bind(4, run.station);
  insertRun.Bind(5, std::int64_t{run.started.time_since_epoch().count()});
  insertRun.Bind(6, std::int64_t{run.finished.time_since_epoch().count()});
  insertRun.Bind(7, Serial(run.unitUnderTest));
  insertRun.Bind(8, Version(run.unitUnderTest));
  insertRun.Bind(9, Serial(run.referenceUnit));
  insertRun.Bind(10, Version(run.referenceUnit));
  if (run.bench)
    insertRun.Bind(11, BenchCode(*run.bench));
  insertRun.Step();
  if (db_.Changes() == 0) {
    commit();
    return false;
  }

  SqliteStatement insertLog =
      db_.Prepare("INSERT INTO run_logs (run_id, log, sha256) VALUES (?1, ?2, ?3)");
  insertLog.Bind(1, run.runId);
  insertLog.Bind(2, run.log);
  insertLog.Bind(3, Sha256Hex(run.log));
  insertLog.Step();

  SqliteStatement insertTest = db_.Prepare(
      "INSERT INTO test_runs (run_id, seq, test_id, caption, verdict, started_ms, finished_ms) "
      "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
  SqliteStatement insertTestLog =
      db_.Prepare("INSERT INTO test_logs (run_id, seq, log, sha256) VALUES (?1, ?2, ?3, ?4)");
  for (std::size_t seq = 0; seq < run.tests.size(); ++seq) {
    const RecordedTest& test = run.tests[seq];
    insertTest.Reset();
    insertTest.Bind(1, run.runId);
    insertTest.Bind(2, static_cast<std::int64_t>(seq));
    insertTest.Bind(3, test.id);
    insertTest.Bind(4, test.caption);
    if (test.verdict)
      insertTest.Bind(5, VerdictCode(*test.verdict));
    insertTest.Bind(6, std::int64_t{test.started.time_since_epoch().count()});
    insertTest.Bind(7, OptionalMs(test.finished));
    insertTest.Step();
    insertTestLog.Reset();
    insertTestLog.Bind(1, run.runId);
    insertTestLog.Bind(2, static_cast<std::int64_t>(seq));
    const std::string log = JoinLogLines(test.log);
    insertTestLog.Bind(3, log);
    insertTestLog.Bind(4, Sha256Hex(log));
    insertTestLog.Step();
  }

  SqliteStatement insertParameter =
      db_.Prepare("INSERT INTO run_parameters (run_id, seq, name, value) VALUES (?1, ?2, ?3, ?4)");
  for (std::size_t seq = 0; seq < run.parameters.size(); ++seq) {
    insertParameter.Reset();
    insertParameter.Bind(1, run.runId);
    insertParameter.Bind(2, static_cast<std::int64_t>(seq));
    insertParameter.Bind(3, run.parameters[seq].name);
    insertParameter.Bind(4, run.parameters[seq].value);
    insertParameter.Step();
  }
  commit();
  return true;
}

std::vector<TestRunRow> SqliteStore::List(const RunQuery& query) {
  SqliteStatement select = db_.Prepare(ListTestRunsSql(query, SqlDialect::Sqlite));
  int parameter = 0;
  if (query.unitSerial)
    select.Bind(++parameter, std::int64_t{*query.unitSerial});
  if (query.verdicts) {
    for (const Verdict verdict : *query.verdicts)
      select.Bind(++parameter, VerdictCode(verdict));
  }
  if (query.limit)
    select.Bind(++parameter, static_cast<std::int64_t>(*query.limit));
  std::vector<TestRunRow> rows;
  while (select.Step()) {
    rows.push_back({select.Text(0), Time(select.Int(1)), OptionalTime(select.OptionalInt(2)),
                    select.Text(3), OptionalSerial(select, 4), OptionalSerial(select, 5),
                    select.Text(6), select.Text(7), StoredVerdict(select.OptionalText(8)),
                    StoredBench(select.OptionalText(9))});
  }
  return rows;
}

std::optional<RecordedRun> SqliteStore::Find(std::string_view runId) {
  SqliteStatement selectRun = db_.Prepare(
      "SELECT r.program, r.program_version, r.station, r.started_ms, r.finished_ms, "
      "r.unit_serial, r.unit_version, r.reference_serial, r.reference_version, l.log, r.bench, "
      "l.sha256 FROM runs r LEFT JOIN run_logs l ON l.run_id = r.run_id WHERE r.run_id = ?1");
  selectRun.Bind(1, runId);
  if (!selectRun.Step())
    return std::nullopt;
  RecordedRun run;
  run.runId = std::string(runId);
  run.program = selectRun.Text(0);
  run.programVersion = selectRun.Text(1);
  run.station = selectRun.Text(2);
  run.started = Time(selectRun.Int(3));
  run.finished = Time(selectRun.Int(4));
  run.unitUnderTest = Unit(selectRun, 5, 6);
  run.referenceUnit = Unit(selectRun, 7, 8);
  run.log = selectRun.Text(9);
  run.bench = StoredBench(selectRun.OptionalText(10));
  CheckStoredLog(runId, "журнал запуска", run.log, selectRun.OptionalText(11));

  SqliteStatement selectTests = db_.Prepare(
      "SELECT t.test_id, t.caption, t.verdict, t.started_ms, t.finished_ms, l.log, l.sha256 "
      "FROM test_runs t LEFT JOIN test_logs l ON l.run_id = t.run_id AND l.seq = t.seq "
      "WHERE t.run_id = ?1 ORDER BY t.seq");
  selectTests.Bind(1, runId);
  while (selectTests.Step()) {
    const std::string log = selectTests.Text(5);
    CheckStoredLog(runId, "журнал проверки " + selectTests.Text(0), log,
                   selectTests.OptionalText(6));
    run.tests.push_back({selectTests.Text(0), selectTests.Text(1),
                         StoredVerdict(selectTests.OptionalText(2)), Time(selectTests.Int(3)),
                         OptionalTime(selectTests.OptionalInt(4)), SplitLogLines(log)});
  }

  SqliteStatement selectParameters =
      db_.Prepare("SELECT name, value FROM run_parameters WHERE run_id = ?1 ORDER BY seq");
  selectParameters.Bind(1, runId);
  while (selectParameters.Step())
    run.parameters.push_back({selectParameters.Text(0), selectParameters.Text(1)});
  return run;
}

void SqliteStore::Remove(std::string_view runId) {
  SqliteStatement remove = db_.Prepare("DELETE FROM runs WHERE run_id = ?1");
  remove.Bind(1, runId);
  remove.Step();
}

}  // namespace vr512b::history
