#include "system_error.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#endif

namespace vr512b {

#ifdef _WIN32

std::string SystemErrorText() {
  char buffer[256] = {};
  DWORD code = GetLastError();
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                 MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer, sizeof buffer, nullptr);
  return buffer;
}

void SetLastSystemError(SystemError error) {
  switch (error) {
    case SystemError::DeviceNotConnected:
      SetLastError(ERROR_DEVICE_NOT_CONNECTED);
      break;
    case SystemError::InvalidHandle:
      SetLastError(ERROR_INVALID_HANDLE);
      break;
    case SystemError::IoFailure:
      SetLastError(ERROR_GEN_FAILURE);
      break;
    case SystemError::ShortTransfer:
      // "The program issued a command but the command length is incorrect."
      SetLastError(ERROR_BAD_LENGTH);
      break;
  }
}

#else

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

#endif

}  // namespace vr512b
