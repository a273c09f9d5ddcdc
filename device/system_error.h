#pragma once

#include <cstdint>
#include <string>

namespace vr512b {

// Text of the calling thread's last system error, as the system words it,
// ending in a line break (at most 255 characters before it).
std::string SystemErrorText();

// Platform error codes the HID backends and the report layer leave behind.
// ShortTransfer: a feature report moved fewer bytes than it holds.
// TraceMismatch: a unit replayed from a HID trace met a transfer other than
// the recorded one; not a code of the system's, so SystemErrorText words it.
enum class SystemError {
  DeviceNotConnected,
  InvalidHandle,
  IoFailure,
  ShortTransfer,
  TraceMismatch
};
void SetLastSystemError(SystemError error);
// The platform's code for one of them (errno, or GetLastError() on Windows).
std::uint32_t SystemErrorCode(SystemError error);

// The calling thread's last error as a number, and back: for those who must
// make calls between a failure and its report, and for codes a HID trace
// recorded.
std::uint32_t LastSystemErrorCode();
void SetLastSystemErrorCode(std::uint32_t code);

// What SystemErrorText says for TraceMismatch.
inline constexpr const char* kTraceMismatchText = "Обмен расходится с записанной трассой";

}  // namespace vr512b
