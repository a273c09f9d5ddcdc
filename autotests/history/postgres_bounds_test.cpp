// Every wait on a server is bounded and ends at once on a signal: a server
// that takes the connection and never answers, a table another session
// keeps locked, and the runner told to stop while it waits.

#include <gtest/gtest.h>

#include <csignal>
#include <thread>

#include "autotests/history/cli_process.h"
#include "autotests/history/history_test_support.h"
#include "autotests/history/pg_database_test.h"
#include "autotests/history/silent_server.h"
#include "history/pg_connection.h"
#include "history/run_history.h"

namespace vr512b::history::testing {
namespace {

using namespace std::chrono_literals;

std::unique_ptr<RunHistory> OpenWith(const std::string& uri, const TempDir& dir,
                                     HistoryWaits waits) {
  return OpenRunHistory({HistoryKind::Postgres, uri, dir.File("spool.sqlite"), false}, waits);
}

bool Says(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(PostgresBounds, ASilentServerKeepsTheRunLocallyOnceItsBoundPassesOrASignalComes) {
  TempDir dir;
  const SilentServer server(dir.path());
  const RecordOutcome timedOut =
      OpenWith(server.Uri(), dir, {.connect = 1s})->Record(SampleRun(21, 1));
  EXPECT_EQ(timedOut.status, RecordStatus::Kept) << timedOut.message;
  EXPECT_TRUE(Says(timedOut.message, "недоступен: нет ответа за 1 с")) << timedOut.message;
  EXPECT_TRUE(Says(timedOut.message, "запуск сохранён локально")) << timedOut.message;

  // A signal that came before the wait does not end it; one that comes
  // while it waits does, long before its bound.
  volatile std::sig_atomic_t signals = 1;
  std::thread signaller([&] {
    std::this_thread::sleep_for(300ms);
    signals = signals + 1;
  });
  const RecordOutcome interrupted =
      OpenWith(server.Uri(), dir, {.signalCount = &signals, .connect = 600s})
          ->Record(SampleRun(21, 2));
  signaller.join();
  EXPECT_EQ(interrupted.status, RecordStatus::Kept) << interrupted.message;
  EXPECT_TRUE(Says(interrupted.message, "ожидание ответа прервано сигналом"))
      << interrupted.message;
}

// libpq words a failure over several lines, indented by TABs; said on one.
TEST(PostgresBounds, WhatANoServerSaysIsOneLineWithoutTabs) {
  TempDir dir;
  const RecordOutcome outcome =
      OpenWith("postgresql://vr@/history?host=" + dir.path(), dir, {})->Record(SampleRun(23, 1));
  EXPECT_EQ(outcome.status, RecordStatus::Kept) << outcome.message;
  EXPECT_TRUE(Says(outcome.message, "No such file or directory Is the server running"))
      << outcome.message;
  EXPECT_EQ(outcome.message.find_first_of("\t\n"), std::string::npos) << outcome.message;
}

TEST(PostgresBounds, ARunnerToldToStopWhileItWaitsForTheServerStopsAtOnce) {
  for (const int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    TempDir dir;
    const SilentServer server(dir.path(), [signal](pid_t runner) { ::kill(runner, signal); });
    const CliResult result =
        RunCliProcess({"--list-runs", "--history", server.Uri({}, "&connect_timeout=120")},
                      {{"HOME", dir.path()}});
    EXPECT_NE(result.status, 0);
    EXPECT_TRUE(Says(result.err, "ожидание ответа прервано сигналом")) << result.err;
  }
}

using PostgresLocks = PgDatabaseTest;

TEST_F(PostgresLocks, ATableAnotherSessionKeepsLockedKeepsTheRunLocally) {
  const std::string uri = server_->Uri(database_);
  ASSERT_EQ(OpenWith(uri, dir_, {})->Record(SampleRun(22, 1)).status, RecordStatus::Stored);
  PgConnection holder(uri);
  holder.Execute("BEGIN; LOCK TABLE vr512b_history.runs IN ACCESS EXCLUSIVE MODE");
  const RecordOutcome outcome = OpenWith(uri, dir_, {})->Record(SampleRun(22, 2));
  EXPECT_EQ(outcome.status, RecordStatus::Kept) << outcome.message;
  EXPECT_TRUE(Says(outcome.message, "lock timeout")) << outcome.message;
  holder.Execute("ROLLBACK");
  // The kept run goes with the next one.
  const auto history = OpenWith(uri, dir_, {});
  ASSERT_EQ(history->Record(SampleRun(22, 3)).status, RecordStatus::Stored);
  EXPECT_EQ(history->ListTestRuns({.unitSerial = 22}).value.size(), 3 * SampleRun(22).tests.size());
}

}  // namespace
}  // namespace vr512b::history::testing
