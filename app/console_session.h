#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "clock.h"
#include "hid_library.h"
#include "settings.h"
#include "test_parameters.h"
#include "virtual_bench.h"

namespace vr512b {

// How a front end starts the console.
struct SessionOptions {
  bool simulate = false;     // the virtual bench instead of the units on USB
  bool virtualTime = false;  // the virtual bench on a virtual clock: pauses cost nothing
  // The parameters store; without it the default one, on the virtual bench its own.
  std::optional<std::string> settingsPath;
  std::vector<std::string> benchScenarios;  // --sim texts, applied in order
};

// What the window and the command-line runner set up alike before the first
// test: the clock, the parameters store (seeded for the virtual bench), and
// the HID side, which is either the platform's library or the virtual bench
// with its technician. Whatever uses the HID library must go before the
// session does.
class ConsoleSession {
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
  };
  HidStart StartHid();

  // On the virtual bench, else null.
  sim::VirtualBench* Bench() const { return bench_.get(); }
  sim::VirtualTechnician* Technician() const { return technician_.get(); }

 private:
  SessionOptions options_;
  std::unique_ptr<Clock> clock_;
  std::string settingsPath_;
  std::string seedError_;
  std::unique_ptr<sim::VirtualBench> bench_;
  std::unique_ptr<sim::VirtualTechnician> technician_;
  std::unique_ptr<HidLibrary> platformHid_;
};

}  // namespace vr512b
