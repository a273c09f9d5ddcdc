// vr512b-diag-cli --wait-for-unit as a bench script runs it: a process of its
// own on the real clock that looks at the mocked bus through hidapi and
// libudev until a unit under test is plugged in, then tests it.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "autotests/realhid/real_stack.h"
#include "autotests/support/test_support.h"

namespace vr512b::realhid {
namespace {

using namespace std::chrono_literals;

TEST(WaitForUnit, TheTestsStartWhenTheUnitIsPluggedIn) {
  RealClock clock;
  RealStack stack({}, &clock);
  stack.units.Unplug(urUnderTest);
  testing::TempDir dir;
  auto run = std::async(std::launch::async, [&] {
    return RunCliProcess({"--settings", dir.File("units.reg"), "--set", "NameVR512BSample=10001",
                          "--answer", "no", "--wait-for-unit", "120", "indic"});
  });
  // Plugged in while the runner waits; until then it has opened nothing.
  std::this_thread::sleep_for(3s);
  EXPECT_EQ(stack.units.Opens(urReference), 0);
  stack.units.Plug(*stack.bench, urUnderTest);
  const RunOutput got = run.get();
  const std::vector<std::string> err = testing::Lines(got.err);
  ASSERT_GE(err.size(), 2u) << got.err;
  EXPECT_EQ(err[0], "Ожидание проверяемого УПО...");
  EXPECT_EQ(err[1], "Проверяемое УПО подключено: с/н 10002, версия 2.3");
  const std::vector<std::string> log = testing::Lines(got.out);
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(log[3], "Открыл проверяемое УПО");
  EXPECT_EQ(stack.units.Opens(urUnderTest), 1);
}

// Nothing comes: exit 3 once the time is up, with no test run and no unit
// opened; the reference unit alone is no unit under test.
TEST(WaitForUnit, NoUnitInTimeEndsWithoutTests) {
  RealClock clock;
  RealStack stack({}, &clock);
  stack.units.Unplug(urUnderTest);
  testing::TempDir dir;
  const RunOutput got =
      RunCliProcess({"--settings", dir.File("units.reg"), "--set", "NameVR512BSample=10001",
                     "--answer", "no", "--wait-for-unit", "1", "func"});
  EXPECT_EQ(got.status, 3);
  EXPECT_EQ(got.out, "");
  EXPECT_EQ(got.err,
            "Ожидание проверяемого УПО...\n"
            "vr512b-diag-cli: --wait-for-unit: проверяемое УПО не подключено за 1 с\n");
  EXPECT_EQ(stack.units.Opens(urReference), 0);
}

}  // namespace
}  // namespace vr512b::realhid
