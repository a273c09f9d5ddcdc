#include "cli_runner.h"

#include <memory>
#include <ostream>

#include "atomic_file.h"
#include "build_info.h"
#include "cli_view.h"
#include "console_session.h"
#include "diag_console.h"
#include "parameter_override.h"
#include "run_reporter.h"

namespace vr512b::cli {

namespace {

// The help and the version are the whole output: one that went nowhere is
// reported like a lost log.
int PrintText(const std::string& text, const CliStreams& streams) {
  streams.out << text;
  streams.out.flush();
  if (streams.outClosed || !streams.out) {
    streams.err << "vr512b-diag-cli: текст не записан в стандартный вывод: "
                << (streams.outClosed ? kClosedStdoutReason : "ошибка записи") << '\n';
    return kExitNotWritten;
  }
  return kExitOk;
}

}  // namespace

int RunCli(const CliOptions& options, CliStreams streams) {
  if (options.help)
    return PrintText(UsageText(), streams);
  if (options.version)
    return PrintText(std::string("vr512b-diag-cli ") + VR512B_FILE_VERSION + '\n', streams);

  SessionOptions sessionOptions;
  sessionOptions.simulate = options.simulate;
  sessionOptions.virtualTime = options.virtualTime;
  sessionOptions.settingsPath = options.settingsPath;
  sessionOptions.benchScenarios = options.scenarios;
  ConsoleSession session(sessionOptions);

  // Parameters as the window would have them: the store first, then this
  // run's overrides. A value the store cannot give leaves the ones after it at
  // their defaults, as loading does in the window, and is reported.
  TestParameterValues parameters;
  const std::string loadError = session.LoadParameters(parameters);
  if (!loadError.empty())
    streams.err << "Параметры тестирования: " << loadError << '\n';
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
  int status = view.AnyFailed() ? kExitTestFailed : view.AnyAborted() ? kExitAborted : kExitOk;
  const std::string logError = view.LogOutputError();
  if (!logError.empty()) {
    streams.err << "vr512b-diag-cli: протокол проверки не записан в стандартный вывод: " << logError
                << '\n';
    status = kExitNotWritten;
  }
  if (!report.Finish(status))
    status = kExitNotWritten;
  return status;
}

}  // namespace vr512b::cli
