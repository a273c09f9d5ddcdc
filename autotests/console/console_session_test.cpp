// The start the window and the runner share: the store seeded for the virtual
// bench, the bench built from the scenarios, the reasons it cannot start.

#include <gtest/gtest.h>

#include "console_session.h"
#include "settings.h"
#include "test_support.h"

namespace vr512b {
namespace {

SessionOptions OnTheBench(const testing::TempDir& dir, std::vector<std::string> scenarios = {}) {
  SessionOptions options;
  options.simulate = true;
  options.virtualTime = true;
  options.settingsPath = dir.File("bench.reg");
  options.benchScenarios = std::move(scenarios);
  return options;
}

TEST(ConsoleSession, TheVirtualBenchStartsWithParametersMadeForIt) {
  testing::TempDir dir;
  ConsoleSession session(OnTheBench(dir, {"version ut 0A03"}));
  EXPECT_EQ(session.SettingsPath(), dir.File("bench.reg"));
  TestParameterValues values;
  EXPECT_EQ(session.LoadParameters(values), "");
  EXPECT_EQ(values, SimulatorSettings()) << "seeded before the first load";

  const ConsoleSession::HidStart start = session.StartHid();
  ASSERT_NE(start.hid, nullptr) << start.error;
  ASSERT_NE(session.Bench(), nullptr);
  EXPECT_NE(session.Technician(), nullptr);
  EXPECT_EQ(session.Bench()->config().units[urUnderTest].version, 0x0A03);
  // Virtual time: a pause of an hour costs nothing.
  const std::int64_t before = session.clock().NowMs();
  session.clock().Sleep(3600000);
  EXPECT_EQ(session.clock().NowMs() - before, 3600000);
}

TEST(ConsoleSession, AScenarioThatDoesNotApplyIsNamedAndNothingStarts) {
  testing::TempDir dir;
  ConsoleSession session(OnTheBench(dir, {"absent ut", "unplug ut before 3"}));
  const ConsoleSession::HidStart start = session.StartHid();
  EXPECT_EQ(start.hid, nullptr);
  EXPECT_EQ(start.badScenario, "unplug ut before 3");
  EXPECT_NE(start.error.find("unplug РОЛЬ after N"), std::string::npos) << start.error;
  EXPECT_EQ(session.Bench(), nullptr);
}

TEST(ConsoleSession, AStoreThatCannotBeReadIsReportedAndTheValuesBeforeItStay) {
  testing::TempDir dir;
  testing::WriteFile(dir.File("bench.reg"),
                     "Windows Registry Editor Version 5.00\n\n"
                     "[HKEY_LOCAL_MACHINE\\Software\\Korvex\\DiagVR512B]\n"
                     "\"NameVR512BSample\"=\"77\"\n"
                     "\"IDContact\"=\"yes\"\n");
  ConsoleSession session(OnTheBench(dir));
  TestParameterValues values;
  values.LowSpeed = false;
  EXPECT_EQ(session.LoadParameters(values), "Invalid data type for 'IDContact'");
  EXPECT_EQ(values.NameVR512BSample, "77") << "an existing store is not seeded over";
  EXPECT_FALSE(values.LowSpeed) << "read after the bad value: left as it was";
}

}  // namespace
}  // namespace vr512b
