#pragma once

#include <string>
#include <string_view>

#include "device/random_bytes.h"

#include "common/verdict.h"

namespace vr512b {

struct TestProcedure;

// What a HID trace follows of the console besides the units' transfers, and
// where a replay of a recorded run steps in: the runs and tests with the
// generator's state, the operator's answers and notices, and Abort.
class TraceHooks {
 public:
  // A test's button or Check all ("all") was pressed, and the run starts.
  virtual void RunStarting(std::string_view name) = 0;
  // Before the test's banner; a replay sets the generator where it stood.
  virtual void TestStarting(const TestProcedure& test, RandomBytes& generator) = 0;
  virtual void TestFinished(const TestProcedure& test, Verdict verdict) = 0;
  virtual void Answered(const std::string& question, bool yes) = 0;
  virtual void NoticeShown(const std::string& text) = 0;
  virtual void AbortRequested() = 0;
  // Whether the recorded run pressed Abort at this point of a replay.
  virtual bool AbortDue() = 0;

 protected:
  ~TraceHooks() = default;
};

}  // namespace vr512b
