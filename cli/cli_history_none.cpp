#include <ostream>

#include "cli/cli_history.h"

namespace vr512b::cli {

// A build without the history (no SQLite, or no libpq outside Windows): the options of the history
// are refused as the command line is read, so none of this is ever asked to do anything.

bool HistoryBuilt() {
  return false;
}

int RunHistoryCommand(const CliOptions&, CliStreams streams) {
  streams.err << "vr512b-diag-cli: в этой сборке нет истории запусков\n";
  return kExitUsage;
}

struct RunHistoryRecording::State {};

RunHistoryRecording::RunHistoryRecording(const CliOptions&, std::ostream&,
                                         const volatile std::sig_atomic_t*) {}

RunHistoryRecording::~RunHistoryRecording() = default;

bool RunHistoryRecording::Active() const {
  return false;
}

void RunHistoryRecording::Record(const RunRecord&) {}

}  // namespace vr512b::cli
