#pragma once

#include <string>
#include <string_view>

#include "app/run_record.h"
#include "history/recorded_run.h"

namespace vr512b::history {

// The console's record of a run as the history keeps it, under `runId`
// (NewRunId()), the name of the program that ran it ("vr512b-diag-cli",
// "vr512b-diag") and the bench it ran on. Times are cut to milliseconds; a run without an end ends
// when its last test did; the station is the host name as StationName()
// makes it; the log is the one the run printed (PrintedLog).
RecordedRun ToRecordedRun(RunRecord record, std::string_view program, Bench bench,
                          std::string runId);

}  // namespace vr512b::history
