#pragma once

#include <exception>
#include <initializer_list>
#include <string>
#include <string_view>

#include "device/clock.h"
#include "device/device_link.h"
#include "device/unit_commands.h"
#include "procedures/test_failure.h"
#include "procedures/test_parameters.h"
#include "procedures/unit_steps.h"

namespace vr512b {

// What a diagnostic procedure needs from the console that runs it.
class ProcedureHost {
 public:
  virtual ~ProcedureHost() = default;

  virtual void WriteLog(std::string_view text) = 0;
  // Re-evaluates the enabling rules, pumps pending window messages once and
  // raises "Операция прервана" when Abort has been pressed.
  virtual void CheckAbort() = 0;
  // One pass of the window's message queue, without the abort check.
  virtual void ProcessMessages() = 0;
  // Modal Yes/No question, caption "Проверка"; true only for Yes.
  virtual bool AskYesNo(const std::string& question) = 0;
  // Modal notice with a single OK button, caption "Проверка".
  virtual void ShowNotice(const std::string& text) = 0;
  virtual TestParameterValues Parameters() const = 0;
  virtual bool Busy() const = 0;

  virtual Clock& clock() = 0;
  virtual DeviceLink& link() = 0;
  virtual UnitCommands& commands() = 0;
  // The commands as steps of the test: a failed one ends it.
  UnitSteps unit() { return UnitSteps(commands()); }
};

// The wait after an abort, for a unit the test got to open: a unit that was
// never opened has nothing to finish, and asking it would only log an error.
inline void WaitIdleIfOpen(ProcedureHost& host, TUnitRole role) {
  if (host.link().IsOpen(role))
    host.unit().WaitIdle(role);
}

// The waits after an abort, one unit after the other in the order given.
// A wait that fails (a unit busy past the bound, or gone) does not cancel the
// ones after it: the next unit still has its line operation to finish. The
// first failure is raised once every unit has had its wait.
inline void WaitIdleEachIfOpen(ProcedureHost& host, std::initializer_list<TUnitRole> roles) {
  std::exception_ptr firstFailure;
  for (const TUnitRole role : roles) {
    try {
      WaitIdleIfOpen(host, role);
    } catch (const TestFailure&) {
      if (!firstFailure)
        firstFailure = std::current_exception();
    }
  }
  if (firstFailure)
    std::rethrow_exception(firstFailure);
}

}  // namespace vr512b
