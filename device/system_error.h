#pragma once

#include <cstdint>
#include <string>

#include "common/outcome.h"

namespace vr512b {

// The one place a platform error code becomes text: the system's wording
// (errno's, or GetLastError()'s on Windows), ending in a line break (at most
// 255 characters before it).
std::string SystemErrorText(std::uint32_t code);

// Platform error codes the HID backends and the report layer give.
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
// The platform's code for one of them (errno, or GetLastError() on Windows).
std::uint32_t SystemErrorCode(SystemError error);

// The reason of a failed call: a code the caller read where the system call
// failed (or one a HID trace recorded), with its text.
inline ErrorReason SystemReason(std::uint32_t code) {
  return ErrorReason{code, SystemErrorText(code)};
}
inline ErrorReason SystemReason(SystemError error) {
  return SystemReason(SystemErrorCode(error));
}

// What SystemErrorText says for TraceMismatch.
inline constexpr const char* kTraceMismatchText = "Обмен расходится с записанной трассой";

}  // namespace vr512b
