#pragma once

#include <string>

#include "app/run_observer.h"
#include "app/run_record.h"

namespace vr512b {

class DiagConsole;

// Keeps the RunRecord of a console while it lives: attached to the console
// when made, detached when it goes. The window and the command-line runner
// use it alike.
class RunRecorder final : private RunObserver {
 public:
  // The record starts now, with the parameters the console reads now.
  explicit RunRecorder(DiagConsole& console);
  ~RunRecorder();
  RunRecorder(const RunRecorder&) = delete;
  RunRecorder& operator=(const RunRecorder&) = delete;

  // The run ends now.
  void Finish();
  const RunRecord& Record() const { return record_; }
  // The record, moved out: what this recorder keeps from now on is empty.
  RunRecord TakeRecord() { return std::move(record_); }

 private:
  void LogLine(std::string_view line) override;
  void TestStarted(const TestProcedure& test) override;
  void TestFinished(const TestProcedure& test, Verdict verdict) override;

  DiagConsole& console_;
  std::uint64_t readsBefore_;  // the link's reads when the run started
  RunRecord record_;
  bool inTest_ = false;
};

// The run's log as its view got it: every line, tests' and others', in the
// order written, each followed by "\n" (what the runner prints on stdout).
std::string PrintedLog(const RunRecord& record);

}  // namespace vr512b
