#include "autotests/history/history_contract.h"

#include <climits>
#include <set>

#include "history/run_history.h"

namespace vr512b::history::testing {

void HistoryContract::SetUp() {
  std::string why;
  const std::optional<HistoryLocation> location = FreshHistory(dir_, why);
  if (!location)
    GTEST_SKIP() << why;
  location_ = *location;
}

namespace {

using std::chrono::milliseconds;

// A run with everything that could go wrong on the way in and out: bytes
// that are not UTF-8, NUL, line breaks inside a log line, a backslash at a
// line's end, a test cut short, one the console's error ended, a unit never
// read, extreme numbers, the virtual bench.
RecordedRun AwkwardRun() {
  RecordedRun run = SampleRun(INT32_MIN, 7);
  run.bench = Bench::Virtual;
  run.tests[0].verdict = Verdict::Error;
  run.unitUnderTest->version = 0xFFFF;
  run.referenceUnit.reset();
  run.parameters.push_back({"Phone", std::string("20\xFF\x00"
                                                 "02",
                                                 6)});
  run.parameters.push_back({"Пусто", ""});
  RecordedTest cut;
  cut.id = "tr";
  cut.caption = "Передача данных";
  cut.started = run.finished - milliseconds(5);
  cut.log = {"строка с\nпереводом", "обратная косая \\", "", "\\n буквально",
             "\xC3\x28 плохой UTF-8"};
  run.tests.push_back(cut);
  run.log += std::string("\0\xFF\xFE\r\n", 5) + "конец без перевода строки";
  return run;
}

std::unique_ptr<RunHistory> Open(const HistoryLocation& location) {
  return OpenRunHistory(location);
}

}  // namespace

TEST_F(HistoryContract, GivesBackEveryByteOfARun) {
  const auto history = Open(location_);
  EXPECT_EQ(history->Prepare(), "");
  const RecordedRun run = AwkwardRun();
  const RecordOutcome recorded = history->Record(run);
  ASSERT_EQ(recorded.status, RecordStatus::Stored) << recorded.message;
  EXPECT_EQ(recorded.message, "");

  // Read back by another connection, as --show-run after the run would.
  const auto reader = Open(location_);
  const auto found = reader->FindRun(run.runId);
  ASSERT_TRUE(found.ok()) << found.error;
  ASSERT_TRUE(found.value.has_value());
  EXPECT_EQ(*found.value, run);
  EXPECT_EQ(found.value->log, run.log);

  // Upper case, as a user might type it, names the same run.
  std::string upper = run.runId;
  for (char& c : upper)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const auto byUpper = reader->FindRun(upper);
  ASSERT_TRUE(byUpper.ok()) << byUpper.error;
  EXPECT_TRUE(byUpper.value.has_value());

  const auto rows = reader->ListTestRuns({});
  ASSERT_TRUE(rows.ok()) << rows.error;
  ASSERT_EQ(rows.value.size(), 3u);
  const TestRunRow expectedCut{run.runId,    run.finished - milliseconds(5),
                               std::nullopt, "bench-3",
                               INT32_MIN,    std::nullopt,
                               "tr",         "Передача данных",
                               std::nullopt, Bench::Virtual};
  EXPECT_EQ(rows.value[2], expectedCut);
  EXPECT_EQ(rows.value[0].verdict, Verdict::Error);
}

TEST_F(HistoryContract, AnUnknownOrMalformedRunIdIsNotFound) {
  const auto history = Open(location_);
  ASSERT_EQ(history->Record(SampleRun(5)).status, RecordStatus::Stored);
  for (const std::string& id : {NewRunId(), std::string("not-a-run"), std::string()}) {
    const auto found = history->FindRun(id);
    EXPECT_TRUE(found.ok()) << id << ": " << found.error;
    EXPECT_FALSE(found.value.has_value()) << id;
  }
}

TEST_F(HistoryContract, ARunRecordedTwiceIsStoredOnce) {
  const auto history = Open(location_);
  const RecordedRun run = SampleRun(42);
  ASSERT_EQ(history->Record(run).status, RecordStatus::Stored);
  RecordedRun again = run;
  again.station = "another";  // the first record stands
  const RecordOutcome second = history->Record(again);
  EXPECT_EQ(second.status, RecordStatus::Stored) << second.message;
  const auto rows = history->ListTestRuns({});
  ASSERT_TRUE(rows.ok()) << rows.error;
  ASSERT_EQ(rows.value.size(), 2u);
  EXPECT_EQ(rows.value[0].station, "bench-3");
}

TEST_F(HistoryContract, ListsTestRunsInOrderByUnitAndVerdict) {
  const auto history = Open(location_);
  // Recorded out of order: the list goes by start time, not by arrival.
  const RecordedRun second = SampleRun(700, 20);
  const RecordedRun first = SampleRun(500, 10);
  RecordedRun third = SampleRun(500, 30);
  third.tests[1].verdict.reset();
  third.tests[1].finished.reset();
  for (const RecordedRun& run : {second, first, third})
    ASSERT_EQ(history->Record(run).status, RecordStatus::Stored);

  const auto ids = [&](const RunQuery& query) {
    const auto rows = history->ListTestRuns(query);
    EXPECT_TRUE(rows.ok()) << rows.error;
    std::vector<std::string> out;
    for (const TestRunRow& row : rows.value)
      out.push_back(row.runId.substr(0, 8) + " " + row.test);
    return out;
  };
  const auto named = [](const RecordedRun& run, const char* test) {
    return run.runId.substr(0, 8) + " " + test;
  };

  EXPECT_EQ(ids({}), (std::vector<std::string>{named(first, "func"), named(first, "indic"),
                                               named(second, "func"), named(second, "indic"),
                                               named(third, "func"), named(third, "indic")}));
  EXPECT_EQ(ids({.order = RowOrder::NewestFirst}),
            (std::vector<std::string>{named(third, "indic"), named(third, "func"),
                                      named(second, "indic"), named(second, "func"),
                                      named(first, "indic"), named(first, "func")}));
  EXPECT_EQ(ids({.unitSerial = 500}),
            (std::vector<std::string>{named(first, "func"), named(first, "indic"),
                                      named(third, "func"), named(third, "indic")}));
  EXPECT_EQ(ids({.unitSerial = 500, .verdicts = std::vector{Verdict::Failed}}),
            (std::vector<std::string>{named(first, "indic")}));
  EXPECT_EQ(ids({.verdicts = std::vector<Verdict>()}),
            (std::vector<std::string>{named(third, "indic")}));
  EXPECT_EQ(ids({.verdicts = std::vector{Verdict::Ok}, .order = RowOrder::NewestFirst, .limit = 2}),
            (std::vector<std::string>{named(third, "func"), named(second, "func")}));
  EXPECT_EQ(ids({.unitSerial = 10001}), std::vector<std::string>{});  // the reference unit

  const auto rows = history->ListTestRuns({.unitSerial = 700});
  ASSERT_TRUE(rows.ok()) << rows.error;
  ASSERT_EQ(rows.value.size(), 2u);
  const TestRunRow expected{second.runId,
                            second.tests[1].started,
                            second.tests[1].finished,
                            "bench-3",
                            700,
                            10001,
                            "indic",
                            "Индикация",
                            Verdict::Failed,
                            Bench::Real};
  EXPECT_EQ(rows.value[1], expected);
}

TEST_F(HistoryContract, SeveralProcessesWritingAtOnceLoseNothing) {
  constexpr int kWriters = 6;
  constexpr int kRunsEach = 15;
  // Every child opens the history for itself, on a history nobody has
  // created yet: they also race to create it.
  const std::vector<int> statuses = RunInChildren(kWriters, [&](int writer) {
    const auto history = Open(location_);
    for (int i = 0; i < kRunsEach; ++i) {
      RecordedRun run = SampleRun(1000 + writer, i);
      run.station = "writer-" + std::to_string(writer);
      const RecordOutcome outcome = history->Record(run);
      if (outcome.status != RecordStatus::Stored) {
        std::fprintf(stderr, "writer %d, run %d: %s\n", writer, i, outcome.message.c_str());
        return 1;
      }
    }
    return 0;
  });
  EXPECT_EQ(statuses, std::vector<int>(kWriters, 0));

  const auto rows = Open(location_)->ListTestRuns({});
  ASSERT_TRUE(rows.ok()) << rows.error;
  EXPECT_EQ(rows.value.size(), 2u * kWriters * kRunsEach);
  std::set<std::string> runs;
  std::map<std::string, int> perStation;
  for (const TestRunRow& row : rows.value) {
    if (runs.insert(row.runId).second)
      ++perStation[row.station];
  }
  EXPECT_EQ(runs.size(), static_cast<std::size_t>(kWriters * kRunsEach));
  for (int writer = 0; writer < kWriters; ++writer)
    EXPECT_EQ(perStation["writer-" + std::to_string(writer)], kRunsEach);
}

TEST_F(HistoryContract, ARunThatCannotBeStoredIsRefusedWithItsReason) {
  const auto history = Open(location_);
  RecordedRun noBench = SampleRun(5);
  noBench.bench.reset();
  RecordedRun badId = SampleRun(5);
  badId.runId = "run-1";
  for (const RecordedRun* run : {&noBench, &badId}) {
    const RecordOutcome outcome = history->Record(*run);
    EXPECT_EQ(outcome.status, RecordStatus::Failed);
    EXPECT_NE(outcome.message.find("запуск не записан в историю"), std::string::npos)
        << outcome.message;
  }
  EXPECT_NE(history->Record(noBench).message.find("стенде"), std::string::npos);
  const auto rows = history->ListTestRuns({});
  EXPECT_TRUE(rows.ok()) << rows.error;
  EXPECT_TRUE(rows.value.empty());
}

}  // namespace vr512b::history::testing
