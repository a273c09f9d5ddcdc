// The history in a SQLite file: the file it makes, a file of an older
// version brought up to date, and files that are not a history of ours left
// exactly as they were.

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <set>
#include <thread>

#include "autotests/history/history_contract.h"
#include "history/run_history.h"
#include "history/sqlite_store.h"

namespace vr512b::history::testing {
namespace {

namespace fs = std::filesystem;

}  // namespace

std::optional<HistoryLocation> FreshHistory(const TempDir& dir, std::string&) {
  return HistoryLocation{HistoryKind::SqliteFile, dir.File("history.sqlite"), {}, false};
}

namespace {

std::unique_ptr<RunHistory> OpenFile(const std::string& path, bool isDefault = false) {
  return OpenRunHistory({HistoryKind::SqliteFile, path, {}, isDefault});
}

TEST(SqliteHistory, WritesAVersionedHistoryInWalModeIndexedByUnit) {
  TempDir dir;
  const std::string path = dir.File("history.sqlite");
  ASSERT_EQ(OpenFile(path)->Record(SampleRun(5)).status, RecordStatus::Stored);
  EXPECT_EQ(SqliteQueryInt(path, "PRAGMA application_id"), 0x56523542);
  EXPECT_EQ(SqliteQueryInt(path, "PRAGMA user_version"), 3);
  EXPECT_EQ(
      SqliteQueryInt(path, "SELECT count(*) FROM pragma_journal_mode WHERE journal_mode = 'wal'"),
      1);
  // The list by unit goes through the index, not through every run.
  const std::string plan = SqliteQueryColumn(
      path, "EXPLAIN QUERY PLAN SELECT run_id FROM runs WHERE unit_serial = 5 ORDER BY started_ms",
      3);
  EXPECT_NE(plan.find("USING COVERING INDEX runs_by_unit (unit_serial=?)"), std::string::npos)
      << plan;
}

TEST(SqliteHistory, ReadingAMissingFileCreatesNothing) {
  TempDir dir;
  const std::string path = dir.File("history.sqlite");
  const auto history = OpenFile(path);
  const auto rows = history->ListTestRuns({});
  EXPECT_TRUE(rows.ok()) << rows.error;
  EXPECT_TRUE(rows.value.empty());
  const auto found = history->FindRun(NewRunId());
  EXPECT_TRUE(found.ok()) << found.error;
  EXPECT_TRUE(FolderListing(dir.path()).empty());
  // The first record creates it, on the same object.
  ASSERT_EQ(history->Record(SampleRun(5)).status, RecordStatus::Stored);
  EXPECT_TRUE(FileExists(path));
}

TEST(SqliteHistory, OnlyTheDefaultFileGetsItsFolderMade) {
  TempDir dir;
  const std::string defaultPath = dir.File("data/Korvex/vr512b-history.sqlite");
  const RecordOutcome stored = OpenFile(defaultPath, true)->Record(SampleRun(5));
  EXPECT_EQ(stored.status, RecordStatus::Stored) << stored.message;

  // A folder that cannot be made says why.
  WriteFile(dir.File("plain-file"), "");
  const RecordOutcome blocked =
      OpenFile(dir.File("plain-file/Korvex/vr512b-history.sqlite"), true)->Record(SampleRun(5));
  EXPECT_EQ(blocked.status, RecordStatus::Failed);
  EXPECT_NE(blocked.message.find("папку " + dir.File("plain-file/Korvex") + " не создать: "),
            std::string::npos)
      << blocked.message;

  // A mistyped folder on the command line is reported, not created.
  const std::string typed = dir.File("typo/history.sqlite");
  const RecordOutcome failed = OpenFile(typed)->Record(SampleRun(5));
  EXPECT_EQ(failed.status, RecordStatus::Failed);
  EXPECT_NE(failed.message.find(typed), std::string::npos) << failed.message;
  EXPECT_FALSE(FileExists(dir.File("typo")));
}

// A history as the first version of this program left it: no `program`
// column, no index by unit serial.
constexpr const char* kVersion1History = R"sql(
CREATE TABLE runs (run_id TEXT PRIMARY KEY NOT NULL, program_version TEXT NOT NULL,
  station TEXT NOT NULL, started_ms INTEGER NOT NULL, finished_ms INTEGER NOT NULL,
  unit_serial INTEGER, unit_version INTEGER, reference_serial INTEGER, reference_version INTEGER);
CREATE TABLE run_logs (run_id TEXT PRIMARY KEY NOT NULL REFERENCES runs (run_id) ON DELETE CASCADE,
  log TEXT NOT NULL);
CREATE TABLE test_runs (run_id TEXT NOT NULL REFERENCES runs (run_id) ON DELETE CASCADE,
  seq INTEGER NOT NULL, test_id TEXT NOT NULL, caption TEXT NOT NULL, verdict TEXT,
  started_ms INTEGER NOT NULL, finished_ms INTEGER, PRIMARY KEY (run_id, seq)) WITHOUT ROWID;
CREATE TABLE test_logs (run_id TEXT NOT NULL, seq INTEGER NOT NULL, log TEXT NOT NULL,
  PRIMARY KEY (run_id, seq),
  FOREIGN KEY (run_id, seq) REFERENCES test_runs (run_id, seq) ON DELETE CASCADE);
CREATE TABLE run_parameters (run_id TEXT NOT NULL REFERENCES runs (run_id) ON DELETE CASCADE,
  seq INTEGER NOT NULL, name TEXT NOT NULL, value TEXT NOT NULL, PRIMARY KEY (run_id, seq))
  WITHOUT ROWID;
CREATE INDEX runs_by_start ON runs (started_ms, run_id);
INSERT INTO runs VALUES ('0b7e7c1e-1d2a-4c3b-9e8f-5a6b7c8d9e0f', '2.0.0.2', 'old-bench',
  1796720400000, 1796720416000, 321, 258, 10001, 259);
INSERT INTO run_logs VALUES ('0b7e7c1e-1d2a-4c3b-9e8f-5a6b7c8d9e0f', 'строка 1
строка 2
');
INSERT INTO test_runs VALUES ('0b7e7c1e-1d2a-4c3b-9e8f-5a6b7c8d9e0f', 0, 'func', 'Функционирование',
  'OK', 1796720400010, 1796720415990);
INSERT INTO test_logs VALUES ('0b7e7c1e-1d2a-4c3b-9e8f-5a6b7c8d9e0f', 0, 'строка 1
строка 2
');
INSERT INTO run_parameters VALUES ('0b7e7c1e-1d2a-4c3b-9e8f-5a6b7c8d9e0f', 0, 'Phone', '2002');
PRAGMA application_id = 1448228162;
PRAGMA user_version = 1;
)sql";

TEST(SqliteHistory, BringsAnOlderHistoryUpToDateKeepingItsRuns) {
  TempDir dir;
  const std::string path = dir.File("history.sqlite");
  SqliteExecute(path, kVersion1History);
  const auto history = OpenFile(path);

  const auto rows = history->ListTestRuns({.unitSerial = 321});
  ASSERT_TRUE(rows.ok()) << rows.error;
  ASSERT_EQ(rows.value.size(), 1u);
  EXPECT_EQ(rows.value[0].runId, "0b7e7c1e-1d2a-4c3b-9e8f-5a6b7c8d9e0f");
  EXPECT_EQ(rows.value[0].station, "old-bench");
  EXPECT_EQ(rows.value[0].verdict, Verdict::Ok);
  EXPECT_EQ(rows.value[0].bench, std::nullopt);
  const auto old = history->FindRun("0b7e7c1e-1d2a-4c3b-9e8f-5a6b7c8d9e0f");
  ASSERT_TRUE(old.value.has_value()) << old.error;
  EXPECT_EQ(old.value->program, "");  // version 1 did not know
  EXPECT_EQ(old.value->programVersion, "2.0.0.2");
  EXPECT_EQ(old.value->log, "строка 1\nстрока 2\n");
  EXPECT_EQ(old.value->tests[0].log, (std::vector<std::string>{"строка 1", "строка 2"}));
  EXPECT_EQ(old.value->unitUnderTest, (UnitIdentity{321, 258}));

  EXPECT_EQ(SqliteQueryInt(path, "PRAGMA user_version"), 3);
  EXPECT_EQ(SqliteQueryInt(path, "SELECT count(*) FROM sqlite_master WHERE name = 'runs_by_unit'"),
            1);
  const RecordedRun fresh = SampleRun(321, 90);
  ASSERT_EQ(history->Record(fresh).status, RecordStatus::Stored);
  EXPECT_EQ(history->FindRun(fresh.runId).value->program, "vr512b-diag-cli");
  EXPECT_EQ(history->ListTestRuns({.unitSerial = 321}).value.size(), 3u);
}

struct UnusableFile {
  const char* name;
  std::function<void(const std::string& path)> make;
  const char* reason;  // in the message
};

void MakeHistoryThenGarbleIt(const std::string& path) {
  {
    const auto history = OpenFile(path);
    for (int i = 0; i < 30; ++i)
      history->Record(SampleRun(i, i));
  }
  SqliteExecute(path, "PRAGMA journal_mode = DELETE");
  std::string bytes = ReadFile(path);
  // Every page but the first, the one that names the file a history.
  for (std::size_t i = 4096; i < bytes.size(); i += 7)
    bytes[i] = static_cast<char>(0xA5);
  WriteFile(path, bytes);
}

TEST(SqliteHistory, LeavesAFileThatIsNotAHistoryOfOursAsItWas) {
  const UnusableFile files[] = {
      {"text", [](const std::string& path) { WriteFile(path, "run_id,started\n1,2\n"); },
       "не является базой данных SQLite"},
      {"bad header",
       [](const std::string& path) {
         WriteFile(path, std::string("SQLite format 3\0", 16) + std::string(4080, '\x7F'));
       },
       "не является базой данных SQLite"},
      {"garbled history", MakeHistoryThenGarbleIt, "повреждён"},
      {"another program's database",
       [](const std::string& path) {
         SqliteExecute(path,
                       "CREATE TABLE contacts (name TEXT, phone TEXT);"
                       "INSERT INTO contacts VALUES ('Иванов', '2001');");
       },
       "другой программы"},
      {"another program's empty database",
       [](const std::string& path) { SqliteExecute(path, "PRAGMA application_id = 7"); },
       "другой программы"},
      {"a newer history",
       [](const std::string& path) {
         SqliteExecute(path,
                       "CREATE TABLE runs (run_id TEXT); PRAGMA application_id = 1448228162;"
                       "PRAGMA user_version = 4;");
       },
       "более новой версией"},
  };
  for (const UnusableFile& file : files) {
    SCOPED_TRACE(file.name);
    TempDir dir;
    const std::string path = dir.File("history.sqlite");
    file.make(path);
    const std::string before = ReadFile(path);
    const std::set<std::string> listing = FolderListing(dir.path());
    const auto history = OpenFile(path);

    // Damage past the first page shows only when a statement meets it.
    const std::string prepared = history->Prepare();
    if (std::string_view(file.name) != "garbled history") {
      EXPECT_NE(prepared.find(file.reason), std::string::npos) << prepared;
    }
    const RecordOutcome outcome = history->Record(SampleRun(5));
    EXPECT_EQ(outcome.status, RecordStatus::Failed);
    EXPECT_NE(outcome.message.find("история \"" + path + "\""), std::string::npos)
        << outcome.message;
    EXPECT_NE(outcome.message.find(file.reason), std::string::npos) << outcome.message;
    const auto rows = history->ListTestRuns({});
    EXPECT_FALSE(rows.ok());
    EXPECT_NE(rows.error.find(file.reason), std::string::npos) << rows.error;
    history->FindRun(NewRunId());  // damage may go unseen by a lookup, but nothing is written

    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(FolderListing(dir.path()), listing);
  }
}

TEST(SqliteHistory, AnEmptyFileBecomesAHistory) {
  TempDir dir;
  const std::string path = dir.File("history.sqlite");
  WriteFile(path, "");
  const RecordOutcome outcome = OpenFile(path)->Record(SampleRun(5));
  EXPECT_EQ(outcome.status, RecordStatus::Stored) << outcome.message;
  EXPECT_EQ(SqliteQueryInt(path, "PRAGMA user_version"), 3);
}

TEST(SqliteHistory, SaysInRussianWhatIsWrongWithSqlitesWordsAfter) {
  TempDir dir;
  const std::string path = dir.File("no such folder") + "/history.sqlite";
  const RecordOutcome outcome = OpenFile(path)->Record(SampleRun(5));
  EXPECT_EQ(outcome.status, RecordStatus::Failed);
  EXPECT_NE(outcome.message.find("файл истории не открывается: нет папки, нет прав или диск "
                                 "недоступен (unable to open database file)"),
            std::string::npos)
      << outcome.message;
}

// One process per run: the file's log of changes stays bounded by what one
// run writes, whatever the number of runs.
TEST(SqliteHistory, TheLogOfChangesDoesNotGrowWithTheNumberOfRuns) {
  TempDir dir;
  const std::string path = dir.File("history.sqlite");
  ASSERT_EQ(OpenFile(path)->Record(SampleRun(5)).status, RecordStatus::Stored);
  const std::string oneRun = ReadFile(path + "-wal");
  for (int run = 0; run < 60; ++run)
    ASSERT_EQ(OpenFile(path)->Record(SampleRun(5)).status, RecordStatus::Stored);
  std::error_code missing;
  const auto logSize = fs::file_size(path + "-wal", missing);
  EXPECT_LT(missing ? 0 : logSize, kSqliteLogBoundBytes + 2 * oneRun.size());
}

bool Says(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Another program holding the file (BEGIN EXCLUSIVE in sqlite3): the run
// waits beside it, a read meanwhile lists what the file has and says what
// waits, and the first read that finds the file free puts the run in, once.
TEST(SqliteHistory, ARunMeetingTheFileHeldWaitsBesideItUntilTheFileIsFree) {
  using namespace std::chrono_literals;
  TempDir dir;
  const std::string path = dir.File("history.sqlite");
  const auto open = [&] {
    return OpenRunHistory({HistoryKind::SqliteFile, path, {}, false}, {.fileLock = 1s});
  };
  ASSERT_EQ(open()->Record(SampleRun(5, 0)).status, RecordStatus::Stored);
  std::optional<HeldSqliteFile> held(std::in_place, path);
  const RecordOutcome kept = open()->Record(SampleRun(5, 1));
  EXPECT_EQ(kept.status, RecordStatus::Kept);
  EXPECT_TRUE(Says(kept.message,
                   "файл истории занят другой программой, не освободился за 1 с "
                   "(database is locked); запуск сохранён в \"" +
                       path + "-spool\""))
      << kept.message;
  const auto whileHeld = open()->ListTestRuns({});
  ASSERT_TRUE(whileHeld.ok()) << whileHeld.error;
  EXPECT_EQ(whileHeld.value.size(), 2u);
  EXPECT_TRUE(Says(whileHeld.notice, "ещё ждут записи: 1")) << whileHeld.notice;

  held.reset();
  const auto freed = open()->ListTestRuns({});
  EXPECT_EQ(freed.value.size(), 4u);
  EXPECT_TRUE(Says(freed.notice, "ждавшие в \"" + path + "-spool\": 1")) << freed.notice;
  const auto again = open()->ListTestRuns({});
  EXPECT_EQ(again.value.size(), 4u);
  EXPECT_EQ(again.notice, "");
}

TEST(SqliteHistory, ASignalEndsTheWaitForAHeldFileAndTheRunStillWaitsBeside) {
  using namespace std::chrono_literals;
  TempDir dir;
  const std::string path = dir.File("history.sqlite");
  ASSERT_EQ(OpenFile(path)->Record(SampleRun(5, 0)).status, RecordStatus::Stored);
  const HeldSqliteFile held(path);
  // A run already waits: its delivery is the wait the signal ends, and the
  // new run is not waited for after it.
  ASSERT_EQ(OpenRunHistory({HistoryKind::SqliteFile, path, {}, false}, {.fileLock = 100ms})
                ->Record(SampleRun(5, 1))
                .status,
            RecordStatus::Kept);
  // One signal came before the wait (Ctrl-C that aborted the tests); the
  // one that comes while it waits ends it, long before its bound.
  volatile std::sig_atomic_t signals = 1;
  std::thread signaller([&] {
    std::this_thread::sleep_for(300ms);
    signals = signals + 1;
  });
  const RecordOutcome outcome = OpenRunHistory({HistoryKind::SqliteFile, path, {}, false},
                                               {.signalCount = &signals, .fileLock = 600s})
                                    ->Record(SampleRun(5, 1));
  signaller.join();
  EXPECT_EQ(outcome.status, RecordStatus::Kept) << outcome.message;
  EXPECT_TRUE(Says(outcome.message, "занят другой программой, ожидание прервано сигналом"))
      << outcome.message;
}

}  // namespace
}  // namespace vr512b::history::testing
