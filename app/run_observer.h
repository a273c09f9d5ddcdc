#pragma once

#include <string_view>

#include "common/verdict.h"

namespace vr512b {

struct TestProcedure;

// Follows what a console does, for those who keep a record of it: every log
// line as the view gets it, and the frame of every test.
class RunObserver {
 public:
  virtual void LogLine(std::string_view line) = 0;
  virtual void TestStarted(const TestProcedure& test) = 0;
  // The frame has closed the units; with its verdict.
  virtual void TestFinished(const TestProcedure& test, Verdict verdict) = 0;

 protected:
  ~RunObserver() = default;
};

}  // namespace vr512b
