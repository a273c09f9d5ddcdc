#pragma once

#include <string>

#include "procedures/test_run.h"

namespace vr512b {

// What the indication and the sound test share: the unit under test opened,
// cleared and put in mode 0, and the answer step that lights 'Линия' and
// sounds the short signals.
class OutputProcedure : public TestRun {
 public:
  void AbortCleanup(ProcedureHost& host) override;

 protected:
  static void Open(ProcedureHost& host);
  // Answers, waits, asks, then hangs up and restores the format mask before
  // the answer is judged, so a refusal never leaves the unit on line.
  static bool AnswerAndAsk(ProcedureHost& host, TConfigBlock& config, const std::string& question,
                           int waitMs);
};

}  // namespace vr512b
