#include <cerrno>
#include <cstring>

#include "system_error.h"

namespace vr512b {

std::string SystemErrorText() {
  const int code = errno;
  char buffer[256] = {};
  // The GNU variant may return a static string instead of filling the buffer.
  const char* text = strerror_r(code, buffer, sizeof buffer - 1);
  std::string result(text ? text : "");
  if (result.size() > 254)
    result.resize(254);
  result += '\n';
  return result;
}

void SetLastSystemError(SystemError error) {
  switch (error) {
    case SystemError::DeviceNotConnected:
      errno = ENODEV;
      break;
    case SystemError::InvalidHandle:
      errno = EBADF;
      break;
    case SystemError::IoFailure:
      errno = EIO;
      break;
    case SystemError::ShortTransfer:
      // "Protocol error": the unit broke the report's length.
      errno = EPROTO;
      break;
  }
}

}  // namespace vr512b
