#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli_options.h"
#include "test_parameters.h"
#include "utc_time.h"

namespace vr512b {
class DeviceLink;
class DiagConsole;
struct TestProcedure;
}  // namespace vr512b

namespace vr512b::cli {

class CliView;

// Whether the record could be written to `path` at all: a run of many minutes
// must not end with its record lost to a mistyped folder. Returns an error
// text, empty when a file can be created beside `path`.
std::string CheckRecordPath(const std::string& path);

// What one run of the runner did, gathered as it happens.
class RunRecord {
 public:
  RunRecord(const CliOptions& options, TestParameterValues parameters,
            WallClock::time_point started);

  void LogLine(std::string_view line);
  void TestStarted(const TestProcedure& test, WallClock::time_point at);
  void TestFinished(std::string_view verdict, WallClock::time_point at);
  // The device link forgets a unit's identity when an open fails; the record
  // keeps the last one that was read.
  void NoteUnits(const DeviceLink& link);

  // The record as JSON. `exitStatus` is empty when the run ended by an
  // unexpected error instead of returning a status.
  std::string ToJson(WallClock::time_point finished, std::optional<int> exitStatus,
                     bool interrupted) const;

 private:
  struct Unit {
    std::int32_t serial = 0;
    std::uint16_t version = 0;
  };
  struct Test {
    std::string id;
    std::string caption;
    std::optional<std::string> verdict;
    WallClock::time_point started;
    std::optional<WallClock::time_point> finished;
    std::vector<std::string> log;
  };

  CliOptions options_;
  TestParameterValues parameters_;
  WallClock::time_point started_;
  std::array<std::optional<Unit>, 2> units_;  // by TUnitRole
  std::vector<Test> tests_;
  bool inTest_ = false;
  std::vector<std::string> logOutsideTests_;
};

// Keeps the record of a run when --report asks for one: follows the view's
// log and test boundaries and writes the file once, at Finish or, when an
// error ends the run instead, from the destructor. Inert without --report.
class RunReporter {
 public:
  RunReporter(const CliOptions& options, const TestParameterValues& parameters, CliView& view,
              DiagConsole& console, std::ostream& err);
  ~RunReporter();
  RunReporter(const RunReporter&) = delete;
  RunReporter& operator=(const RunReporter&) = delete;

  // Writes the record with the run's exit status. A record that cannot be
  // written is reported on `err`; the exit status stays that of the tests.
  void Finish(int exitStatus);

 private:
  void Write(std::optional<int> exitStatus);

  std::optional<std::string> path_;
  std::optional<RunRecord> record_;
  CliView& view_;
  DiagConsole& console_;
  std::ostream& err_;
  bool written_ = false;
};

}  // namespace vr512b::cli
