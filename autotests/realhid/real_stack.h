#pragma once

// The console run over the real HID stack, and vr512b-diag-cli run as a
// process, with what each printed.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/diag_console.h"
#include "autotests/realhid/mocked_bench.h"
#include "autotests/realhid/mocked_usb_bus.h"
#include "autotests/support/child_process.h"
#include "autotests/support/test_support.h"
#include "device/clock.h"
#include "device/hid_library.h"
#include "sim/virtual_bench.h"

namespace vr512b::realhid {

// out is the log; err the questions, notices and status cells.
struct RunOutput : testing::RunResult {
  explicit RunOutput(testing::RunResult run = {}) : testing::RunResult(std::move(run)) {}
  // Over the real stack: each unit's opens and feature transfers, whether a file of its
  // node was still open once the run was over, and what the units saw go
  // wrong.
  int opens[2] = {0, 0};
  int transfers[2] = {0, 0};
  bool inUse[2] = {false, false};
  std::vector<std::string> problems;
};

// A bench, its units on a fresh mocked bus, and the platform HID library
// (hidapi through libudev, loaded as the console loads it) to reach them.
struct RealStack {
  explicit RealStack(const std::vector<std::string>& scenarios = {}, Clock* clock = nullptr);

  VirtualClock virtualClock;
  Clock& clock;
  std::unique_ptr<sim::VirtualBench> bench;
  MockedUsbBus bus;
  MockedBench units;
  std::unique_ptr<HidLibrary> hid;
};

// vr512b-diag-cli's command line run in this process by the runner itself,
// with --simulate --virtual-time, except that the console reaches the
// bench's units through the real HID stack instead of the bench's own HID
// face. `prepare` may set faults on the units before the tests start.
// With `unprivileged`, a root process runs the console as the user "nobody".
// `clock`, when given, stands in for the virtual clock.
RunOutput RunOverRealStack(const std::vector<std::string>& args,
                           const std::function<void(RealStack&)>& prepare = {},
                           bool unprivileged = false, Clock* clock = nullptr);

// The vr512b-diag-cli binary with `args`, stdin empty; it inherits this
// process's environment, the mocked bus included.
RunOutput RunCliProcess(const std::vector<std::string>& args);

}  // namespace vr512b::realhid
