#include "cli/run_reporter.h"

#include <ostream>

#include "cli/cli_history.h"
#include "cli/cli_view.h"
#include "cli/run_record_json.h"
#include "common/atomic_file.h"

namespace vr512b::cli {

RunReporter::RunReporter(const CliOptions& options, CliView& view, DiagConsole& console,
                         RunHistoryRecording& history, std::ostream& err)
    : options_(options), view_(view), history_(history), err_(err) {
  // One recorder for both: a console has a single observer.
  if (options_.reportPath || history_.Active())
    recorder_.emplace(console);
}

RunReporter::~RunReporter() {
  try {
    Write(std::nullopt);
  } catch (...) {
    // Unwinding already: a record that cannot be made must not end the
    // program before the error that ends the run is reported.
  }
}

bool RunReporter::Finish(int exitStatus) {
  return Write(exitStatus);
}

bool RunReporter::Write(std::optional<int> exitStatus) {
  if (!recorder_ || written_)
    return true;
  written_ = true;
  recorder_->Finish();
  bool recordWritten = true;
  if (options_.reportPath) {
    const std::string json =
        RunRecordJson(recorder_->Record(), options_, exitStatus, view_.SignalAbort());
    const std::string error = ReplaceFileAtomically(*options_.reportPath, json);
    if (!error.empty()) {
      err_ << "vr512b-diag-cli: --report " << *options_.reportPath
           << ": протокол запуска не записан: " << error << '\n';
      recordWritten = false;
    }
  }
  history_.Record(recorder_->Record());
  return recordWritten;
}

}  // namespace vr512b::cli
