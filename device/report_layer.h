#pragma once

#include <cstdint>

#include "device/clock.h"
#include "device/device_types.h"
#include "device/hid_library.h"

namespace vr512b {

// Feature-report exchange with one unit. Logs nothing and raises nothing: each
// operation returns whether the HID call (and the acknowledgement) succeeded,
// with the reason the failing call gave. A transfer that moved fewer bytes
// than its report holds counts as failed, for SystemError::ShortTransfer.
class ReportLayer {
 public:
  ReportLayer(HidLibrary& hid, Clock& clock) : hid_(hid), clock_(clock) {}

  Outcome<void> SendShortCommand(HidHandle handle, std::uint8_t opcode, std::uint8_t param1,
                                 std::uint8_t param2);
  Outcome<void> GetStatusReport(HidHandle handle, TStatusBlock& block);
  Outcome<void> SetConfigReport(HidHandle handle, const TConfigBlock& block);
  Outcome<void> GetConfigReport(HidHandle handle, TConfigBlock& block);
  Outcome<void> SetMessageReport(HidHandle handle, const TMessageBlock& block);
  Outcome<void> GetMessageReport(HidHandle handle, TMessageBlock& block);

  static constexpr int kConfigWritePauseMs = 30;
  static constexpr int kAcknowledgePauseMs = 50;

 private:
  template <std::size_t N>
  Outcome<void> Read(HidHandle handle, std::uint8_t reportId, std::array<std::uint8_t, N>& block);
  template <std::size_t N>
  Outcome<void> Send(HidHandle handle, std::uint8_t reportId,
                     const std::array<std::uint8_t, N>& block);

  HidLibrary& hid_;
  Clock& clock_;
};

}  // namespace vr512b
