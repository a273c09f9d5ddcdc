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

// Role-level commands: each logs its step and talks to the role's unit through
// the report layer. A failed command has logged its line (for a failed
// exchange the role's prefix and the system's reason) and returns that
// reason; the procedure step that called it ends the test.
class UnitCommands {
 public:
  UnitCommands(DeviceLink& link, ReportLayer& reports, LogSink& log, Clock& clock)
      : link_(link), reports_(reports), log_(log), clock_(clock) {}

  Outcome<void> SendCommand(TUnitRole role, std::uint8_t opcode, std::uint8_t param1,
                            std::uint8_t param2);
  Outcome<void> WriteMessage(TUnitRole role, const TMessageBlock& block);
  Outcome<void> WriteConfig(TUnitRole role, const TConfigBlock& block);
  Outcome<void> ReadConfig(TUnitRole role, TConfigBlock& block);
  Outcome<void> ClearUnit(TUnitRole role);
  Outcome<void> ClearRegisters(TUnitRole role);

  Outcome<void> ReadReply(TUnitRole role, TMessageBlock& reply);
  Outcome<std::uint8_t> ReadState(TUnitRole role, int* received = nullptr, int* sent = nullptr);
  Outcome<std::uint8_t> PollState(TUnitRole role, int* received = nullptr);
  Outcome<void> WaitIdle(TUnitRole role);
  void LogEvent(TUnitRole role, std::uint8_t code);

  void FillRandom(std::uint8_t* buffer, int count);
  RandomBytes& random() { return random_; }

  // One configuration block written, or read back, with no log line.
  Outcome<void> TryWriteConfig(TUnitRole role, const TConfigBlock& block) {
    return reports_.SetConfigReport(Handle(role), block);
  }
  Outcome<void> TryReadConfig(TUnitRole role, TConfigBlock& block) {
    return reports_.GetConfigReport(Handle(role), block);
  }

  static constexpr int kClearPauseMs = 150;
  // A unit that never reports idle must not hold the console forever.
  static constexpr std::int64_t kWaitIdleLimitMs = 30000;

 private:
  HidHandle Handle(TUnitRole role) const { return link_.Device(role); }
  // Logs the role's error line for a failed exchange; gives its reason back.
  ErrorReason ExchangeFailed(TUnitRole role, const ErrorReason& reason);
  // Logs a line of the command's own failure; gives it back as the reason.
  ErrorReason CommandFailed(const std::string& line);

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
