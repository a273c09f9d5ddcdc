// "Record on a real bench, replay in CI": traces written through the real
// hidapi and libudev, the units on the mocked USB bus, replayed by the
// runner on the virtual bench with both units answered from the trace, to
// the same log byte for byte.

#include <gtest/gtest.h>

#include "autotests/realhid/real_stack.h"
#include "autotests/support/cli_in_process.h"
#include "autotests/support/test_support.h"
#include "cli/cli_runner.h"
#include "trace/trace_reader.h"

namespace vr512b::realhid {
namespace {

// The runner in this process on the virtual bench, nothing on its command
// line but the tests and the trace both units answer from.
RunOutput Replay(const std::string& store, const std::string& trace,
                 const std::vector<std::string>& tests) {
  std::vector<std::string> args{
      "--simulate", "--virtual-time",     "--settings", store,
      "--sim",      "replay ut " + trace, "--sim",      "replay ref " + trace};
  args.insert(args.end(), tests.begin(), tests.end());
  return RunOutput(testing::RunCliInProcess(args));
}

std::size_t TransfersIn(const std::string& path) {
  trace::TraceReader reader = trace::TraceReader::FromFile(path);
  trace::Trace read;
  EXPECT_TRUE(ReadTrace(reader, read)) << reader.error();
  std::size_t transfers = 0;
  for (const trace::TraceEvent& event : read.events)
    transfers += std::holds_alternative<trace::TransferRecord>(event);
  return transfers;
}

struct Recorded {
  std::string name;
  std::vector<std::string> args;
  std::vector<std::string> tests;
};

void PrintTo(const Recorded& run, std::ostream* out) {
  *out << run.name;
}

class ThroughHidapi : public ::testing::TestWithParam<Recorded> {};

TEST_P(ThroughHidapi, ATraceRecordedOverTheRealStackReplaysToTheSameLog) {
  testing::TempDir dir;
  const std::string trace = dir.File("bench.pcapng");
  std::vector<std::string> args{"--simulate",         "--virtual-time", "--settings",
                                dir.File("real.reg"), "--trace",        trace};
  args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
  const RunOutput recorded = RunOverRealStack(args);
  ASSERT_NE(recorded.out.find(">>>>>"), std::string::npos) << recorded.err;
  EXPECT_EQ(TransfersIn(trace), static_cast<std::size_t>(recorded.transfers[urUnderTest] +
                                                         recorded.transfers[urReference]))
      << "every transfer the mocked units saw is in the trace";

  const RunOutput replayed = Replay(dir.File("replay.reg"), trace, GetParam().tests);
  EXPECT_EQ(replayed.out, recorded.out);
  EXPECT_EQ(replayed.err, recorded.err);
  EXPECT_EQ(replayed.status, recorded.status);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, ThroughHidapi,
    ::testing::Values(
        Recorded{"func", {"func"}, {"func"}}, Recorded{"tr", {"tr"}, {"tr"}},
        Recorded{"all_short", {"--set", "ShortTest=1", "all"}, {"all"}},
        Recorded{"unplugged", {"--sim", "unplug ut after 40", "func"}, {"func"}},
        Recorded{"busy_aborted", {"--sim", "busy ut", "--abort-after", "3000", "line"}, {"line"}}),
    [](const auto& info) { return info.param.name; });

TEST(RealBenchTrace, ATechniciansRunOnTheRealClockReplaysInCi) {
  // A technician's run: the runner in a process of its own, without
  // --simulate, on the real clock, answering every question Yes, finding
  // the units through hidapi on the bus this process keeps.
  RealClock clock;
  RealStack stack({}, &clock);
  testing::TempDir dir;
  const std::string trace = dir.File("bench.pcapng");
  const RunOutput recorded =
      RunCliProcess({"--settings", dir.File("bench.reg"), "--set", "NameVR512BSample=10001",
                     "--answer", "yes", "--trace", trace, "indic", "sound"});
  ASSERT_EQ(recorded.status, 0) << recorded.err;
  ASSERT_GT(TransfersIn(trace), 20u);
  EXPECT_EQ(stack.units.Problems(), std::vector<std::string>{});

  // In CI: the virtual bench on virtual time, the parameters and the answers
  // from the trace.
  const RunOutput replayed = Replay(dir.File("ci.reg"), trace, {"indic", "sound"});
  EXPECT_EQ(replayed.out, recorded.out);
  EXPECT_EQ(replayed.err, recorded.err);
  EXPECT_EQ(replayed.status, 0);
}

}  // namespace
}  // namespace vr512b::realhid
