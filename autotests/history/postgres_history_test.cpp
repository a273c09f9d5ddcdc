// The history on a real PostgreSQL server (started by the CTest fixture, or
// by a test for itself when it must stop and start it): a server that goes
// away and comes back, a login it refuses, tables of an older version, and
// runs sent again that must still be stored once.

#include <gtest/gtest.h>

#include <set>

#include <stdlib.h>
#include <sys/stat.h>

#include "autotests/history/history_contract.h"
#include "autotests/history/pg_database_test.h"
#include "history/pg_connection.h"
#include "history/run_history.h"
#include "history/run_spool.h"

namespace vr512b::history::testing {
namespace {}  // namespace

std::optional<HistoryLocation> FreshHistory(const TempDir& dir, std::string& why) {
  std::optional<PgServer> server = PgServer::Fixture(why);
  if (!server)
    return std::nullopt;
  return HistoryLocation{HistoryKind::Postgres, server->Uri(server->CreateDatabase()),
                         dir.File("spool.sqlite"), false};
}

namespace {

class PostgresHistoryTest : public PgDatabaseTest {
 protected:
  std::unique_ptr<RunHistory> Open(const std::string& uri) {
    return OpenRunHistory({HistoryKind::Postgres, uri, dir_.File("spool.sqlite"), false});
  }
  std::int64_t Count(const std::string& sql) {
    return std::stoll(server_->QueryText(database_, sql));
  }
};

// Each run once, and no other: the server's runs are exactly `expected`.
void ExpectStoredOnce(RunHistory& history, const std::vector<RecordedRun>& expected) {
  const auto rows = history.ListTestRuns({});
  ASSERT_TRUE(rows.ok()) << rows.error;
  std::multiset<std::string> stored;
  for (const TestRunRow& row : rows.value)
    stored.insert(row.runId);
  std::multiset<std::string> wanted;
  for (const RecordedRun& run : expected) {
    for (std::size_t i = 0; i < run.tests.size(); ++i)
      wanted.insert(run.runId);
  }
  EXPECT_EQ(stored, wanted);
}

TEST(PostgresServer, StoppedAndStartedAgainLosesNothingAndStoresNothingTwice) {
  TempDir state;
  std::string why;
  const std::optional<PgServer> server = PgServer::Private(state.path(), why);
  if (!server)
    GTEST_SKIP() << why;
  struct Removal {
    std::string state;
    ~Removal() {
      const std::string command =
          "bash '" + PgServerScript() + "' remove '" + state + "' > /dev/null 2>&1";
      if (std::system(command.c_str()) != 0)
        std::fprintf(stderr, "could not remove the private server in %s\n", state.c_str());
    }
  } removal{state.path()};
  TempDir dir;
  const std::string uri = server->Uri("postgres");
  const std::string spool = dir.File("spool.sqlite");
  // One console that keeps its connection across the outage, as the window does.
  const auto console = OpenRunHistory({HistoryKind::Postgres, uri, spool, false});

  std::vector<RecordedRun> runs;
  for (int i = 0; i < 3; ++i) {
    runs.push_back(SampleRun(77, i));
    ASSERT_EQ(console->Record(runs.back()).status, RecordStatus::Stored);
  }

  server->Stop();
  for (int i = 3; i < 6; ++i) {
    runs.push_back(SampleRun(77, i));
    const RecordOutcome outcome = console->Record(runs.back());
    EXPECT_EQ(outcome.status, RecordStatus::Kept) << outcome.message;
    EXPECT_NE(outcome.message.find("недоступен"), std::string::npos) << outcome.message;
  }
  EXPECT_FALSE(console->ListTestRuns({}).ok());
  EXPECT_EQ(RunSpool(spool).Waiting(NameServer(uri).key), 3u);

  server->Start();
  // The next record finds the server again: the kept runs go first, then its own.
  runs.push_back(SampleRun(77, 6));
  const RecordOutcome back = console->Record(runs.back());
  EXPECT_EQ(back.status, RecordStatus::Stored) << back.message;
  EXPECT_EQ(back.message, "на сервер истории отправлены запуски, сохранённые локально: 3");
  EXPECT_EQ(RunSpool(spool).Waiting(NameServer(uri).key), 0u);
  ExpectStoredOnce(*console, runs);
  // A second console that kept nothing has nothing to add.
  ExpectStoredOnce(*OpenRunHistory({HistoryKind::Postgres, uri, spool, false}), runs);

  // Down again; this time a read is what finds it back up.
  server->Stop();
  runs.push_back(SampleRun(77, 7));
  EXPECT_EQ(console->Record(runs.back()).status, RecordStatus::Kept);
  server->Start();
  const auto rows = console->ListTestRuns({.unitSerial = 77});
  ASSERT_TRUE(rows.ok()) << rows.error;
  EXPECT_EQ(rows.notice, "на сервер истории отправлены запуски, сохранённые локально: 1");
  EXPECT_EQ(rows.value.size(), 2 * runs.size());
  ExpectStoredOnce(*console, runs);
}

TEST_F(PostgresHistoryTest, ARunSentAgainAfterItsAnswerWasLostIsStoredOnce) {
  const std::string uri = server_->Uri(database_);
  const auto history = Open(uri);
  const RecordedRun committed = SampleRun(9, 1);
  ASSERT_EQ(history->Record(committed).status, RecordStatus::Stored);
  // The server committed it, but the answer never came: the console kept it.
  RunSpool(dir_.File("spool.sqlite")).Keep(committed, NameServer(uri).key);

  const RecordedRun next = SampleRun(9, 2);
  const RecordOutcome outcome = history->Record(next);
  EXPECT_EQ(outcome.status, RecordStatus::Stored) << outcome.message;
  ExpectStoredOnce(*history, {committed, next});
  EXPECT_EQ(Count("SELECT count(*) FROM vr512b_history.test_logs"), 4);
  EXPECT_EQ(RunSpool(dir_.File("spool.sqlite")).Waiting(NameServer(uri).key), 0u);
}

TEST_F(PostgresHistoryTest, ConsolesSendingOneSpoolAtOnceStoreEachRunOnce) {
  const std::string uri = server_->Uri(database_);
  RunSpool spool(dir_.File("spool.sqlite"));
  std::vector<RecordedRun> runs;
  for (int i = 0; i < 40; ++i) {
    runs.push_back(SampleRun(11, i));
    spool.Keep(runs.back(), NameServer(uri).key);
  }
  const std::vector<int> statuses =
      RunInChildren(4, [&](int) { return Open(uri)->ListTestRuns({}).ok() ? 0 : 1; });
  EXPECT_EQ(statuses, std::vector<int>(4, 0));
  ExpectStoredOnce(*Open(uri), runs);
  EXPECT_EQ(spool.Waiting(NameServer(uri).key), 0u);
}

TEST_F(PostgresHistoryTest, RunsKeptForOneDatabaseAreNotSentToAnother) {
  RunSpool spool(dir_.File("spool.sqlite"));
  const RecordedRun elsewhere = SampleRun(12, 1);
  const std::string other = server_->Uri(server_->CreateDatabase());
  spool.Keep(elsewhere, NameServer(other).key);

  const auto history = Open(server_->Uri(database_));
  const RecordedRun here = SampleRun(12, 2);
  ASSERT_EQ(history->Record(here).status, RecordStatus::Stored);
  ExpectStoredOnce(*history, {here});
  EXPECT_EQ(spool.Waiting(NameServer(other).key), 1u);
  ExpectStoredOnce(*Open(other), {elsewhere});  // and there it goes when asked
}

TEST_F(PostgresHistoryTest, ARefusedLoginKeepsTheRunsUntilTheLoginWorks) {
  // Roles belong to the whole server: one of this test's own.
  const std::string role = "historian_" + database_;
  server_->Execute(database_, "CREATE ROLE " + role + " LOGIN PASSWORD 'right'");
  server_->Execute(database_, "GRANT CREATE ON DATABASE " + database_ + " TO " + role);
  const auto wrong = Open(server_->Uri(database_, role, "wrong"));
  EXPECT_NE(wrong->Prepare().find("отказал во входе"), std::string::npos);
  const RecordedRun refused = SampleRun(13, 1);
  const RecordOutcome outcome = wrong->Record(refused);
  EXPECT_EQ(outcome.status, RecordStatus::Kept);
  EXPECT_EQ(outcome.message.find("сервер истории " + role + "@"), 0u) << outcome.message;
  EXPECT_NE(outcome.message.find("отказал во входе"), std::string::npos) << outcome.message;
  EXPECT_NE(outcome.message.find("password authentication failed"), std::string::npos)
      << outcome.message;
  EXPECT_NE(outcome.message.find("запуск сохранён локально"), std::string::npos) << outcome.message;
  const auto rows = wrong->ListTestRuns({});
  EXPECT_FALSE(rows.ok());
  EXPECT_NE(rows.error.find("отказал во входе"), std::string::npos) << rows.error;
  // Nothing was created on the server by the refused login.
  EXPECT_EQ(Count("SELECT count(*) FROM pg_namespace WHERE nspname = 'vr512b_history'"), 0);

  const RecordOutcome nobody =
      Open(server_->Uri(database_, "nobody", "x"))->Record(SampleRun(13, 2));
  EXPECT_NE(nobody.message.find("отказал во входе"), std::string::npos) << nobody.message;

  // The password put right: both kept runs arrive with the next one.
  const auto right = Open(server_->Uri(database_, role, "right"));
  const RecordedRun next = SampleRun(13, 3);
  const RecordOutcome stored = right->Record(next);
  EXPECT_EQ(stored.status, RecordStatus::Stored) << stored.message;
  EXPECT_EQ(right->ListTestRuns({.unitSerial = 13}).value.size(), 6u);
}

// The ways a password stays off the command line, each read by libpq from
// the environment the console runs in.
TEST_F(PostgresHistoryTest, APasswordKeptOffTheCommandLineStillLogsIn) {
  const std::string role = "keeper_" + database_;
  server_->Execute(database_, "CREATE ROLE " + role + " LOGIN PASSWORD 'right'");
  server_->Execute(database_, "GRANT CREATE ON DATABASE " + database_ + " TO " + role);
  const std::string passwordFile = dir_.File("pgpass");
  WriteFile(passwordFile, "*:*:*:" + role + ":right\n");
  ::chmod(passwordFile.c_str(), 0600);
  const std::string serviceFile = dir_.File("pg_service.conf");
  const std::string uri = server_->Uri(database_, role);
  WriteFile(serviceFile, "[bench]\nhost=" + server_->socketFolder() + "\nport=" + server_->port() +
                             "\ndbname=" + database_ + "\nuser=" + role + "\n");
  struct Way {
    const char* name;
    std::vector<std::pair<const char*, std::string>> environment;
    std::string uri;
  };
  const Way ways[] = {
      {"PGPASSFILE", {{"PGPASSFILE", passwordFile}}, uri},
      {"PGPASSWORD", {{"PGPASSWORD", "right"}}, uri},
      {"service=",
       {{"PGSERVICEFILE", serviceFile}, {"PGPASSFILE", passwordFile}},
       "postgresql://?service=bench"},
  };
  int minute = 0;
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    for (const auto& [name, value] : way.environment)
      ::setenv(name, value.c_str(), 1);
    const RecordOutcome outcome = Open(way.uri)->Record(SampleRun(14, ++minute));
    for (const auto& [name, value] : way.environment)
      ::unsetenv(name);
    EXPECT_EQ(outcome.status, RecordStatus::Stored) << outcome.message;
  }
  EXPECT_EQ(Count("SELECT count(DISTINCT run_id) FROM vr512b_history.runs"), 3);
}

// Tables as the first version of this program made them on a server.
constexpr const char* kVersion1Tables = R"sql(
CREATE SCHEMA vr512b_history;
CREATE TABLE vr512b_history.schema_version (version integer NOT NULL);
INSERT INTO vr512b_history.schema_version VALUES (1);
CREATE TABLE vr512b_history.runs (run_id uuid PRIMARY KEY, program_version text NOT NULL,
  station text NOT NULL, started_ms bigint NOT NULL, finished_ms bigint NOT NULL,
  unit_serial integer, unit_version integer, reference_serial integer, reference_version integer);
CREATE TABLE vr512b_history.run_logs (run_id uuid PRIMARY KEY
  REFERENCES vr512b_history.runs (run_id) ON DELETE CASCADE, log bytea NOT NULL);
CREATE TABLE vr512b_history.test_runs (run_id uuid NOT NULL
  REFERENCES vr512b_history.runs (run_id) ON DELETE CASCADE, seq integer NOT NULL,
  test_id text NOT NULL, caption text NOT NULL, verdict text, started_ms bigint NOT NULL,
  finished_ms bigint, PRIMARY KEY (run_id, seq));
CREATE TABLE vr512b_history.test_logs (run_id uuid NOT NULL, seq integer NOT NULL,
  log bytea NOT NULL, PRIMARY KEY (run_id, seq), FOREIGN KEY (run_id, seq)
  REFERENCES vr512b_history.test_runs (run_id, seq) ON DELETE CASCADE);
CREATE TABLE vr512b_history.run_parameters (run_id uuid NOT NULL
  REFERENCES vr512b_history.runs (run_id) ON DELETE CASCADE, seq integer NOT NULL,
  name text NOT NULL, value bytea NOT NULL, PRIMARY KEY (run_id, seq));
CREATE INDEX runs_by_start ON vr512b_history.runs (started_ms, run_id);
INSERT INTO vr512b_history.runs VALUES ('0b7e7c1e-1d2a-4c3b-9e8f-5a6b7c8d9e0f', '2.0.0.2',
  'old-bench', 1796720400000, 1796720416000, 321, 258, NULL, NULL);
INSERT INTO vr512b_history.run_logs VALUES ('0b7e7c1e-1d2a-4c3b-9e8f-5a6b7c8d9e0f',
  convert_to(E'строка 1\nстрока 2\n', 'UTF8'));
INSERT INTO vr512b_history.test_runs VALUES ('0b7e7c1e-1d2a-4c3b-9e8f-5a6b7c8d9e0f', 0, 'func',
  'Функционирование', 'Ошибка', 1796720400010, 1796720415990);
INSERT INTO vr512b_history.test_logs VALUES ('0b7e7c1e-1d2a-4c3b-9e8f-5a6b7c8d9e0f', 0,
  convert_to(E'строка 1\nстрока 2\n', 'UTF8'));
)sql";

