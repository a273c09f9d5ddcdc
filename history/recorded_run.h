#pragma once

// One run of the console as the history keeps it: what the run record of
// --report holds, plus the whole log as the run printed it.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/verdict.h"

namespace vr512b::history {

// Wall-clock UTC with milliseconds, the resolution the history keeps.
using TimeMs = std::chrono::sys_time<std::chrono::milliseconds>;

// Where a run's units were: on USB, or the virtual bench (--simulate).
enum class Bench { Real, Virtual };

// A unit's identity as the run read it when opening the unit.
struct UnitIdentity {
  std::int32_t serial = 0;  // the serial number string as the console converts it
  std::uint16_t version = 0;
  friend bool operator==(const UnitIdentity&, const UnitIdentity&) = default;
};

struct RunParameter {
  std::string name;   // as the parameters store names it, e.g. "PhoneSample"
  std::string value;  // as the run used it; booleans as the integration writes them
  friend bool operator==(const RunParameter&, const RunParameter&) = default;
};

struct RecordedTest {
  std::string id;       // "func", "indic", ...
  std::string caption;  // the test's button caption, "Функционирование", ...
  // None for a test the run ended inside. A history written before verdicts were kept as
  // values has "failed" for every "Ошибка", errors of the console included.
  std::optional<Verdict> verdict;
  TimeMs started;
  std::optional<TimeMs> finished;
  std::vector<std::string> log;  // its log lines, without line breaks
  friend bool operator==(const RecordedTest&, const RecordedTest&) = default;
};

struct RecordedRun {
  std::string runId;           // a UUID version 4 in its canonical lower-case form: NewRunId()
  std::string program;         // "vr512b-diag-cli" or "vr512b-diag"
  std::string programVersion;  // the file version, "2.0.0.3"
  std::string station;         // the host name: LocalStationName()
  std::optional<Bench> bench;  // none for a run recorded before the history kept it
  TimeMs started;
  TimeMs finished;
  std::optional<UnitIdentity> unitUnderTest;  // none when the run never read it
  std::optional<UnitIdentity> referenceUnit;
  std::vector<RunParameter> parameters;  // in force for the run, in the store's order
  std::vector<RecordedTest> tests;       // in the order they ran
  std::string log;  // every byte the run printed as its log, line breaks included
  friend bool operator==(const RecordedRun&, const RecordedRun&) = default;
};

// A fresh random run id (UUID version 4, lower case).
std::string NewRunId();

// `text` as a run id in canonical form (lower case), or none when it is not
// a UUID written as 8-4-4-4-12 hexadecimal digits.
std::optional<std::string> CanonicalRunId(std::string_view text);

// A host name as a station: characters that are not printable ASCII become
// '?', so that a station name is always plain text; "?" when there is none.
std::string StationName(std::string_view hostName);
// This machine's.
std::string LocalStationName();

// Whether `run` can be stored: a canonical run id, its bench, and plain
// UTF-8 without NUL in the fields that are names rather than log text.
// Returns what is wrong, empty when nothing is.
std::string CheckRecordedRun(const RecordedRun& run);

// A test's log lines as one text and back. A line that itself holds a line
// break or a backslash is escaped, so that every list of lines survives.
std::string JoinLogLines(const std::vector<std::string>& lines);
std::vector<std::string> SplitLogLines(std::string_view text);

}  // namespace vr512b::history
