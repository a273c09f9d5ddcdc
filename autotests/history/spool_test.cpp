// A server that does not answer: its runs are kept in the local spool and
// said so; a spool that cannot keep them says that too. (With a server that
// answers again: postgres_history_test.cpp.)

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "autotests/history/history_test_support.h"
#include "history/pg_connection.h"
#include "history/run_history.h"
#include "history/run_spool.h"

namespace vr512b::history::testing {
namespace {

// A socket folder with no server in it: libpq finds nobody at once.
std::string SilentServer(const TempDir& dir) {
  return "postgresql://historian@/history?host=" + dir.File("no-server") + "&port=5432";
}

TEST(ServerNotAnswering, KeepsEveryRunLocallyAndSaysWhere) {
  TempDir dir;
  const std::string uri = SilentServer(dir);
  const std::string spool = dir.File("data/Korvex/vr512b-history-spool.sqlite");
  const auto history = OpenRunHistory({HistoryKind::Postgres, uri, spool, false});
  EXPECT_EQ(history->Where(), "historian@" + dir.File("no-server") + ":5432/history");
  EXPECT_NE(history->Prepare().find("недоступен"), std::string::npos);

  for (int i = 1; i <= 2; ++i) {
    const RecordOutcome outcome = history->Record(SampleRun(5, i));
    EXPECT_EQ(outcome.status, RecordStatus::Kept);
    EXPECT_EQ(outcome.message.rfind("сервер истории " + history->Where() + " недоступен: ", 0), 0u)
        << outcome.message;
    EXPECT_NE(outcome.message.find("запуск сохранён локально в \"" + spool +
                                   "\" и будет отправлен, когда сервер ответит (ждут отправки: " +
                                   std::to_string(i) + ")"),
              std::string::npos)
        << outcome.message;
  }
  const auto rows = history->ListTestRuns({});
  EXPECT_FALSE(rows.ok());
  EXPECT_NE(rows.error.find("недоступен"), std::string::npos) << rows.error;
  EXPECT_NE(rows.error.find("ждут отправки: 2"), std::string::npos) << rows.error;

  RunSpool kept(spool);
  EXPECT_EQ(kept.Waiting(NameServer(uri).key), 2u);
  // The same database by another login waits in the same queue; another
  // database does not.
  EXPECT_EQ(kept.Waiting(NameServer("postgresql://other@/history?host=" + dir.File("no-server") +
                                    "&port=5432")
                             .key),
            2u);
  EXPECT_EQ(kept.Waiting(NameServer("postgresql://historian@/archive?host=" +
                                    dir.File("no-server") + "&port=5432")
                             .key),
            0u);
}

TEST(ServerNotAnswering, ARunIsLostOnlyWhenTheSpoolCannotKeepItAndSaysBothWhys) {
  TempDir dir;
  const std::string spool = dir.File("spool.sqlite");
  WriteFile(spool, "not a database at all, and not ours to overwrite");
  const auto history = OpenRunHistory({HistoryKind::Postgres, SilentServer(dir), spool, false});
  const RecordOutcome outcome = history->Record(SampleRun(5));
  EXPECT_EQ(outcome.status, RecordStatus::Failed);
  EXPECT_NE(outcome.message.find("недоступен"), std::string::npos) << outcome.message;
  EXPECT_NE(outcome.message.find("не является базой данных SQLite"), std::string::npos)
      << outcome.message;
  EXPECT_NE(outcome.message.find("запуск не записан"), std::string::npos) << outcome.message;
  EXPECT_EQ(ReadFile(spool), "not a database at all, and not ours to overwrite");

  const auto homeless = OpenRunHistory({HistoryKind::Postgres, SilentServer(dir), "", false});
  const RecordOutcome lost = homeless->Record(SampleRun(5));
  EXPECT_EQ(lost.status, RecordStatus::Failed);
  EXPECT_NE(lost.message.find("запуск не записан"), std::string::npos) << lost.message;
}

// Two consoles on one machine flushing the same spool at once: each run is
// counted by the one console that took it out.
TEST(ServerAnswering, ConsolesFlushingOneSpoolAtOnceCountEachRunOnce) {
  TempDir dir;
  const std::string path = dir.File("spool.sqlite");
  constexpr std::size_t kRuns = 12;
  {
    RunSpool spool(path);
    for (std::size_t i = 0; i < kRuns; ++i)
      spool.Keep(SampleRun(31, static_cast<int>(i)), "server");
  }
  const auto flush = [&](RunSpool::Flushed& flushed) {
    RunSpool spool(path);
    flushed = spool.Flush("server", [](const RecordedRun&) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      return RunSpool::Delivery{};
    });
  };
  RunSpool::Flushed first;
  RunSpool::Flushed second;
  std::thread other(flush, std::ref(second));
  flush(first);
  other.join();
  EXPECT_EQ(first.sent + second.sent, kRuns);
  EXPECT_EQ(RunSpool(path).Waiting("server"), 0u);
}

}  // namespace
}  // namespace vr512b::history::testing