TEST_F(PostgresHistoryTest, TablesOfAnOlderVersionAreMigratedByOneConsole) {
  server_->Execute(database_, kVersion1Tables);
  const std::string uri = server_->Uri(database_);
  // Several consoles meet the old tables at once; one migrates, the others wait.
  const std::vector<int> statuses = RunInChildren(4, [&](int i) {
    return Open(uri)->Record(SampleRun(321, 100 + i)).status == RecordStatus::Stored ? 0 : 1;
  });
  EXPECT_EQ(statuses, std::vector<int>(4, 0));

  EXPECT_EQ(server_->QueryText(database_, "SELECT version FROM vr512b_history.schema_version"),
            "3");
  EXPECT_EQ(Count("SELECT count(*) FROM vr512b_history.schema_version"), 1);
  EXPECT_EQ(Count("SELECT count(*) FROM pg_indexes WHERE indexname = 'runs_by_unit'"), 1);
  const auto history = Open(uri);
  const auto rows = history->ListTestRuns({.unitSerial = 321});
  ASSERT_TRUE(rows.ok()) << rows.error;
  ASSERT_EQ(rows.value.size(), 9u);
  EXPECT_EQ(rows.value[0].runId, "0b7e7c1e-1d2a-4c3b-9e8f-5a6b7c8d9e0f");
  EXPECT_EQ(rows.value[0].verdict, Verdict::Failed);
  EXPECT_EQ(rows.value[0].referenceSerial, std::nullopt);
  const auto old = history->FindRun("0b7e7c1e-1d2a-4c3b-9e8f-5a6b7c8d9e0f");
  ASSERT_TRUE(old.value.has_value()) << old.error;
  EXPECT_EQ(old.value->program, "");
  EXPECT_EQ(old.value->log, "строка 1\nстрока 2\n");
  EXPECT_EQ(old.value->tests[0].log, (std::vector<std::string>{"строка 1", "строка 2"}));
}

