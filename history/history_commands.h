#pragma once

// What --list-runs and --show-run print, and what they say when they cannot:
// the CLI passes the texts on, stdout and stderr.

#include <string>
#include <string_view>

#include "history/run_history.h"

namespace vr512b::history {

enum class ListFormat { Csv, Json };

struct CommandOutput {
  enum class Failure {
    None,
    BadRunId,    // not a run id at all
    NoSuchRun,   // the history has no run by that id
    Unreadable,  // the history could not be read
  };
  std::string text;    // for stdout
  std::string error;   // for stderr; the command failed when not empty
  std::string notice;  // for stderr as well, without failing
  Failure failure = Failure::None;
};

// The test runs `query` selects, in `format`.
CommandOutput ListRunsCommand(RunHistory& history, const RunQuery& query, ListFormat format);

// The log of the run `runId` exactly as that run printed it.
CommandOutput ShowRunCommand(RunHistory& history, std::string_view runId);

}  // namespace vr512b::history
