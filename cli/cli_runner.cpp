#include "cli_runner.h"

#include <memory>
#include <ostream>

#include "build_info.h"
#include "cli_view.h"
#include "diag_console.h"
#include "hid_loader.h"
#include "parameter_override.h"
#include "run_record.h"
#include "serial_number.h"
#include "settings.h"
#include "virtual_bench.h"

namespace vr512b::cli {

namespace {

// Parameters as the window would have them: the store first, then this run's
// overrides. A value the store cannot give leaves the ones after it at their
// defaults, as loading does in the window, and is reported.
bool LoadParameters(const CliOptions& options, TestParameterValues& values, std::ostream& err) {
  const std::string path = options.settingsPath.value_or(
      options.simulate ? DefaultSimulatorSettingsPath() : DefaultSettingsPath());
  if (options.simulate)
    SeedSimulatorSettings(path);
  try {
    const auto store = OpenSettingsStore(path);
    LoadSettings(*store, values);
  } catch (const std::exception& e) {
    err << "Параметры тестирования: " << e.what() << '\n';
  }
  for (const auto& [name, value] : options.overrides) {
    const std::string error = SetParameterByName(values, name, value);
    if (!error.empty()) {
      err << "vr512b-diag-cli: --set: " << error << '\n';
      return false;
    }
  }
  return true;
}

}  // namespace

int RunCli(const CliOptions& options, CliStreams streams) {
  if (options.help) {
    streams.out << UsageText();
    return kExitOk;
  }
  if (options.version) {
    streams.out << "vr512b-diag-cli " << VR512B_FILE_VERSION << '\n';
    return kExitOk;
  }

  TestParameterValues parameters;
  if (!LoadParameters(options, parameters, streams.err))
    return kExitUsage;

  RealClock realClock;
  VirtualClock virtualClock;
  Clock& clock = options.virtualTime ? static_cast<Clock&>(virtualClock) : realClock;

  std::unique_ptr<sim::VirtualBench> bench;
  std::unique_ptr<sim::VirtualTechnician> technician;
  std::unique_ptr<HidLibrary> platformHid;
  HidLibrary* hid = nullptr;
  if (options.simulate) {
    sim::BenchConfig config = sim::DefaultBenchConfig();
    for (const std::string& scenario : options.scenarios) {
      const std::string error = sim::ApplyScenario(config, scenario);
      if (!error.empty()) {
        streams.err << "vr512b-diag-cli: --sim " << scenario << ": " << error << '\n';
        return kExitUsage;
      }
    }
    bench = std::make_unique<sim::VirtualBench>(clock, std::move(config));
    technician = std::make_unique<sim::VirtualTechnician>(*bench);
    hid = &bench->hid();
  } else {
    HidLoadResult loaded = LoadPlatformHidLibrary();
    if (!loaded.library) {
      streams.err << loaded.error << '\n';
      return kExitCannotStart;
    }
    platformHid = std::move(loaded.library);
    hid = platformHid.get();
  }

  // A record that could not be kept would cost the whole run: refuse to start.
  if (options.reportPath) {
    const std::string error = CheckRecordPath(*options.reportPath);
    if (!error.empty()) {
      streams.err << "vr512b-diag-cli: --report " << *options.reportPath << ": " << error << '\n';
      return kExitCannotStart;
    }
  }

  const AnswerMode answers =
      options.answer.value_or(options.simulate ? AnswerMode::Auto : AnswerMode::Ask);
  CliView view(streams, clock, answers, technician.get(), parameters, options.abortAfterMs);
  DiagConsole console(*hid, clock, view);
  view.Attach(console);
  console.SetRefSerial(ReferenceSerialFromText(parameters.NameVR512BSample));
  RunReporter report(options, parameters, view, console, streams.err);

  for (const std::string& test : options.tests) {
    console.ExecuteAction(test);
    // An interrupt stops the whole run, not only the test it came during.
    if (view.SignalAbort())
      break;
  }
  streams.out.flush();
  view.PrintStatusCells();
  const int status = view.AnyFailed()    ? kExitTestFailed
                     : view.AnyAborted() ? kExitAborted
                                         : kExitOk;
  report.Finish(status);
  return status;
}

}  // namespace vr512b::cli
