#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "app/console_view.h"
#include "cli/cli_options.h"
#include "cli/cli_runner.h"

namespace vr512b {
class Clock;
class DiagConsole;
namespace sim {
class VirtualTechnician;
}
}  // namespace vr512b

namespace vr512b::cli {

// The headless front end: the log goes to stdout as it is written, operator
// dialogue to stderr (and, when asked for, stdin), Abort comes from a signal
// or from a timer on the console's clock.
class CliView final : public ConsoleView {
 public:
  CliView(CliStreams streams, Clock& clock, AnswerMode answers, sim::VirtualTechnician* technician,
          TestParameterValues parameters, std::optional<long long> abortAfterMs);

  void Attach(DiagConsole& console) { console_ = &console; }

  void AppendLog(std::string_view line) override;
  void ClearLog() override {}
  void SetStatus(const TestProcedure& test, std::string_view text) override;
  bool AskYesNo(const std::string& question) override;
  void ShowNotice(const std::string& text) override;
  void ProcessMessages() override;
  void UpdateActions() override {}
  TestParameterValues Parameters() const override { return parameters_; }
  void TestStarted(const TestProcedure& test) override;
  void TestFinished(const TestProcedure& test, Verdict verdict) override;

  bool AnyFailed() const { return failed_; }
  bool AnyAborted() const { return aborted_; }
  bool SignalAbort() const { return signalled_; }
  void PrintStatusCells();
  // Why the log did not reach stdout whole; empty when it did. Checked after
  // every line and once more after `out` is flushed at the end.
  const std::string& LogOutputError();

 private:
  void PollAbort();
  // A signal ended the wait for the operator's line: Abort is pressed, and
  // whatever was typed so far is no answer.
  bool InterruptedBySignal();
  void CheckLogOutput();

  CliStreams streams_;
  Clock& clock_;
  AnswerMode answers_;
  sim::VirtualTechnician* technician_;
  TestParameterValues parameters_;
  std::optional<long long> abortAfterMs_;
  std::optional<long long> abortAt_;
  DiagConsole* console_ = nullptr;
  std::map<std::string, std::string, std::less<>> cells_;  // by status cell
  bool failed_ = false;
  bool aborted_ = false;
  bool signalled_ = false;
  std::string logError_;
};

}  // namespace vr512b::cli
