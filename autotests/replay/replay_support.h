#pragma once

// The runner in this process, recording a HID trace while a HID library of
// the test's own counts the transfers the console makes, and replaying it.

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "autotests/support/child_process.h"
#include "autotests/support/test_support.h"
#include "device/clock.h"
#include "device/hid_library.h"

namespace vr512b::replaytest {

using RunOutput = testing::RunResult;

// One feature transfer as the console asked for it.
struct Counted {
  bool set = false;
  std::uint8_t reportId = 0;
  std::size_t length = 0;
  bool failed = false;
};

// Passes every call on and notes each feature transfer.
class CountingHid final : public HidLibrary {
 public:
  explicit CountingHid(HidLibrary& inner) : inner_(inner) {}
  std::optional<std::vector<std::string>> EnumeratePaths() override {
    return inner_.EnumeratePaths();
  }
  HidHandle Open(const std::string& path) override { return inner_.Open(path); }
  void Close(HidHandle handle) override { inner_.Close(handle); }
  Outcome<void> GetAttributes(HidHandle handle, HidAttributes& attributes) override {
    return inner_.GetAttributes(handle, attributes);
  }
  Outcome<void> GetSerialNumberString(HidHandle handle, void* buffer, std::size_t length) override {
    return inner_.GetSerialNumberString(handle, buffer, length);
  }
  FeatureBytes GetFeature(HidHandle handle, std::uint8_t* report, std::size_t length) override {
    const std::uint8_t id = report[0];
    const FeatureBytes moved = inner_.GetFeature(handle, report, length);
    transfers.push_back({false, id, length, !moved});
    return moved;
  }
  FeatureBytes SetFeature(HidHandle handle, const std::uint8_t* report,
                          std::size_t length) override {
    const FeatureBytes moved = inner_.SetFeature(handle, report, length);
    transfers.push_back({true, report[0], length, !moved});
    return moved;
  }

  std::vector<Counted> transfers;

 private:
  HidLibrary& inner_;
};

struct RecordedRun {
  RunOutput run;
  std::vector<Counted> transfers;
};

// `vr512b-diag-cli --simulate --virtual-time --settings STORE ARGS...`, in
// this process; the --sim scenarios of ARGS set up the bench.
RunOutput RunRunner(const std::string& store, const std::vector<std::string>& args);

// The same with `--trace TRACE` added, the console's transfers counted on
// their way to the bench.
RecordedRun RecordRun(const std::string& store, const std::string& trace,
                      const std::vector<std::string>& args);

// The tests of ARGS alone, both units replayed from TRACE: the faults, the
// parameters, the answers and Abort all come from the trace.
RunOutput ReplayRun(const std::string& store, const std::string& trace,
                    const std::vector<std::string>& args);

// The runs the tests are recorded and replayed with: every test, Check all,
// and runs that fail, abort, or ask and get No.
struct NamedRun {
  std::string name;
  std::vector<std::string> args;
};
inline void PrintTo(const NamedRun& run, std::ostream* out) {
  *out << run.name;
}
std::vector<NamedRun> RecordedRuns();
std::vector<NamedRun> EveryTestAndCheckAll();

// Edits of a trace file as a tool that knows nothing of its digest makes them,
// walking its pcapng blocks. FlipPacketByte flips the low bit of byte `offset`
// of frame `frame`'s packet (after the usbmon header at 64 for a transfer).
// DropDigest takes the digest off the end mark, which makes the trace one
// written before traces carried it. False when there is no such frame.
bool FlipPacketByte(const std::string& path, std::uint64_t frame, std::size_t offset);
bool DropDigest(const std::string& path);

// Where two outputs part, with the lines around it; empty when they agree.
std::string Difference(const std::string& got, const std::string& want);

}  // namespace vr512b::replaytest