TEST_F(PostgresHistoryTest, TablesThatAreNotOursOrNewerAreLeftAlone) {
  server_->Execute(database_,
                   "CREATE SCHEMA vr512b_history; CREATE TABLE vr512b_history.runs (x int)");
  const auto foreign = Open(server_->Uri(database_));
  const RecordOutcome outcome = foreign->Record(SampleRun(14));
  EXPECT_EQ(outcome.status, RecordStatus::Kept);
  EXPECT_NE(outcome.message.find("не история запусков"), std::string::npos) << outcome.message;
  EXPECT_EQ(Count("SELECT count(*) FROM pg_tables WHERE schemaname = 'vr512b_history'"), 1);

  const std::string newer = server_->CreateDatabase();
  server_->Execute(newer,
                   "CREATE SCHEMA vr512b_history;"
                   "CREATE TABLE vr512b_history.schema_version (version integer NOT NULL);"
                   "INSERT INTO vr512b_history.schema_version VALUES (4)");
  const auto rows = Open(server_->Uri(newer))->ListTestRuns({});
  EXPECT_FALSE(rows.ok());
  EXPECT_NE(rows.error.find("более новой версией"), std::string::npos) << rows.error;
  EXPECT_EQ(server_->QueryText(newer, "SELECT version FROM vr512b_history.schema_version"), "4");
}

