#include "run_reporter.h"

#include <ostream>

#include "atomic_file.h"
#include "cli_view.h"
#include "run_record_json.h"

namespace vr512b::cli {

RunReporter::RunReporter(const CliOptions& options, CliView& view, DiagConsole& console,
                         std::ostream& err)
    : options_(options), view_(view), err_(err) {
  if (options_.reportPath)
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
  const std::string json =
      RunRecordJson(recorder_->Record(), options_, exitStatus, view_.SignalAbort());
  const std::string error = ReplaceFileAtomically(*options_.reportPath, json);
  if (!error.empty()) {
    err_ << "vr512b-diag-cli: --report " << *options_.reportPath
         << ": протокол запуска не записан: " << error << '\n';
    return false;
  }
  return true;
}

}  // namespace vr512b::cli
