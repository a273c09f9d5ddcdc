#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <string>

namespace vr512b {
class ConsoleSession;
namespace sim {
class VirtualBench;
}  // namespace sim
}  // namespace vr512b

namespace vr512b::gui {

class SessionHistory;
class TFmBench;
class TFmMain;
class TerminationSignals;

struct StartOptions {
  bool simulate = false;                    // the virtual bench instead of real units
  std::optional<std::string> settingsPath;  // the parameters store
  std::optional<std::string> tracePath;     // a HID trace to record from the start
  std::optional<std::string> historyUrl;    // --history: where the runs are recorded
  // For tests: the virtual bench on virtual time, so tests run in moments.
  bool virtualTime = false;
  bool showWindows = true;
  // --test-report RUN_ID FILE: no window, the run's test report as a PDF.
  std::optional<std::string> testReportRun;
  QString testReportPath;
};

// The command line: either options to start with, or an exit with text.
struct CommandLine {
  StartOptions options;
  std::optional<int> exitCode;  // set: print `output`/`error` and end
  QString output;               // for stdout
  QString error;                // for stderr
};
CommandLine ParseCommandLine(const QStringList& arguments);

// One run of the console: what the command-line runner sets up as well (the
// clock, the parameters store, the platform's HID library or the virtual
// bench), the main window and, on the virtual bench, its window; SIGINT and
// SIGTERM end it as closing the window does, after the test that runs.
// Members are released in reverse order, so the windows go before the HID
// library they use.
class DiagSession {
 public:
  // Creates the main window and runs its start-up. Returns null after the
  // start-up error box (no HID library): no window is left then.
  static std::unique_ptr<DiagSession> Start(const StartOptions& options);
  ~DiagSession();
  DiagSession(const DiagSession&) = delete;
  DiagSession& operator=(const DiagSession&) = delete;

  TFmMain& MainWindow() const { return *window_; }
  TFmBench* BenchWindow() const { return benchWindow_.get(); }
  sim::VirtualBench* Bench() const;

 private:
  // Only Start makes sessions; the key lets it use make_unique.
  struct Key {
    explicit Key() = default;
  };

 public:
  explicit DiagSession(Key);

 private:
  void PlaceWindows();

  // First, so that it goes last: the system waits for the session to end
  // until this has gone (Windows), and a signal during the end is taken.
  std::unique_ptr<TerminationSignals> signals_;
  std::unique_ptr<ConsoleSession> console_;
  std::unique_ptr<TFmMain> window_;
  std::unique_ptr<TFmBench> benchWindow_;
  // Before the window goes, the runs it handed over are recorded.
  std::unique_ptr<SessionHistory> history_;
};

}  // namespace vr512b::gui
