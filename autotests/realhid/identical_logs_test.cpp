// Every test and Check all through the real hidapi and libudev, the units on
// a mocked USB bus answered by the virtual bench's model, on virtual time:
// the runner prints byte for byte what it prints with --simulate
// --virtual-time, where the console reaches the same model without them.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "autotests/realhid/real_stack.h"
#include "autotests/support/first_difference.h"
#include "autotests/support/test_support.h"

namespace vr512b::realhid {
namespace {

struct Scenario {
  std::string name;
  std::vector<std::string> args;
};

void PrintTo(const Scenario& scenario, std::ostream* out) {
  *out << scenario.name;
}

std::string Difference(const std::string& got, const std::string& want) {
  return testing::FirstDifference(got, want, "real stack", "virtual bench");
}

// Wall and CPU time of one run, for the record (the tests never judge them).
class Stopwatch {
 public:
  explicit Stopwatch(int who) : who_(who), start_(std::chrono::steady_clock::now()), cpu_(Cpu()) {}
  std::string Read() const {
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    char text[64];
    std::snprintf(text, sizeof text, "%.2f s wall, %.2f s CPU", wall, Cpu() - cpu_);
    return text;
  }

 private:
  double Cpu() const {
    rusage usage{};
    getrusage(who_, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  }
  int who_;
  std::chrono::steady_clock::time_point start_;
  double cpu_;
};

class IdenticalLogs : public ::testing::TestWithParam<Scenario> {};

TEST_P(IdenticalLogs, RealHidapiPrintsWhatTheVirtualBenchPrints) {
  testing::TempDir dir;
  auto command = [&](const std::string& store) {
    std::vector<std::string> args{"--simulate", "--virtual-time", "--settings", dir.File(store)};
    args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
    return args;
  };
  const Stopwatch virtualRun(RUSAGE_CHILDREN);
  const RunOutput want = RunCliProcess(command("virtual.reg"));
  const std::string virtualTime = virtualRun.Read();
  const Stopwatch realRun(RUSAGE_SELF);
  const RunOutput got = RunOverRealStack(command("real.reg"));
  std::printf("[ measured ] %s: real stack %s (%d + %d transfers); virtual bench %s\n",
              GetParam().name.c_str(), realRun.Read().c_str(), got.transfers[urUnderTest],
              got.transfers[urReference], virtualTime.c_str());
  ASSERT_NE(want.out.find(">>>>>"), std::string::npos) << want.err;
  EXPECT_GT(got.opens[urUnderTest], 0) << "hidapi never opened the unit under test";
  EXPECT_FALSE(got.inUse[urUnderTest]) << "the unit under test was left open";
  EXPECT_FALSE(got.inUse[urReference]) << "the reference unit was left open";
  EXPECT_EQ(got.problems, std::vector<std::string>{});
  EXPECT_EQ(got.status, want.status);
  EXPECT_EQ(Difference(got.out, want.out), "");
  EXPECT_EQ(Difference(got.err, want.err), "");
}

std::vector<Scenario> Scenarios() {
  std::vector<Scenario> scenarios;
  for (const char* test : {"func", "indic", "sound", "tr", "rx", "line", "trmess", "rxmess", "all"})
    scenarios.push_back({test, {test}});
  scenarios.push_back({"all_short", {"--set", "ShortTest=1", "all"}});
  scenarios.push_back({"monitor_calls",
                       {"--abort-after", "60000", "--sim", "call ut 11 3132333435 5551234", "--sim",
                        "call ut 50 0E0134126E00010034126E000100", "--sim",
                        "error ut 12 after 2 quiet", "monitor"}});
  scenarios.push_back({"pending_reply", {"--sim", "pending ut 07", "func"}});
  scenarios.push_back(
      {"unplugged_in_check_all", {"--set", "ShortTest=1", "--sim", "unplug ut after 300", "all"}});
  scenarios.push_back(
      {"abort_with_busy_unit",
       {"--set", "ShortTest=1", "--sim", "busy ut", "--abort-after", "5000", "tr"}});
  scenarios.push_back({"absent_reference", {"--sim", "absent ref", "tr"}});
  scenarios.push_back({"count_after_read", {"--sim", "count-after-read ut 199", "func"}});
  scenarios.push_back({"power_off_before_ok", {"--sim", "power-off-before-ok", "line"}});
  scenarios.push_back(
      {"error_in_exchange", {"--set", "ShortTest=1", "--sim", "error ut 7 after 3", "tr"}});
  return scenarios;
}

INSTANTIATE_TEST_SUITE_P(Runs, IdenticalLogs, ::testing::ValuesIn(Scenarios()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace vr512b::realhid