// Tables of version 2 as the previous version made them (history/schema.cpp
// at commit 86a0002: version 1's tables and its step to version 2), holding a
// run of each verdict the console stored as its text then, and a test cut
// short.
constexpr const char* kVersion2Tables = R"sql(
CREATE SCHEMA vr512b_history;
CREATE TABLE vr512b_history.schema_version (version integer NOT NULL);
INSERT INTO vr512b_history.schema_version VALUES (2);
CREATE TABLE vr512b_history.runs (
  run_id uuid PRIMARY KEY,
  program_version text NOT NULL,
  station text NOT NULL,
  started_ms bigint NOT NULL,
  finished_ms bigint NOT NULL,
  unit_serial integer,
  unit_version integer,
  reference_serial integer,
  reference_version integer
);
CREATE TABLE vr512b_history.run_logs (
  run_id uuid PRIMARY KEY REFERENCES vr512b_history.runs (run_id) ON DELETE CASCADE,
  log bytea NOT NULL
);
CREATE TABLE vr512b_history.test_runs (
  run_id uuid NOT NULL REFERENCES vr512b_history.runs (run_id) ON DELETE CASCADE,
  seq integer NOT NULL,
  test_id text NOT NULL,
  caption text NOT NULL,
  verdict text,
  started_ms bigint NOT NULL,
  finished_ms bigint,
  PRIMARY KEY (run_id, seq)
);
CREATE TABLE vr512b_history.test_logs (
  run_id uuid NOT NULL,
  seq integer NOT NULL,
  log bytea NOT NULL,
  PRIMARY KEY (run_id, seq),
  FOREIGN KEY (run_id, seq) REFERENCES vr512b_history.test_runs (run_id, seq) ON DELETE CASCADE
);
CREATE TABLE vr512b_history.run_parameters (
  run_id uuid NOT NULL REFERENCES vr512b_history.runs (run_id) ON DELETE CASCADE,
  seq integer NOT NULL,
  name text NOT NULL,
  value bytea NOT NULL,
  PRIMARY KEY (run_id, seq)
);
CREATE INDEX runs_by_start ON vr512b_history.runs (started_ms, run_id);
ALTER TABLE vr512b_history.runs ADD COLUMN program text NOT NULL DEFAULT '';
CREATE INDEX runs_by_unit ON vr512b_history.runs (unit_serial, started_ms, run_id);
INSERT INTO vr512b_history.runs VALUES ('0b7e7c1e-1d2a-4c3b-9e8f-5a6b7c8d9e0f', '2.0.0.3',
  'old-bench', 1796720400000, 1796720416000, 321, 258, NULL, NULL, 'vr512b-diag-cli');
