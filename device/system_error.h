#pragma once

#include <string>

namespace vr512b {

// Text of the calling thread's last system error, as the system words it,
// ending in a line break (at most 255 characters before it).
std::string SystemErrorText();

// Platform error codes the HID backends and the report layer leave behind.
// ShortTransfer: a feature report moved fewer bytes than it holds.
enum class SystemError { DeviceNotConnected, InvalidHandle, IoFailure, ShortTransfer };
void SetLastSystemError(SystemError error);

}  // namespace vr512b
