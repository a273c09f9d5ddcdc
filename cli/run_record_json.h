#pragma once

#include <optional>
#include <string>

#include "app/run_record.h"
#include "cli/cli_options.h"

namespace vr512b::cli {

// The record of a run of the runner as --report writes it, in the format of
// docs/run-record.schema.json. `exitStatus` is empty when the run ended by an
// unexpected error instead of returning a status.
std::string RunRecordJson(const RunRecord& record, const CliOptions& options,
                          std::optional<int> exitStatus, bool interrupted);

}  // namespace vr512b::cli