INSERT INTO vr512b_history.run_logs VALUES ('0b7e7c1e-1d2a-4c3b-9e8f-5a6b7c8d9e0f',
  convert_to(E'func\nindic\ntr\nrx\n', 'UTF8'));
INSERT INTO vr512b_history.test_runs VALUES
  ('0b7e7c1e-1d2a-4c3b-9e8f-5a6b7c8d9e0f', 0, 'func', 'Функционирование', 'OK', 1, 2),
  ('0b7e7c1e-1d2a-4c3b-9e8f-5a6b7c8d9e0f', 1, 'indic', 'Индикация', 'Ошибка', 3, 4),
  ('0b7e7c1e-1d2a-4c3b-9e8f-5a6b7c8d9e0f', 2, 'tr', 'Передача данных', 'Прервано', 5, 6),
  ('0b7e7c1e-1d2a-4c3b-9e8f-5a6b7c8d9e0f', 3, 'rx', 'Прием данных', NULL, 7, NULL);
INSERT INTO vr512b_history.test_logs VALUES
  ('0b7e7c1e-1d2a-4c3b-9e8f-5a6b7c8d9e0f', 0, convert_to(E'func\n', 'UTF8')),
  ('0b7e7c1e-1d2a-4c3b-9e8f-5a6b7c8d9e0f', 1, convert_to(E'indic\n', 'UTF8')),
  ('0b7e7c1e-1d2a-4c3b-9e8f-5a6b7c8d9e0f', 2, convert_to(E'tr\n', 'UTF8')),
  ('0b7e7c1e-1d2a-4c3b-9e8f-5a6b7c8d9e0f', 3, convert_to(E'rx\n', 'UTF8'));
)sql";

