#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "app/run_recorder.h"
#include "cli/cli_options.h"

namespace vr512b {
class DiagConsole;
}

namespace vr512b::cli {

class CliView;
class RunHistoryRecording;

// Keeps the record of a run when --report asks for one or the run history
// takes it, and hands it over once: the file written, the run recorded, at
// Finish or, when an error ends the run instead, from the destructor. Inert
// with neither.
class RunReporter {
 public:
  RunReporter(const CliOptions& options, CliView& view, DiagConsole& console,
              RunHistoryRecording& history, std::ostream& err);
  ~RunReporter();
  RunReporter(const RunReporter&) = delete;
  RunReporter& operator=(const RunReporter&) = delete;

  // Writes the record with the run's exit status and records the run in the
  // history. A record that cannot be written is reported on `err`, and false
  // returned; the file that was there stays as it was. A run the history
  // cannot keep is reported on `err` only: the exit status stays the tests'.
  bool Finish(int exitStatus);

 private:
  bool Write(std::optional<int> exitStatus);

  const CliOptions& options_;
  CliView& view_;
  RunHistoryRecording& history_;
  std::ostream& err_;
  std::optional<RunRecorder> recorder_;
  bool written_ = false;
};

}  // namespace vr512b::cli
