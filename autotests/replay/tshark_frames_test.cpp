// Every test and Check all recorded, and the trace read by Debian's tshark:
// one frame per feature transfer the console made, counted on the way to the
// bench, with its request (SET_REPORT or GET_REPORT) and report id.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "autotests/replay/replay_support.h"
#include "autotests/support/child_process.h"

namespace vr512b::replaytest {
namespace {

std::string RunTshark(const std::string& arguments) {
  const std::string command = std::string(VR512B_TSHARK) + " " + arguments;
  const testing::RunResult run = testing::RunProcess({"/bin/sh", "-c", command});
  EXPECT_EQ(run.status, 0) << command << " failed; is " << VR512B_TSHARK << " installed?\n"
                           << run.err;
  return run.out;
}

class TsharkFrames : public ::testing::TestWithParam<NamedRun> {};

TEST_P(TsharkFrames, OneFeatureReportFramePerTransferWithItsRequestAndReportId) {
  testing::TempDir dir;
  const std::string trace = dir.File("run.pcapng");
  const RecordedRun recorded = RecordRun(dir.File("record.reg"), trace, GetParam().args);
  ASSERT_FALSE(recorded.transfers.empty()) << recorded.run.err;

  const std::string rows =
      RunTshark("-r '" + trace +
                "' -Y 'usbhid.setup.ReportType == 3' -T fields -e usbhid.setup.bRequest"
                " -e usbhid.setup.ReportID -e usbhid.setup.wLength");
  std::string want;
  for (const Counted& transfer : recorded.transfers) {
    want += transfer.set ? "0x09\t" : "0x01\t";
    want += std::to_string(transfer.reportId) + "\t" + std::to_string(transfer.length) + "\n";
  }
  EXPECT_EQ(rows, want);

  // A failed transfer shows as one: its completion carries a negative status.
  std::size_t failed = 0;
  for (const Counted& transfer : recorded.transfers)
    failed += transfer.failed;
  const std::string statuses =
      RunTshark("-r '" + trace +
                "' -Y \"usb.urb_type == 'C' && usb.urb_status < 0\" -T fields"
                " -e frame.number");
  EXPECT_EQ(static_cast<std::size_t>(std::count(statuses.begin(), statuses.end(), '\n')), failed);
}

std::vector<NamedRun> Runs() {
  std::vector<NamedRun> runs = EveryTestAndCheckAll();
  runs.push_back({"unplugged_in_check_all", {"--sim", "unplug ut after 500", "all"}});
  return runs;
}

INSTANTIATE_TEST_SUITE_P(Runs, TsharkFrames, ::testing::ValuesIn(Runs()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace vr512b::replaytest
