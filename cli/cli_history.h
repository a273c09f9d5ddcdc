#pragma once

#include <csignal>
#include <iosfwd>
#include <memory>

#include "cli/cli_options.h"
#include "cli/cli_runner.h"

namespace vr512b {
struct RunRecord;
}

namespace vr512b::cli {

// Whether this build keeps a run history (it needs SQLite, and libpq but on
// Windows).
bool HistoryBuilt();

// --list-runs or --show-run: prints what the history holds; returns the exit
// status.
int RunHistoryCommand(const CliOptions& options, CliStreams streams);

// The history a run of tests is recorded in: found and opened as the run
// starts (a problem is said on `err` at once), recorded into when it ends.
// Recording never touches stdout and never changes the exit status: what
// went wrong is said on `err`.
class RunHistoryRecording {
 public:
  // `signalCount` ends a wait on the history's server (see CliStreams).
  RunHistoryRecording(const CliOptions& options, std::ostream& err,
                      const volatile std::sig_atomic_t* signalCount = nullptr);
  ~RunHistoryRecording();
  RunHistoryRecording(const RunHistoryRecording&) = delete;
  RunHistoryRecording& operator=(const RunHistoryRecording&) = delete;

  // Whether there is a history to record into.
  bool Active() const;
  // Records the run, once; later calls do nothing.
  void Record(const RunRecord& record);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace vr512b::cli
