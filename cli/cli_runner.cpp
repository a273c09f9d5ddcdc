#include "cli/cli_runner.h"

#include <algorithm>
#include <memory>
#include <ostream>
#include <set>

#include "app/diag_console.h"
#include "app/parameter_override.h"
#include "cli/cli_history.h"
#include "cli/cli_view.h"
#include "cli/run_reporter.h"
#include "common/atomic_file.h"
#include "device/clock.h"
#include "device/hid_library.h"
#include "device/plugged_units.h"
#include "device/serial_number.h"
#include "generated/build_info.h"
#include "settings/settings.h"

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

std::string Joined(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words)
    text += (text.empty() ? "" : " ") + word;
  return text;
}

// A replay runs the tests the trace was recorded with, in the same order;
// anything else would diverge at its first step. Empty when they agree.
std::string ReplayMismatch(const sim::TraceReplay& replay, const std::vector<std::string>& tests) {
  const std::vector<std::string> recorded = replay.Runs();
  if (recorded == tests)
    return {};
  return "трасса " + replay.Path() + " записана при запуске «" + Joined(recorded) +
         "», а запускается «" + Joined(tests) + "»";
}

}  // namespace

namespace {

// --wait-for-unit: looks at the platform's list of units (nothing is opened)
// until a unit under test is there, `seconds` at most (0: for as long as it
// takes). SIGINT and SIGTERM end the wait as they would end a test.
int WaitForUnit(HidLibrary& hid, Clock& clock, std::int32_t refSerial, long long seconds,
                CliStreams& streams) {
  constexpr int kPollMs = 250;
  const std::int64_t deadline = clock.NowMs() + seconds * 1000;
  bool told = false;
  for (;;) {
    const auto units = ListPluggedUnits(hid, refSerial);
    if (!units) {
      streams.err << "vr512b-diag-cli: --wait-for-unit: список подключенных УПО недоступен\n";
      return kExitCannotStart;
    }
    for (const PluggedUnit& unit : *units) {
      if (unit.role == urUnderTest) {
        if (told)
          streams.err << "Проверяемое УПО подключено: " << PluggedUnitText(unit) << '\n';
        return kExitOk;
      }
    }
    if (!told) {
      streams.err << "Ожидание проверяемого УПО...\n";
      told = true;
    }
    if (streams.abortRequest != nullptr && *streams.abortRequest != 0)
      return kExitAborted;
    if (seconds > 0 && clock.NowMs() >= deadline) {
      streams.err << "vr512b-diag-cli: --wait-for-unit: проверяемое УПО не подключено за "
                  << seconds << " с\n";
      return kExitCannotStart;
    }
    clock.Sleep(kPollMs);
  }
}

}  // namespace

int RunCli(const CliOptions& options, CliStreams streams,
           std::optional<SessionOptions::ExternalBench> externalBench) {
  if (options.help)
    return PrintText(UsageText(), streams);
  if (options.version)
    return PrintText(std::string("vr512b-diag-cli ") + VR512B_FILE_VERSION + '\n', streams);
  if (options.listRuns || options.showRun)
    return RunHistoryCommand(options, streams);

  SessionOptions sessionOptions;
  sessionOptions.simulate = options.simulate;
  sessionOptions.virtualTime = options.virtualTime;
  sessionOptions.settingsPath = options.settingsPath;
  sessionOptions.benchScenarios = options.scenarios;
  sessionOptions.programName = "vr512b-diag-cli";
  sessionOptions.externalBench = externalBench;
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
  if (hid.badTrace) {
    streams.err << "vr512b-diag-cli: --sim replay: " << hid.error << '\n';
    return kExitCannotStart;
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
  sim::TraceReplay* replay = session.Replay();
  if (replay != nullptr) {
    const std::string mismatch = ReplayMismatch(*replay, options.tests);
    if (!mismatch.empty()) {
      streams.err << "vr512b-diag-cli: --sim replay: " << mismatch << '\n';
      return kExitCannotStart;
    }
    replay->SetDivergenceReport([&streams](const std::string& text) {
      streams.err << "vr512b-diag-cli: " << text << '\n';
    });
    // A signal ends the replay's wait for recorded time at once, be it a
    // pause of minutes or a day where the trace's times jump.
    replay->SetAbortCheck(
        [&streams] { return streams.abortRequest != nullptr && *streams.abortRequest != 0; });
  }
  if (options.tracePath) {
    const std::string error = session.StartTrace(*options.tracePath);
    if (!error.empty()) {
      streams.err << "vr512b-diag-cli: --trace " << *options.tracePath << ": " << error << '\n';
      return kExitCannotStart;
    }
  }
  // Said as soon as it is known, since the tests go on without the trace;
  // the exit status says at the end that the trace asked for was lost.
  bool traceLost = false;
  const auto reportTraceFailure = [&] {
    if (const std::optional<std::string> failure = session.TakeTraceFailure()) {
      streams.err << "vr512b-diag-cli: --trace " << *options.tracePath
                  << ": запись обмена прервана: " << *failure << '\n';
      traceLost = true;
    }
  };

  if (options.waitForUnitSeconds) {
    const int waited =
        WaitForUnit(*hid.hid, session.clock(), ReferenceSerialFromText(parameters.NameVR512BSample),
                    *options.waitForUnitSeconds, streams);
    if (waited != kExitOk)
      return waited;
  }

  // Every run that starts is recorded, without being asked for.
  RunHistoryRecording history(options, streams.err, streams.abortRequest);

  const AnswerMode answers =
      options.answer.value_or(options.simulate ? AnswerMode::Auto : AnswerMode::Ask);
  CliView view(streams, session.clock(), answers, session.Technician(), parameters,
               options.abortAfterMs);
  DiagConsole console(*hid.hid, session.clock(), view);
  view.Attach(console);
  console.SetRefSerialFromText(parameters.NameVR512BSample);
  session.Attach(console);
  RunReporter report(options, view, console, history, streams.err);

  // Why a unit could not be opened, where the operator can remedy it: the
  // log keeps its one line, stderr tells each reason once per run.
  std::set<std::string> openProblemsTold;
  const auto reportOpenProblems = [&] {
    for (const std::string& text : hid.hid->TakeOpenProblems()) {
      if (openProblemsTold.insert(text).second)
        streams.err << "vr512b-diag-cli: " << text << '\n';
    }
  };

  for (const std::string& test : options.tests) {
    console.RunByName(test);
    reportOpenProblems();
    reportTraceFailure();
    // An interrupt stops the whole run, not only the test it came during.
    if (view.SignalAbort())
      break;
  }
  if (replay != nullptr && !view.SignalAbort())
    replay->Finish();
  streams.out.flush();
  view.PrintStatusCells();
  int status = view.AnyFailed() ? kExitTestFailed : view.AnyAborted() ? kExitAborted : kExitOk;
  // A replay is a regression test: a run that went otherwise than the
  // recorded one fails, whatever its verdicts.
  if (replay != nullptr && replay->Diverged())
    status = kExitTestFailed;
  if (options.tracePath) {
    const std::string error = session.StopTrace();
    if (!error.empty()) {
      streams.err << "vr512b-diag-cli: --trace " << *options.tracePath
                  << ": запись обмена не завершена: " << error << '\n';
      traceLost = true;
    }
  }
  if (traceLost)
    status = kExitNotWritten;
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
