// The console's run record as the history keeps it, and the history on a
// thread of its own that the window records through.

#include <gtest/gtest.h>

#include <future>

#include "app/run_recorder.h"
#include "autotests/history/history_test_support.h"
#include "device/device_types.h"
#include "history/console/background_recorder.h"
#include "history/console/history_worker.h"
#include "history/console/run_record_to_history.h"

namespace vr512b::history::testing {
namespace {

using namespace std::chrono;

WallClock::time_point Wall(std::int64_t microseconds) {
  return WallClock::time_point(duration_cast<WallClock::duration>(
      sys_days(2026y / 12 / 8).time_since_epoch() + std::chrono::microseconds(microseconds)));
}

TimeMs Ms(std::int64_t milliseconds) {
  return TimeMs(sys_days(2026y / 12 / 8).time_since_epoch() +
                std::chrono::milliseconds(milliseconds));
}

RunRecord::Test Test(const char* id, const char* caption, std::optional<Verdict> verdict,
                     std::int64_t startUs, std::optional<std::int64_t> endUs,
                     std::vector<std::string> log, std::size_t outsideBefore) {
  RunRecord::Test test;
  test.id = id;
  test.caption = caption;
  test.verdict = std::move(verdict);
  test.started = Wall(startUs);
  if (endUs)
    test.finished = Wall(*endUs);
  test.log = std::move(log);
  test.outsideLinesBefore = outsideBefore;
  return test;
}

RunRecord Record() {
  RunRecord record;
  record.programVersion = "2.0.0.3";
  record.station = "стенд 2\tцех";
  record.started = Wall(999);
  record.finished = Wall(30'000'999);
  record.parameters.NameVR512BSample = "10001";
  record.parameters.Phone = "2002";
  record.parameters.Secsoa = false;
  record.parameters.Sound = true;
  record.units[urUnderTest] = RunRecord::Unit{10002, 0x0102};
  record.logOutsideTests = {"before", "between 1", "between 2", "after"};
  record.tests.push_back(Test("func", "Функционирование", Verdict::Ok, 1'500, 15'000'700,
                              {"---", "func", "---", ""}, 1));
  record.tests.push_back(
      Test("indic", "Индикация", std::nullopt, 16'000'000, std::nullopt, {"indic"}, 3));
  return record;
}

TEST(ConsoleRecord, IsKeptAsTheHistoryStoresIt) {
  const RecordedRun run = ToRecordedRun(Record(), "vr512b-diag", Bench::Virtual,
                                        "5f0c2d4e-8a1b-4c3d-9e7f-0a1b2c3d4e5f");
  EXPECT_EQ(run.runId, "5f0c2d4e-8a1b-4c3d-9e7f-0a1b2c3d4e5f");
  EXPECT_EQ(run.program, "vr512b-diag");
  EXPECT_EQ(run.programVersion, "2.0.0.3");
  EXPECT_EQ(run.bench, Bench::Virtual);
  // Every byte that is not printable ASCII becomes '?'.
  EXPECT_EQ(run.station, std::string(11, '?') + "2" + std::string(7, '?'));
  // Times are cut to the millisecond, never rounded up.
  EXPECT_EQ(run.started, Ms(0));
  EXPECT_EQ(run.finished, Ms(30'000));
  EXPECT_EQ(run.unitUnderTest, (UnitIdentity{10002, 0x0102}));
  EXPECT_EQ(run.referenceUnit, std::nullopt);
  EXPECT_EQ(run.parameters, (std::vector<RunParameter>{{"NameVR512BSample", "10001"},
                                                       {"PhoneSample", ""},
                                                       {"Phone", "2002"},
                                                       {"IDContact", "1"},
                                                       {"LowSpeed", "1"},
                                                       {"Secsoa", "0"},
                                                       {"Korvex", "1"},
                                                       {"Presto", "1"},
                                                       {"ShortTest", "0"},
                                                       {"Sound", "1"},
                                                       {"SoundSample", "0"},
                                                       {"KorvexTestMsg", "0"},
                                                       {"CBNoTone", "0"}}));
  ASSERT_EQ(run.tests.size(), 2u);
  EXPECT_EQ(
      run.tests[0],
      (RecordedTest{
          "func", "Функционирование", Verdict::Ok, Ms(1), Ms(15'000), {"---", "func", "---", ""}}));
  EXPECT_EQ(
      run.tests[1],
      (RecordedTest{"indic", "Индикация", std::nullopt, Ms(16'000), std::nullopt, {"indic"}}));
  // The lines outside the tests stand where they were written.
  EXPECT_EQ(run.log, "before\n---\nfunc\n---\n\nbetween 1\nbetween 2\nindic\nafter\n");
  EXPECT_EQ(CheckRecordedRun(run), "");
}

TEST(ConsoleRecord, ARunWithoutItsEndEndsWithItsLastTest) {
  RunRecord record = Record();
  record.finished.reset();
  EXPECT_EQ(ToRecordedRun(record, "vr512b-diag-cli", Bench::Real, NewRunId()).finished, Ms(16'000));
  record.tests.pop_back();
  EXPECT_EQ(ToRecordedRun(record, "vr512b-diag-cli", Bench::Real, NewRunId()).finished, Ms(15'000));
  record.tests.clear();
  EXPECT_EQ(ToRecordedRun(record, "vr512b-diag-cli", Bench::Real, NewRunId()).finished, Ms(0));
  record.station.clear();
  EXPECT_EQ(ToRecordedRun(record, "vr512b-diag-cli", Bench::Real, NewRunId()).station, "?");
}

TEST(BackgroundRecorder, RecordsEveryRunInOrderBeforeItGoes) {
  TempDir dir;
  const std::string path = dir.File("history.sqlite");
  std::vector<BackgroundRecorder::News> told;
  std::vector<std::string> ids;
  {
    // Told on the recorder's thread only, and read once that thread is gone.
    BackgroundRecorder recorder(
        OpenRunHistory({HistoryKind::SqliteFile, path, {}, false}), "vr512b-diag", Bench::Virtual,
        [&](const BackgroundRecorder::News& news) { told.push_back(news); });
    recorder.Prepare();
    for (int i = 0; i < 12; ++i) {
      RunRecord record = Record();
      record.units[urUnderTest]->serial = 500 + i;
      // Runs are listed by their start: one a second after the other.
      record.started += seconds(i);
      ids.push_back(recorder.Record(std::move(record)));
    }
    // Going now: every run handed over is recorded first.
  }
  ASSERT_EQ(told.size(), 13u);
  EXPECT_TRUE(told[0].prepare);
  EXPECT_EQ(told[0].message, "");
  for (std::size_t i = 0; i < ids.size(); ++i) {
    EXPECT_FALSE(told[i + 1].prepare);
    EXPECT_EQ(told[i + 1].status, RecordStatus::Stored) << told[i + 1].message;
    EXPECT_EQ(told[i + 1].runId, ids[i]);
  }
  const auto rows = OpenRunHistory({HistoryKind::SqliteFile, path, {}, false})->ListTestRuns({});
  ASSERT_EQ(rows.value.size(), 24u);
  for (std::size_t i = 0; i < ids.size(); ++i) {
    EXPECT_EQ(rows.value[2 * i].runId, ids[i]);
    EXPECT_EQ(rows.value[2 * i].unitSerial, 500 + static_cast<int>(i));
    EXPECT_EQ(rows.value[2 * i].bench, Bench::Virtual);
  }
}

TEST(BackgroundRecorder, SaysWhatBecameOfARunTheHistoryWouldNotTake) {
  TempDir dir;
  const std::string path = dir.File("notes.txt");
  WriteFile(path, "not a database");
  std::vector<BackgroundRecorder::News> told;
  {
    BackgroundRecorder recorder(
        OpenRunHistory({HistoryKind::SqliteFile, path, {}, false}), "vr512b-diag", Bench::Virtual,
        [&](const BackgroundRecorder::News& news) { told.push_back(news); });
    recorder.Prepare();
    recorder.Record(Record());
  }
  ASSERT_EQ(told.size(), 2u);
  EXPECT_EQ(told[0].status, RecordStatus::Failed);
  EXPECT_EQ(told[0].message.find("история \"" + path + "\": "), 0u) << told[0].message;
  EXPECT_EQ(told[1].status, RecordStatus::Failed);
  EXPECT_NE(told[1].message.find("запуск не записан"), std::string::npos) << told[1].message;
  EXPECT_EQ(ReadFile(path), "not a database");
}

TEST(HistoryWorker, RunsJobsInOrderAndForgetsThoseNobodyWaitsFor) {
  TempDir dir;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::promise<void> started;
  std::vector<int> ran;
  HistoryWorker worker(OpenRunHistory({HistoryKind::SqliteFile, dir.File("h.sqlite"), {}, false}));
  worker.Post([&](RunHistory&) {
    started.set_value();
    released.wait();
    ran.push_back(0);
  });
  started.get_future().wait();
  for (int i = 1; i <= 3; ++i)
    worker.Post([&ran, i](RunHistory&) { ran.push_back(i); });
  EXPECT_EQ(worker.DropWaiting(), 3u);
  worker.Post(
      [&ran](RunHistory& history) { ran.push_back(history.ListTestRuns({}).ok() ? 4 : -4); });
  release.set_value();
  worker.Drain();
  EXPECT_EQ(ran, (std::vector<int>{0, 4}));
}

}  // namespace
}  // namespace vr512b::history::testing
