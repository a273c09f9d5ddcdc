#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "procedure_host.h"

namespace vr512b {

// Status cells of the main window, in the order Clear empties them.
enum class StatusCell {
  None = -1,
  STFunc,
  STIndic,
  STSound,
  STTestTR,
  STTestRX,
  STTestLine,
  STTestTRMess,
  STTestRXMess
};
inline constexpr int kStatusCellCount = 8;
const char* StatusCellName(StatusCell cell);

// One run of a test inside the test frame.
class TestRun {
 public:
  virtual ~TestRun() = default;
  // The frame's CheckAbort has run; the body opens its units and raises
  // TestFailure to end the test.
  virtual void Body(ProcedureHost& host) = 0;
  // Runs after Abort, before the units are closed.
  virtual void AbortCleanup(ProcedureHost&) {}
};

// One diagnostic test as its action runs it inside the test frame.
struct TestProcedure {
  std::string id;       // command-line name: func, indic, ...
  std::string action;   // ActTestFunc, ...
  std::string caption;  // button caption
  std::string title;    // banner title line
  StatusCell cell = StatusCell::None;
  std::function<std::unique_ptr<TestRun>()> create;
};

// The tests in the order of the main window's buttons, then the monitor.
const std::vector<TestProcedure>& AllProcedures();
const TestProcedure* FindProcedure(const std::string& id);

}  // namespace vr512b
