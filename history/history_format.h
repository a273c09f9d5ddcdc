#pragma once

// The history as text: the rows of --list-runs as CSV or JSON.

#include <string>
#include <string_view>
#include <vector>

#include "history/recorded_run.h"
#include "history/run_history.h"

namespace vr512b::history {

inline constexpr std::string_view kCsvHeader =
    "run_id,started,finished,station,unit_serial,reference_serial,test,verdict,bench";

// The header line, then one line per row; times as IsoUtcMillis writes them; a verdict as the
// status cells show it (VerdictText); the bench "real" or "virtual"; fields that hold a comma, a
// quote or a line break are quoted (RFC 4180). A missing time, serial or verdict is an empty
// field, and so is the bench of a run recorded before the history kept it. Lines end with "\n".
std::string FormatCsv(const std::vector<TestRunRow>& rows);

// A JSON array with one object per row and the CSV's fields as members;
// a missing time, serial, verdict or bench is null, serials are numbers.
std::string FormatJson(const std::vector<TestRunRow>& rows);

}  // namespace vr512b::history
