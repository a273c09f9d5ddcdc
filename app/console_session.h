#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/trace_control.h"
#include "device/clock.h"
#include "device/hid_library.h"
#include "procedures/test_parameters.h"
#include "settings/settings.h"
#include "sim/virtual_bench.h"

namespace vr512b {

class DiagConsole;
class SessionTrace;
namespace trace {
class RecordingHid;
}

// How a front end starts the console.
struct SessionOptions {
  bool simulate = false;     // the virtual bench instead of the units on USB
  bool virtualTime = false;  // the virtual bench on a virtual clock: pauses cost nothing
  // The parameters store; without it the default one, on the virtual bench its own.
  std::optional<std::string> settingsPath;
  std::vector<std::string> benchScenarios;  // --sim texts, applied in order
  // The program, as a HID trace names its writer.
  std::string programName = "vr512b-diag";

  // For tests of the HID stack below the console: a bench someone else built
  // (with its scenarios), whose units the console reaches through `hid`, e.g.
  // the platform's library over a mocked USB bus, instead of the bench's own
  // HID face. The session takes the bench's clock.
  struct ExternalBench {
    sim::VirtualBench* bench = nullptr;
    HidLibrary* hid = nullptr;
  };
  std::optional<ExternalBench> externalBench;
};

// What the window and the command-line runner set up alike before the first
// test: the clock, the parameters store (seeded for the virtual bench), and
// the HID side, which is either the platform's library or the virtual bench
// with its technician. Whichever it is, the console reaches it through the
// HID trace's recorder, which records when asked to. Whatever uses the HID
// library must go before the session does.
class ConsoleSession final : public TraceControl {
 public:
  explicit ConsoleSession(SessionOptions options);
  ~ConsoleSession();
  ConsoleSession(const ConsoleSession&) = delete;
  ConsoleSession& operator=(const ConsoleSession&) = delete;

  Clock& clock() { return *clock_; }
  const std::string& SettingsPath() const { return settingsPath_; }

  // Why the virtual bench's parameters could not be created; empty when they
  // were, or were there already.
  const std::string& SeedError() const { return seedError_; }

  // The stored parameters into `values`, as LoadSettings gives them: a value
  // that cannot be read keeps what it had, the others load.
  SettingsLoad LoadParameters(TestParameterValues& values) const;

  // Starts the HID side; null with the reason when it cannot start.
  struct HidStart {
    HidLibrary* hid = nullptr;
    std::string error;
    // On the virtual bench: the scenario that could not be applied.
    std::optional<std::string> badScenario;
    // On the virtual bench: a trace to replay that cannot be (its path).
    std::optional<std::string> badTrace;
  };
  HidStart StartHid();

  // Connects the console that uses the HID library to the trace: the
  // recorder learns which unit is which from its device slots, and the runs
  // are marked in the trace and checked against a replay.
  void Attach(DiagConsole& console);

  // TraceControl; a trace can be started once the HID side has started.
  std::string StartTrace(const std::string& path) override;
  std::string StopTrace() override;
  bool Tracing() const override;
  std::optional<std::string> TakeTraceFailure() override;

  // On the virtual bench, else null.
  sim::VirtualBench* Bench() const { return bench_ != nullptr ? bench_.get() : externalBench_; }
  sim::VirtualTechnician* Technician() const { return technician_.get(); }
  // The recorded trace units answer from, or null.
  sim::TraceReplay* Replay() const;

 private:
  SessionOptions options_;
  std::unique_ptr<Clock> ownClock_;
  Clock* clock_ = nullptr;
  std::string settingsPath_;
  std::string seedError_;
  sim::VirtualBench* externalBench_ = nullptr;
  std::unique_ptr<sim::VirtualBench> bench_;
  std::unique_ptr<sim::VirtualTechnician> technician_;
  std::unique_ptr<HidLibrary> platformHid_;
  std::unique_ptr<trace::RecordingHid> recorder_;
  std::unique_ptr<SessionTrace> sessionTrace_;
};

}  // namespace vr512b
