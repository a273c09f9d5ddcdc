#pragma once

#include <string>
#include <string_view>

#include "procedures/procedure_table.h"
#include "procedures/test_parameters.h"

#include "common/verdict.h"

namespace vr512b {

// What the console core needs from a front end (the main window, the
// command-line runner, a test recorder).
class ConsoleView {
 public:
  virtual ~ConsoleView() = default;
  // One log line, without its line break.
  virtual void AppendLog(std::string_view line) = 0;
  virtual void ClearLog() = 0;
  // The status cell of a test that has one.
  virtual void SetStatus(const TestProcedure& test, std::string_view text) = 0;
  // Modal box, caption "Проверка", information icon, Yes and No.
  virtual bool AskYesNo(const std::string& question) = 0;
  // Modal box, caption "Проверка", information icon, OK.
  virtual void ShowNotice(const std::string& text) = 0;
  // One pass over pending window messages; no waiting.
  virtual void ProcessMessages() = 0;
  // Re-evaluates every action's enabling rule and shows the result.
  virtual void UpdateActions() = 0;
  // The parameter controls as they stand now.
  virtual TestParameterValues Parameters() const = 0;
  // A test's frame starts or ends (with its verdict).
  virtual void TestStarted(const TestProcedure&) {}
  virtual void TestFinished(const TestProcedure&, Verdict) {}
};

}  // namespace vr512b