TEST_F(PostgresHistoryTest, VerdictTextsOfVersion2BecomeValuesAndNewRunsKeepTheirBench) {
  server_->Execute(database_, kVersion2Tables);
  const auto history = Open(server_->Uri(database_));
  const std::string old = "0b7e7c1e-1d2a-4c3b-9e8f-5a6b7c8d9e0f";

  const auto rows = history->ListTestRuns({});
  ASSERT_TRUE(rows.ok()) << rows.error;
  ASSERT_EQ(rows.value.size(), 4u);
  const std::optional<Verdict> verdicts[] = {Verdict::Ok, Verdict::Failed, Verdict::Aborted,
                                             std::nullopt};
  for (std::size_t i = 0; i < rows.value.size(); ++i) {
    EXPECT_EQ(rows.value[i].verdict, verdicts[i]) << i;
    EXPECT_EQ(rows.value[i].bench, std::nullopt) << i;  // nobody knows
  }
  EXPECT_EQ(server_->QueryText(database_, "SELECT version FROM vr512b_history.schema_version"),
            "3");
  // A log stored without a digest is shown as it is.
  const auto found = history->FindRun(old);
  ASSERT_TRUE(found.ok()) << found.error;
  ASSERT_TRUE(found.value.has_value());
  EXPECT_EQ(found.value->log, "func\nindic\ntr\nrx\n");
  EXPECT_EQ(found.value->tests[1].verdict, Verdict::Failed);

  RecordedRun fresh = SampleRun(321, 90);
  fresh.bench = Bench::Virtual;
  fresh.tests[1].verdict = Verdict::Error;
  ASSERT_EQ(history->Record(fresh).status, RecordStatus::Stored);
  EXPECT_EQ(history->FindRun(fresh.runId).value, fresh);
  EXPECT_EQ(history->ListTestRuns({.verdicts = std::vector{Verdict::Error}}).value.size(), 1u);
  // The codes are all the server takes.
  EXPECT_THROW(server_->Execute(database_,
                                "UPDATE vr512b_history.test_runs SET verdict = 'Ошибка' "
                                "WHERE run_id = '" +
                                    old + "' AND seq = 1"),
               std::exception);

  // A log changed on the server, to one of the same length, is not shown.
  server_->Execute(database_,
                   "UPDATE vr512b_history.test_logs SET log = overlay(log placing "
                   "'=' FROM 1) WHERE run_id = '" +
                       fresh.runId + "' AND seq = 0");
  const auto damaged = history->FindRun(fresh.runId);
  EXPECT_FALSE(damaged.ok());
  EXPECT_EQ(damaged.value, std::nullopt);
  EXPECT_NE(damaged.error.find("повреждён"), std::string::npos) << damaged.error;
}

}  // namespace
}  // namespace vr512b::history::testing
