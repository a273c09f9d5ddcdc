#include "procedures/output_procedure.h"

#include "procedures/test_failure.h"

namespace vr512b {

void OutputProcedure::AbortCleanup(ProcedureHost& host) {
  WaitIdleIfOpen(host, urUnderTest);
}

void OutputProcedure::Open(ProcedureHost& host) {
  if (!host.link().OpenDevice(urUnderTest))
    throw TestFailure(kCannotOpenDevice);
  host.unit().ClearUnit(urUnderTest);
}

bool OutputProcedure::AnswerAndAsk(ProcedureHost& host, TConfigBlock& config,
                                   const std::string& question, int waitMs) {
  UnitSteps unit = host.unit();
  config[cfgFormatMask] = fmAllButPresto;
  unit.WriteConfig(urUnderTest, config);
  unit.SendCommand(urUnderTest, OpAnswer, 0, 0);
  host.clock().Sleep(waitMs);
  const bool yes = host.AskYesNo(question);
  unit.SendCommand(urUnderTest, OpHangUp, 0, 0);
  config[cfgFormatMask] = fmNone;
  unit.WriteConfig(urUnderTest, config);
  unit.WaitIdle(urUnderTest);
  return yes;
}

}  // namespace vr512b
