#pragma once

#include <cstdint>
#include <utility>

#include "common/outcome.h"
#include "device/unit_commands.h"
#include "procedures/test_failure.h"

namespace vr512b {

// The role-level commands as a procedure's steps: a command that failed has
// logged its line, and its step ends the test with "Ошибка выполнения
// команды".
class UnitSteps {
 public:
  explicit UnitSteps(UnitCommands& commands) : commands_(commands) {}

  void SendCommand(TUnitRole role, std::uint8_t opcode, std::uint8_t param1, std::uint8_t param2) {
    Step(commands_.SendCommand(role, opcode, param1, param2));
  }
  void WriteMessage(TUnitRole role, const TMessageBlock& block) {
    Step(commands_.WriteMessage(role, block));
  }
  void WriteConfig(TUnitRole role, const TConfigBlock& block) {
    Step(commands_.WriteConfig(role, block));
  }
  void ReadConfig(TUnitRole role, TConfigBlock& block) { Step(commands_.ReadConfig(role, block)); }
  void ClearUnit(TUnitRole role) { Step(commands_.ClearUnit(role)); }
  void ClearRegisters(TUnitRole role) { Step(commands_.ClearRegisters(role)); }
  void ReadReply(TUnitRole role, TMessageBlock& reply) { Step(commands_.ReadReply(role, reply)); }
  std::uint8_t ReadState(TUnitRole role, int* received = nullptr, int* sent = nullptr) {
    return Step(commands_.ReadState(role, received, sent));
  }
  std::uint8_t PollState(TUnitRole role, int* received = nullptr) {
    return Step(commands_.PollState(role, received));
  }
  void WaitIdle(TUnitRole role) { Step(commands_.WaitIdle(role)); }
  void LogEvent(TUnitRole role, std::uint8_t code) { commands_.LogEvent(role, code); }

  // Without a log line: the caller words the failure.
  Outcome<void> TryWriteConfig(TUnitRole role, const TConfigBlock& block) {
    return commands_.TryWriteConfig(role, block);
  }
  Outcome<void> TryReadConfig(TUnitRole role, TConfigBlock& block) {
    return commands_.TryReadConfig(role, block);
  }

  void FillRandom(std::uint8_t* buffer, int count) { commands_.FillRandom(buffer, count); }
  RandomBytes& random() { return commands_.random(); }

 private:
  static void Step(const Outcome<void>& done) {
    if (!done)
      throw TestFailure(kCommandFailed);
  }
  template <class T>
  static T Step(Outcome<T> done) {
    if (!done)
      throw TestFailure(kCommandFailed);
    return std::move(*done);
  }

  UnitCommands& commands_;
};

}  // namespace vr512b
