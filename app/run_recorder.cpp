#include "app/run_recorder.h"

#include <algorithm>

#include "app/diag_console.h"
#include "common/host_name.h"
#include "generated/build_info.h"
#include "procedures/procedure_table.h"

namespace vr512b {

RunRecorder::RunRecorder(DiagConsole& console)
    : console_(console), readsBefore_(console.link().ReadsSoFar()) {
  record_.programVersion = VR512B_FILE_VERSION;
  record_.station = HostName();
  record_.started = WallClock::now();
  record_.parameters = console_.Parameters();
  console_.SetRunObserver(this);
}

RunRecorder::~RunRecorder() {
  console_.SetRunObserver(nullptr);
}

void RunRecorder::Finish() {
  record_.finished = WallClock::now();
}

void RunRecorder::LogLine(std::string_view line) {
  if (inTest_) {
    record_.tests.back().log.emplace_back(line);
  } else {
    record_.logOutsideTests.emplace_back(line);
  }
}

void RunRecorder::TestStarted(const TestProcedure& test) {
  RunRecord::Test entry;
  entry.id = test.id;
  entry.caption = test.caption;
  entry.started = WallClock::now();
  entry.outsideLinesBefore = record_.logOutsideTests.size();
  record_.tests.push_back(std::move(entry));
  inTest_ = true;
}

void RunRecorder::TestFinished(const TestProcedure&, Verdict verdict) {
  // The frame has closed the units, but the link still knows whom it had; it
  // forgets a unit whose open failed, so the last identity read is kept.
  // Only what this run read: the window's link outlives its runs, and a unit
  // read in an earlier one may be gone.
  for (const TUnitRole role : {urUnderTest, urReference}) {
    const DeviceLink::Identity& identity = console_.link().LastIdentity(role);
    if (identity.known && identity.readNumber > readsBefore_)
      record_.units[role] = RunRecord::Unit{identity.serial, identity.version};
  }
  if (!inTest_)
    return;
  record_.tests.back().verdict = verdict;
  record_.tests.back().finished = WallClock::now();
  inTest_ = false;
}

std::string PrintedLog(const RunRecord& record) {
  std::size_t bytes = 0;
  const auto count = [&bytes](const std::vector<std::string>& lines) {
    for (const std::string& line : lines)
      bytes += line.size() + 1;
  };
  count(record.logOutsideTests);
  for (const RunRecord::Test& test : record.tests)
    count(test.log);

  std::string log;
  log.reserve(bytes);
  const auto append = [&log](const std::string& line) {
    log += line;
    log += '\n';
  };
  std::size_t outside = 0;
  const auto appendOutsideUpTo = [&](std::size_t end) {
    for (end = std::min(end, record.logOutsideTests.size()); outside < end; ++outside)
      append(record.logOutsideTests[outside]);
  };
  for (const RunRecord::Test& test : record.tests) {
    appendOutsideUpTo(test.outsideLinesBefore);
    for (const std::string& line : test.log)
      append(line);
  }
  appendOutsideUpTo(record.logOutsideTests.size());
  return log;
}

}  // namespace vr512b
