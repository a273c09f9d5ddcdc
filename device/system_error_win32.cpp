#include "windows_api.h"

#include "system_error.h"

namespace vr512b {

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
  }
}

}  // namespace vr512b
