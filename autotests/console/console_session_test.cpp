// The start the window and the runner share: the store seeded for the virtual
// bench, the bench built from the scenarios, the reasons it cannot start.

#include <gtest/gtest.h>

#include "app/console_session.h"
#include "autotests/support/test_support.h"
#include "settings/settings.h"

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
  EXPECT_EQ(session.SeedError(), "");
  EXPECT_EQ(session.LoadParameters(values).error, "");
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

TEST(ConsoleSession, AValueThatCannotBeReadIsReportedAndTheOthersLoad) {
  testing::TempDir dir;
  testing::WriteFile(dir.File("bench.reg"),
                     "Windows Registry Editor Version 5.00\n\n"
                     "[HKEY_LOCAL_MACHINE\\Software\\Korvex\\DiagVR512B]\n"
                     "\"NameVR512BSample\"=\"77\"\n"
                     "\"IDContact\"=\"yes\"\n"
                     "\"LowSpeed\"=dword:00000000\n");
  ConsoleSession session(OnTheBench(dir));
  TestParameterValues values = UnloadedControls();
  const SettingsLoad loaded = session.LoadParameters(values);
  EXPECT_EQ(loaded.error, "Invalid data type for 'IDContact'");
  EXPECT_FALSE(loaded.notParameters);
  EXPECT_EQ(values.NameVR512BSample, "77") << "an existing store is not seeded over";
  EXPECT_FALSE(values.IDContact) << "the bad value keeps what it had";
  EXPECT_FALSE(values.LowSpeed) << "read after the bad value";
  EXPECT_TRUE(values.Secsoa) << "missing after the bad value: its default";
}

}  // namespace
}  // namespace vr512b
