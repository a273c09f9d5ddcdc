// --list-runs and --show-run on a history: what goes to stdout, and what
// is said instead when there is nothing to print.

#include <gtest/gtest.h>

#include <algorithm>

#include "autotests/history/history_test_support.h"
#include "history/history_commands.h"

namespace vr512b::history::testing {
namespace {

class HistoryCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    history_ = OpenRunHistory({HistoryKind::SqliteFile, dir_.File("history.sqlite"), {}, false});
    run_ = SampleRun(4242, 5);
    // A log as a unit's garbage and a missing last line break leave it.
    run_.log += std::string("\xFF\x00\r", 3) + "без перевода строки";
    ASSERT_EQ(history_->Record(run_).status, RecordStatus::Stored);
  }

  TempDir dir_;
  std::unique_ptr<RunHistory> history_;
  RecordedRun run_;
};

TEST_F(HistoryCommands, ShowRunPrintsTheLogByteForByte) {
  const CommandOutput shown = ShowRunCommand(*history_, run_.runId);
  EXPECT_EQ(shown.error, "");
  EXPECT_EQ(shown.text, run_.log);
}

TEST_F(HistoryCommands, ShowRunSaysWhyItPrintsNothing) {
  const CommandOutput malformed = ShowRunCommand(*history_, "42");
  EXPECT_EQ(malformed.text, "");
  EXPECT_EQ(malformed.error,
            "\"42\" не идентификатор запуска: ожидается UUID вида "
            "5f0c2d4e-8a1b-4c3d-9e7f-0a1b2c3d4e5f, как его показывает --list-runs");
  const std::string unknown = "00000000-0000-4000-8000-000000000000";
  EXPECT_EQ(ShowRunCommand(*history_, unknown).error,
            "запуска " + unknown + " нет в истории \"" + dir_.File("history.sqlite") + "\"");
}

TEST_F(HistoryCommands, ListRunsPrintsTheUnitsTestRunsAsCsvOrJson) {
  ASSERT_EQ(history_->Record(SampleRun(17, 1)).status, RecordStatus::Stored);
  const RunQuery unit{.unitSerial = 4242};
  const CommandOutput csv = ListRunsCommand(*history_, unit, ListFormat::Csv);
  EXPECT_EQ(csv.error, "");
  EXPECT_EQ(csv.text,
            "run_id,started,finished,station,unit_serial,reference_serial,test,verdict,bench\n" +
                run_.runId +
                ",2026-12-08T09:05:00.128Z,2026-12-08T09:05:16.025Z,bench-3,4242,10001,func,OK,"
                "real\n" +
                run_.runId +
                ",2026-12-08T09:05:16.026Z,2026-12-08T09:05:16.155Z,bench-3,4242,10001,indic,"
                "Ошибка,real\n");
  const CommandOutput json = ListRunsCommand(*history_, unit, ListFormat::Json);
  EXPECT_EQ(json.text.substr(0, 18), "[\n  {\"run_id\": \"" + run_.runId.substr(0, 2));
  EXPECT_EQ(std::count(json.text.begin(), json.text.end(), '{'), 2);
}

TEST(HistoryCommandsFailing, PassOnTheHistorysOwnError) {
  TempDir dir;
  WriteFile(dir.File("history.sqlite"), "not a database");
  const auto history =
      OpenRunHistory({HistoryKind::SqliteFile, dir.File("history.sqlite"), {}, false});
  const CommandOutput listed = ListRunsCommand(*history, {}, ListFormat::Csv);
  EXPECT_EQ(listed.text, "");
  EXPECT_NE(listed.error.find("не является базой данных SQLite"), std::string::npos)
      << listed.error;
  const CommandOutput shown = ShowRunCommand(*history, NewRunId());
  EXPECT_NE(shown.error.find("не является базой данных SQLite"), std::string::npos) << shown.error;
}

}  // namespace
}  // namespace vr512b::history::testing
