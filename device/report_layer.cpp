#include "device/report_layer.h"

#include <algorithm>

#include "device/system_error.h"

namespace vr512b {

namespace {

// A report that moved fewer bytes than it holds is a failed exchange, not
// data: an empty or cut-off read would otherwise hand on the zeros the block
// was cleared with (and a procedure would write them back to the unit), and a
// cut-off write would leave the unit with half a command.
Outcome<void> Complete(const FeatureBytes& moved, std::size_t length) {
  if (!moved)
    return moved.reason();
  if (*moved < length)
    return SystemReason(SystemError::ShortTransfer);
  return {};
}

}  // namespace

template <std::size_t N>
Outcome<void> ReportLayer::Send(HidHandle handle, std::uint8_t reportId,
                                const std::array<std::uint8_t, N>& block) {
  std::array<std::uint8_t, N + 1> report{};
  report[0] = reportId;
  std::copy(block.begin(), block.end(), report.begin() + 1);
  return Complete(hid_.SetFeature(handle, report.data(), report.size()), report.size());
}

// The unit returns its block from byte 0, in place of the report id; the last
// byte of the report is not part of the block.
template <std::size_t N>
Outcome<void> ReportLayer::Read(HidHandle handle, std::uint8_t reportId,
                                std::array<std::uint8_t, N>& block) {
  block.fill(0);
  std::array<std::uint8_t, N + 1> report{};
  report[0] = reportId;
  const Outcome<void> done =
      Complete(hid_.GetFeature(handle, report.data(), report.size()), report.size());
  if (done)
    std::copy_n(report.begin(), N, block.begin());
  return done;
}

Outcome<void> ReportLayer::SendShortCommand(HidHandle handle, std::uint8_t opcode,
                                            std::uint8_t param1, std::uint8_t param2) {
  const std::array<std::uint8_t, kShortReportLength - 1> command{opcode, param1, param2, 0, 0, 0};
  return Send(handle, kReportShort, command);
}

Outcome<void> ReportLayer::GetStatusReport(HidHandle handle, TStatusBlock& block) {
  return Read(handle, kReportShort, block);
}

Outcome<void> ReportLayer::SetConfigReport(HidHandle handle, const TConfigBlock& block) {
  Outcome<void> sent = Send(handle, kReportConfig, block);
  clock_.Sleep(kConfigWritePauseMs);
  return sent;
}

Outcome<void> ReportLayer::GetConfigReport(HidHandle handle, TConfigBlock& block) {
  return Read(handle, kReportConfig, block);
}

Outcome<void> ReportLayer::SetMessageReport(HidHandle handle, const TMessageBlock& block) {
  return Send(handle, kReportMessage, block);
}

Outcome<void> ReportLayer::GetMessageReport(HidHandle handle, TMessageBlock& block) {
  if (Outcome<void> read = Read(handle, kReportMessage, block); !read)
    return read;
  std::uint8_t ack = 0;
  if (block[0] == rtEvent) {
    ack = OpAckEvent;
  } else if (block[0] == rtMessage || block[0] == rtError) {
    ack = OpAckReply;
  } else {
    return {};
  }
  Outcome<void> acknowledged = SendShortCommand(handle, ack, 0, 0);
  clock_.Sleep(kAcknowledgePauseMs);
  return acknowledged;
}

}  // namespace vr512b
