#include "history/console/run_record_to_history.h"

#include <algorithm>

#include "app/parameter_override.h"
#include "app/run_recorder.h"
#include "device/device_types.h"

namespace vr512b::history {

namespace {

TimeMs Ms(WallClock::time_point time) {
  return std::chrono::floor<std::chrono::milliseconds>(time);
}

std::optional<UnitIdentity> Identity(const std::optional<RunRecord::Unit>& unit) {
  if (!unit)
    return std::nullopt;
  return UnitIdentity{unit->serial, unit->version};
}

WallClock::time_point EndOf(const RunRecord& record) {
  if (record.finished)
    return *record.finished;
  WallClock::time_point end = record.started;
  for (const RunRecord::Test& test : record.tests)
    end = std::max(end, test.finished.value_or(test.started));
  return end;
}

}  // namespace

RecordedRun ToRecordedRun(RunRecord record, std::string_view program, Bench bench,
                          std::string runId) {
  RecordedRun run;
  run.runId = std::move(runId);
  run.program = std::string(program);
  run.programVersion = record.programVersion;
  run.station = StationName(record.station);
  run.bench = bench;
  run.started = Ms(record.started);
  run.finished = Ms(EndOf(record));
  run.unitUnderTest = Identity(record.units[urUnderTest]);
  run.referenceUnit = Identity(record.units[urReference]);
  for (auto& [name, value] : ParametersByName(record.parameters))
    run.parameters.push_back({std::move(name), std::move(value)});
  run.log = PrintedLog(record);
  run.tests.reserve(record.tests.size());
  for (RunRecord::Test& test : record.tests) {
    std::optional<TimeMs> finished;
    if (test.finished)
      finished = Ms(*test.finished);
    run.tests.push_back({std::move(test.id), std::move(test.caption), test.verdict,
                         Ms(test.started), finished, std::move(test.log)});
  }
  return run;
}

}  // namespace vr512b::history
