// Run ids, station names and the way a test's log lines are kept.

#include <gtest/gtest.h>

#include <set>

#include "autotests/history/history_test_support.h"
#include "history/recorded_run.h"

namespace vr512b::history {
namespace {

TEST(RunId, IsAFreshVersion4UuidInCanonicalForm) {
  std::set<std::string> seen;
  for (int i = 0; i < 2000; ++i) {
    const std::string id = NewRunId();
    ASSERT_EQ(CanonicalRunId(id), id);
    EXPECT_EQ(id[14], '4') << id;
    EXPECT_NE(std::string("89ab").find(id[19]), std::string::npos) << id;
    EXPECT_TRUE(seen.insert(id).second) << id;
  }
}

TEST(RunId, CanonicalFormIsLowerCaseAndAnythingElseIsNoId) {
  EXPECT_EQ(CanonicalRunId("5F0C2D4E-8A1B-4C3D-9E7F-0A1B2C3D4E5F"),
            "5f0c2d4e-8a1b-4c3d-9e7f-0a1b2c3d4e5f");
  for (const char* bad :
       {"", "5f0c2d4e8a1b4c3d9e7f0a1b2c3d4e5f", "5f0c2d4e-8a1b-4c3d-9e7f-0a1b2c3d4e5",
        "5f0c2d4e-8a1b-4c3d-9e7f-0a1b2c3d4e5f0", "5f0c2d4e-8a1b4-c3d-9e7f-0a1b2c3d4e5f",
        "5f0c2d4e-8a1b-4c3d-9e7f-0a1b2c3d4e5g", "{5f0c2d4e-8a1b-4c3d-9e7f-0a1b2c3d4e}"})
    EXPECT_EQ(CanonicalRunId(bad), std::nullopt) << bad;
}

TEST(StationName, IsPlainPrintableText) {
  const std::string station = LocalStationName();
  EXPECT_FALSE(station.empty());
  for (const char c : station)
    EXPECT_TRUE(c > 0x20 && c < 0x7F) << station;
}

TEST(LogLines, EveryListOfLinesSurvivesTheJoin) {
  const std::vector<std::vector<std::string>> lists = {
      {},
      {""},
      {"", ""},
      {"---", ">>>>>--Проверка функционирования--<<<<<", "---", ""},
      {"a\nb", "c"},
      {"\\"},
      {"ends with a backslash\\", "\\n is not a line break"},
      {std::string("nul\0inside", 10), "\xFF\xFE"},
  };
  for (const auto& lines : lists)
    EXPECT_EQ(SplitLogLines(JoinLogLines(lines)), lines) << JoinLogLines(lines);
  // Plain lines read plainly: one a line, as the log shows them.
  EXPECT_EQ(JoinLogLines({"Проверяемое УПО", ""}), "Проверяемое УПО\n\n");
}

TEST(RecordedRunCheck, NamesWhatCannotBeStored) {
  RecordedRun run = testing::SampleRun(5);
  EXPECT_EQ(CheckRecordedRun(run), "");
  run.runId = "5F0C2D4E-8A1B-4C3D-9E7F-0A1B2C3D4E5F";
  EXPECT_NE(CheckRecordedRun(run).find("идентификатор запуска"), std::string::npos);

  run = testing::SampleRun(5);
  run.station = "bench\xFF";
  EXPECT_NE(CheckRecordedRun(run).find("станция"), std::string::npos);
  run = testing::SampleRun(5);
  run.tests[1].caption = std::string("Инд\0икация", 19);
  EXPECT_NE(CheckRecordedRun(run).find("название проверки"), std::string::npos);
  run = testing::SampleRun(5);
  run.bench.reset();
  EXPECT_EQ(CheckRecordedRun(run), "не указано, на каком стенде прошел запуск");

  // Log text and parameter values are kept whatever they hold.
  run = testing::SampleRun(5);
  run.log += "\xFF";
  run.tests[0].log.push_back(std::string("\0", 1));
  run.parameters[0].value = "\xFE";
  EXPECT_EQ(CheckRecordedRun(run), "");
}

}  // namespace
}  // namespace vr512b::history
