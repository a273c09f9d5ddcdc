#include "console_session.h"

#include "hid_loader.h"
#include "settings.h"

namespace vr512b {

ConsoleSession::ConsoleSession(SessionOptions options) : options_(std::move(options)) {
  if (options_.virtualTime) {
    clock_ = std::make_unique<VirtualClock>();
  } else {
    clock_ = std::make_unique<RealClock>();
  }
  settingsPath_ = options_.settingsPath.value_or(options_.simulate ? DefaultSimulatorSettingsPath()
                                                                   : DefaultSettingsPath());
  // The bench's units only match parameters made for them.
  if (options_.simulate)
    seedError_ = SeedSimulatorSettings(settingsPath_).error;
}

ConsoleSession::~ConsoleSession() = default;

SettingsLoad ConsoleSession::LoadParameters(TestParameterValues& values) const {
  return LoadSettingsFrom(settingsPath_, values);
}

ConsoleSession::HidStart ConsoleSession::StartHid() {
  HidStart start;
  if (options_.simulate) {
    sim::BenchConfig config = sim::DefaultBenchConfig();
    for (const std::string& scenario : options_.benchScenarios) {
      start.error = sim::ApplyScenario(config, scenario);
      if (!start.error.empty()) {
        start.badScenario = scenario;
        return start;
      }
    }
    bench_ = std::make_unique<sim::VirtualBench>(*clock_, std::move(config));
    technician_ = std::make_unique<sim::VirtualTechnician>(*bench_);
    start.hid = &bench_->hid();
    return start;
  }
  HidLoadResult loaded = LoadPlatformHidLibrary();
  start.error = loaded.error;
  platformHid_ = std::move(loaded.library);
  start.hid = platformHid_.get();
  return start;
}

}  // namespace vr512b
