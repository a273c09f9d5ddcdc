#include <cerrno>
#include <cstring>

#include "device/system_error.h"

namespace vr512b {

namespace {

// Far above every errno of the system, so that it names nothing else.
constexpr std::uint32_t kTraceMismatchErrno = 0x5652;

}  // namespace

std::string SystemErrorText(std::uint32_t code) {
  if (code == kTraceMismatchErrno)
    return std::string(kTraceMismatchText) + '\n';
  char buffer[256] = {};
  // The GNU variant may return a static string instead of filling the buffer.
  const char* text = strerror_r(static_cast<int>(code), buffer, sizeof buffer - 1);
  std::string result(text ? text : "");
  if (result.size() > 254)
    result.resize(254);
  result += '\n';
  return result;
}

std::uint32_t SystemErrorCode(SystemError error) {
  switch (error) {
    case SystemError::DeviceNotConnected:
      return ENODEV;
    case SystemError::InvalidHandle:
      return EBADF;
    case SystemError::IoFailure:
      return EIO;
    case SystemError::ShortTransfer:
      // "Protocol error": the unit broke the report's length.
      return EPROTO;
    case SystemError::TraceMismatch:
      return kTraceMismatchErrno;
  }
  return EIO;
}

}  // namespace vr512b
