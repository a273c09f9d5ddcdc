#include "device/report_layer.h"

#include <algorithm>

#include "device/system_error.h"

namespace vr512b {

namespace {

// A report that moved fewer bytes than it holds is a failed exchange, not
// data: an empty or cut-off read would otherwise hand on the zeros the block
// was cleared with (and a procedure would write them back to the unit), and a
// cut-off write would leave the unit with half a command.
bool Complete(const FeatureBytes& moved, std::size_t length) {
  if (!moved)
    return false;
  if (*moved < length) {
    SetLastSystemError(SystemError::ShortTransfer);
    return false;
  }
  return true;
}

}  // namespace

template <std::size_t N>
bool ReportLayer::Send(HidHandle handle, std::uint8_t reportId,
                       const std::array<std::uint8_t, N>& block) {
  std::array<std::uint8_t, N + 1> report{};
  report[0] = reportId;
  std::copy(block.begin(), block.end(), report.begin() + 1);
  return Complete(hid_.SetFeature(handle, report.data(), report.size()), report.size());
}

// The unit returns its block from byte 0, in place of the report id; the last
// byte of the report is not part of the block.
template <std::size_t N>
bool ReportLayer::Read(HidHandle handle, std::uint8_t reportId,
                       std::array<std::uint8_t, N>& block) {
  block.fill(0);
  std::array<std::uint8_t, N + 1> report{};
  report[0] = reportId;
  if (!Complete(hid_.GetFeature(handle, report.data(), report.size()), report.size()))
    return false;
  std::copy_n(report.begin(), N, block.begin());
  return true;
}

bool ReportLayer::SendShortCommand(HidHandle handle, std::uint8_t opcode, std::uint8_t param1,
                                   std::uint8_t param2) {
  const std::array<std::uint8_t, kShortReportLength - 1> command{opcode, param1, param2, 0, 0, 0};
  return Send(handle, kReportShort, command);
}

bool ReportLayer::GetStatusReport(HidHandle handle, TStatusBlock& block) {
  return Read(handle, kReportShort, block);
}

bool ReportLayer::SetConfigReport(HidHandle handle, const TConfigBlock& block) {
  const bool ok = Send(handle, kReportConfig, block);
  clock_.Sleep(kConfigWritePauseMs);
  return ok;
}

bool ReportLayer::GetConfigReport(HidHandle handle, TConfigBlock& block) {
  return Read(handle, kReportConfig, block);
}

bool ReportLayer::SetMessageReport(HidHandle handle, const TMessageBlock& block) {
  return Send(handle, kReportMessage, block);
}

bool ReportLayer::GetMessageReport(HidHandle handle, TMessageBlock& block) {
  if (!Read(handle, kReportMessage, block))
    return false;
  std::uint8_t ack = 0;
  if (block[0] == rtEvent) {
    ack = OpAckEvent;
  } else if (block[0] == rtMessage || block[0] == rtError) {
    ack = OpAckReply;
  } else {
    return true;
  }
  const bool ok = SendShortCommand(handle, ack, 0, 0);
  clock_.Sleep(kAcknowledgePauseMs);
  return ok;
}

}  // namespace vr512b
