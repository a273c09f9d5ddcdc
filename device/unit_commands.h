#pragma once

#include <cstdint>
#include <string>

#include "device/clock.h"
#include "device/device_link.h"
#include "device/device_types.h"
#include "device/log_sink.h"
#include "device/random_bytes.h"
#include "device/report_layer.h"

namespace vr512b {

// Role-level commands: each logs its step, talks to the role's unit through the
// report layer and turns a failed exchange into the role's error line and the
// failure "Ошибка выполнения команды".
class UnitCommands {
 public:
  UnitCommands(DeviceLink& link, ReportLayer& reports, LogSink& log, Clock& clock)
      : link_(link), reports_(reports), log_(log), clock_(clock) {}

  void SendCommand(TUnitRole role, std::uint8_t opcode, std::uint8_t param1, std::uint8_t param2);
  void WriteMessage(TUnitRole role, const TMessageBlock& block);
  void WriteConfig(TUnitRole role, const TConfigBlock& block);
  void ReadConfig(TUnitRole role, TConfigBlock& block);
  void ClearUnit(TUnitRole role);
  void ClearRegisters(TUnitRole role);

  void ReadReply(TUnitRole role, TMessageBlock& reply);
  std::uint8_t ReadState(TUnitRole role, int* received = nullptr, int* sent = nullptr);
  std::uint8_t PollState(TUnitRole role, int* received = nullptr);
  void WaitIdle(TUnitRole role);
  void LogEvent(TUnitRole role, std::uint8_t code);

  void FillRandom(std::uint8_t* buffer, int count);
  RandomBytes& random() { return random_; }

  // One configuration block written, or read back, with no log line and no
  // failure raised: false when the transfer failed.
  bool TryWriteConfig(TUnitRole role, const TConfigBlock& block) {
    return reports_.SetConfigReport(Handle(role), block);
  }
  bool TryReadConfig(TUnitRole role, TConfigBlock& block) {
    return reports_.GetConfigReport(Handle(role), block);
  }

  static constexpr int kClearPauseMs = 150;
  // A unit that never reports idle must not hold the console forever.
  static constexpr std::int64_t kWaitIdleLimitMs = 30000;

 private:
  HidHandle Handle(TUnitRole role) const { return link_.Device(role); }
  // Raises the role's error line and the command failure.
  [[noreturn]] void CommandFailed(TUnitRole role);

  DeviceLink& link_;
  ReportLayer& reports_;
  LogSink& log_;
  Clock& clock_;
  RandomBytes random_;
};

// Text helpers of the command set (no device access, no log).
const char* ErrorPrefix(TUnitRole role);   // "Эталонное: " / "Проверяемое: "
const char* GenitiveWord(TUnitRole role);  // "эталонного" / "проверяемого"
std::string EventText(std::int8_t code);
std::string ErrorText(std::int8_t code);
std::string StateLine(std::uint8_t flags);
std::string HexBytes(const std::uint8_t* data, int count);
void BuildTestMessage(TMessageBlock& block, int n);

}  // namespace vr512b
