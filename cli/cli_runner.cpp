#include "cli_runner.h"

#include <algorithm>
#include <memory>
#include <ostream>

#include "atomic_file.h"
#include "build_info.h"
#include "cli_view.h"
#include "console_session.h"
#include "diag_console.h"
#include "parameter_override.h"
#include "run_reporter.h"
#include "settings.h"

namespace vr512b::cli {

int RunCli(const CliOptions& options, CliStreams streams) {
  if (options.help) {
    streams.out << UsageText();
    return kExitOk;
  }
  if (options.version) {
    streams.out << "vr512b-diag-cli " << VR512B_FILE_VERSION << '\n';
    return kExitOk;
  }

  SessionOptions sessionOptions;
  sessionOptions.simulate = options.simulate;
  sessionOptions.virtualTime = options.virtualTime;
  sessionOptions.settingsPath = options.settingsPath;
  sessionOptions.benchScenarios = options.scenarios;
  ConsoleSession session(sessionOptions);
  if (!session.SeedError().empty())
    streams.err << "vr512b-diag-cli: " << session.SeedError() << '\n';

  // Parameters as the window would have them: the store loaded into controls
  // as the window builds them, then this run's overrides. A value the store
  // cannot give is reported and keeps what it had there too. A store that is
  // no parameters store would make the run one on made-up values: no start.
  TestParameterValues parameters = UnloadedControls();
  const SettingsLoad loaded = session.LoadParameters(parameters);
  if (loaded.notParameters) {
    streams.err << "vr512b-diag-cli: --settings: " << loaded.error << '\n';
    return kExitCannotStart;
  }
  for (std::size_t start = 0; start < loaded.error.size();) {
    const std::size_t end = std::min(loaded.error.find('\n', start), loaded.error.size());
    streams.err << "Параметры тестирования: " << loaded.error.substr(start, end - start) << '\n';
    start = end + 1;
  }
  for (const auto& [name, value] : options.overrides) {
    const std::string error = SetParameterByName(parameters, name, value);
    if (!error.empty()) {
      streams.err << "vr512b-diag-cli: --set: " << error << '\n';
      return kExitUsage;
    }
  }

  const ConsoleSession::HidStart hid = session.StartHid();
  if (hid.badScenario) {
    streams.err << "vr512b-diag-cli: --sim " << *hid.badScenario << ": " << hid.error << '\n';
    return kExitUsage;
  }
  if (hid.hid == nullptr) {
    streams.err << hid.error << '\n';
    return kExitCannotStart;
  }

  // A record that could not be kept would cost the whole run (of many
  // minutes, maybe, lost to a mistyped folder): refuse to start.
  if (options.reportPath) {
    const std::string error = CheckReplaceable(*options.reportPath);
    if (!error.empty()) {
      streams.err << "vr512b-diag-cli: --report " << *options.reportPath << ": " << error << '\n';
      return kExitCannotStart;
    }
  }

  const AnswerMode answers =
      options.answer.value_or(options.simulate ? AnswerMode::Auto : AnswerMode::Ask);
  CliView view(streams, session.clock(), answers, session.Technician(), parameters,
               options.abortAfterMs);
  DiagConsole console(*hid.hid, session.clock(), view);
  view.Attach(console);
  console.SetRefSerialFromText(parameters.NameVR512BSample);
  RunReporter report(options, view, console, streams.err);

  for (const std::string& test : options.tests) {
    console.RunByName(test);
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
