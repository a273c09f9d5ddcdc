// The record of a run as any front end gets it: the console on the virtual
// bench with a recording view, as the window has, and a RunRecorder attached.

#include <gtest/gtest.h>

#include <stdexcept>

#include "app/run_recorder.h"
#include "autotests/support/console_harness.h"
#include "common/host_name.h"

namespace vr512b {
namespace {

using testing::SimConsole;
using Lines = std::vector<std::string>;

TEST(RunRecorder, RecordsEveryTestWithItsLogVerdictAndUnits) {
  SimConsole sim;
  sim.view.parameters.Sound = true;
  std::optional<RunRecord> record;
  {
    RunRecorder recorder(sim.console);
    sim.view.parameters.Sound = false;  // changed after the start: not the record's
    sim.Run("func");
    sim.Run("tr");
    recorder.Finish();
    record = recorder.Record();
  }
  sim.Run("indic");  // after the recorder has gone: nothing reaches it

  EXPECT_EQ(record->programVersion, "2.0.0.3");
  EXPECT_EQ(record->station, HostName());
  EXPECT_TRUE(record->parameters.Sound);
  ASSERT_TRUE(record->finished);
  EXPECT_LE(record->started, *record->finished);
  ASSERT_EQ(record->tests.size(), 2u);
  EXPECT_EQ(record->tests[0].id, "func");
  EXPECT_EQ(record->tests[0].caption, "Функционирование");
  EXPECT_EQ(record->tests[0].verdict, Verdict::Ok);
  EXPECT_EQ(record->tests[1].verdict, Verdict::Ok);
  // The record's lines are the view's, test by test.
  Lines logged = record->tests[0].log;
  logged.insert(logged.end(), record->tests[1].log.begin(), record->tests[1].log.end());
  const Lines shown(sim.view.log.begin(), sim.view.log.begin() + logged.size());
  EXPECT_EQ(logged, shown);
  EXPECT_EQ(record->tests[1].log.back(), "");
  EXPECT_TRUE(record->logOutsideTests.empty());
  ASSERT_TRUE(record->units[urUnderTest] && record->units[urReference]);
  EXPECT_EQ(record->units[urUnderTest]->serial, 10002);
  EXPECT_EQ(record->units[urReference]->serial, 10001);
  EXPECT_EQ(record->units[urReference]->version, 0x0203);
}

// A unit that fails the test and an error of the console itself both show as
// "Ошибка", but the record keeps them apart.
TEST(RunRecorder, TellsAnErrorOfTheConsoleFromAFailedTest) {
  SimConsole sim;
  RunRecorder recorder(sim.console);
  sim.view.answer = [](const std::string&) -> bool { throw std::runtime_error("view gone"); };
  EXPECT_THROW(sim.Run("indic"), std::runtime_error);
  const RunRecord& record = recorder.Record();
  ASSERT_EQ(record.tests.size(), 1u);
  EXPECT_EQ(record.tests[0].verdict, Verdict::Error);
  EXPECT_EQ(sim.view.verdicts, std::vector<std::string>{"indic: Ошибка"});
}

TEST(RunRecorder, KeepsTheUnitLastReadWhenALaterOpenFails) {
  SimConsole sim;
  RunRecorder recorder(sim.console);
  sim.Run("func");
  sim.bench->Unplug(urUnderTest);
  sim.Run("func");
  const RunRecord& record = recorder.Record();
  ASSERT_EQ(record.tests.size(), 2u);
  EXPECT_EQ(record.tests[1].verdict, Verdict::Failed);
  EXPECT_EQ(record.tests[1].log[3], "Не удалось открыть проверяемое УПО");
  ASSERT_TRUE(record.units[urUnderTest]);
  EXPECT_EQ(record.units[urUnderTest]->serial, 10002);
  EXPECT_FALSE(record.units[urReference]) << "never read";
}

// The window's console outlives its runs: a unit read by an earlier run is
// not this run's, even when the link still remembers it.
TEST(RunRecorder, RecordsOnlyTheUnitsThisRunRead) {
  SimConsole sim;
  sim.Run("tr");
  RunRecorder recorder(sim.console);
  sim.Run("func");
  const RunRecord& record = recorder.Record();
  ASSERT_TRUE(record.units[urUnderTest]);
  EXPECT_EQ(record.units[urUnderTest]->serial, 10002);
  EXPECT_FALSE(record.units[urReference]) << "read by the run before";
}

}  // namespace
}  // namespace vr512b
