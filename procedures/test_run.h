#pragma once

#include "procedures/procedure_host.h"

namespace vr512b {

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

}  // namespace vr512b
