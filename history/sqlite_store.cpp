#include "history/sqlite_store.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "common/sha256.h"
#include "common/text.h"
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
// over, for as long as the connection waits for a lock.
void RetryWhileBusy(SqliteDatabase& db, const std::function<void()>& step) {
  for (int attempt = 0;; ++attempt) {
    try {
      step();
      return;
    } catch (const SqliteError& error) {
      if (!error.LockedOut())
        throw;
      if (!db.lockWaiter().KeepWaiting(attempt))
        throw SqliteError(error.code(), error.what(), db.lockWaiter().WhyItEnded());
    }
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
  if (sqlite == nullptr)
    return error.what();
  // The operator reads what is wrong in Russian; SQLite's own words follow
  // for whoever looks further.
  const auto explained = [&](std::string_view what) {
    const std::string& note = sqlite->note();
    return std::string(what) + (note.empty() ? "" : ", " + note) + " (" + error.what() + ")";
  };
  switch (sqlite->code() & 0xFF) {
    case SQLITE_NOTADB:
      return explained("файл не является базой данных SQLite") + "; файл не изменён";
    case SQLITE_CORRUPT:
      return explained("файл повреждён") + "; файл не изменён";
    case SQLITE_CANTOPEN:
      return explained("файл истории не открывается: нет папки, нет прав или диск недоступен");
    case SQLITE_IOERR:
      return explained("ошибка ввода-вывода диска");
    case SQLITE_READONLY:
      return explained("файл истории доступен только для чтения");
    case SQLITE_FULL:
      return explained("на диске нет места");
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return explained("нет прав на файл истории");
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return explained("файл истории занят другой программой");
    case SQLITE_NOMEM:
      return explained("не хватает памяти");
    default:
      return explained("ошибка SQLite");
  }
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

std::string NotARegularFile(fs::file_type type) {
  const auto instead = [](std::string_view what) {
    return "это " + std::string(what) + ", а не файл истории; ничего не создано";
  };
  switch (type) {
    case fs::file_type::directory:
      return instead("папка");
    case fs::file_type::character:
    case fs::file_type::block:
      return instead("устройство");
    case fs::file_type::fifo:
      return instead("канал (FIFO)");
    case fs::file_type::socket:
      return instead("сокет");
    default:
      return "это не обычный файл; ничего не создано";
  }
}

// Every byte but the unreserved ones escaped, so that '?', '#' and '%' in a
// folder's name stay part of the path.
std::string ReadOnlyUri(const std::string& utf8) {
  std::string path = utf8;
  std::replace(path.begin(), path.end(), '\\', '/');
  if (path.size() >= 2 && path[1] == ':')
    path.insert(path.begin(), '/');  // a Windows drive: file:/C:/...
  std::string uri = "file:";
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) != 0 || std::string_view("-._~/:").find(c) != std::string_view::npos) {
      uri += c;
    } else {
      uri += '%';
      AppendHexByte(uri, byte);
    }
  }
  return uri + "?immutable=1";
}

}  // namespace

std::optional<SqliteStore> SqliteStore::Open(const std::string& path, Mode mode, bool makeFolder,
                                             SqliteLockWait lockWait) {
  std::error_code ignored;
  const fs::file_status status = fs::status(PathOf(path), ignored);
  if (mode == Mode::Read && !fs::exists(status))
    return std::nullopt;
  // SQLite would put its journal beside a device or a pipe (as root, even in
  // /dev) and read or write whatever the path leads to.
  if (fs::exists(status) && !fs::is_regular_file(status))
    throw HistoryError(NotARegularFile(status.type()));
  if (mode == Mode::Write && makeFolder) {
    const fs::path folder = PathOf(path).parent_path();
    std::error_code error;
    if (!folder.empty() && !fs::create_directories(folder, error) && error)
      throw HistoryError("папку " + Utf8Of(folder) + " не создать: " + error.message());
  }
  if (mode == Mode::Read) {
    try {
      return OpenOrCreate(path, SQLITE_OPEN_READWRITE, lockWait);
    } catch (const SqliteError& error) {
      const int primary = error.code() & 0xFF;
      if (primary != SQLITE_READONLY && primary != SQLITE_CANTOPEN)
        throw;
      return OpenOnReadOnlyMedium(path);
    }
  }
  return OpenOrCreate(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, lockWait);
}

// A history on a medium nothing can be written to (a CD, a read-only mount):
// SQLite could neither make the shared-memory file the log of changes needs
// nor take its locks, so the file is read as it is. Runs still in that log
// are not seen; the writer copies them into the file after every run.
SqliteStore SqliteStore::OpenOnReadOnlyMedium(const std::string& path) {
  SqliteDatabase db(ReadOnlyUri(path),
                    SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX);
  CheckOwnership(Inspect(db));
  return SqliteStore(std::move(db));
}

SqliteStore SqliteStore::OpenOrCreate(const std::string& path, int openFlags,
                                      SqliteLockWait lockWait) {
  SqliteDatabase db(path, openFlags | SQLITE_OPEN_NOMUTEX);
  db.WaitForLocks(lockWait);
  RetryWhileBusy(db, [&] {
    const FileState state = Inspect(db);
    CheckOwnership(state);
    // Ours or empty from here on: only now is anything written.
    if (state.applicationId != kSqliteApplicationId || state.version != kSchemaVersion) {
      // Readers never block the writer, nor the writer the readers.
      db.QueryText("PRAGMA journal_mode = WAL");
      Migrate(db);
    }
  });
  // The writer empties the log of changes after each run (ShrinkLog), so
  // closing need not; a file refused above thus gets back no log file its
  // read left behind either.
  sqlite3_db_config(db.handle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  db.Execute("PRAGMA journal_size_limit = 4194304");
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

void SqliteStore::ShrinkLog() {
  // A process that writes one run and ends (the runner, run after run) never
  // reaches SQLite's own checkpoint, so the log of changes would grow by
  // every run ever recorded and slow down every reader. Past a bound it is
  // copied into the file and emptied here, unless a reader still needs it:
  // then the next run does it. Never waits for that reader. Below the bound
  // a run costs one flush to disk, not three.
  const char* file = sqlite3_db_filename(db_.handle(), "main");
  std::error_code missing;
  if (file == nullptr ||
      fs::file_size(PathOf(std::string(file) + "-wal"), missing) < kSqliteLogBoundBytes || missing)
    return;
  int logFrames = 0;
  int copiedFrames = 0;
  if (sqlite3_wal_checkpoint_v2(db_.handle(), nullptr, SQLITE_CHECKPOINT_PASSIVE, &logFrames,
                                &copiedFrames) != SQLITE_OK ||
      logFrames != copiedFrames)
    return;
  const SqliteLockWait lockWait = db_.lockWaiter().wait;
  db_.WaitForLocks({});
  sqlite3_wal_checkpoint_v2(db_.handle(), nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
  db_.WaitForLocks(lockWait);
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

bool SqliteStore::Remove(std::string_view runId) {
  SqliteStatement remove = db_.Prepare("DELETE FROM runs WHERE run_id = ?1");
  remove.Bind(1, runId);
  remove.Step();
  return db_.Changes() > 0;
}

}  // namespace vr512b::history
