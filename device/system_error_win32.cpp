#include "windows_api.h"

#include "system_error.h"
#include "utf8.h"

namespace vr512b {

// The wide text, converted: the log is UTF-8, and the ANSI call would give
// the text in the system's code page (CP1251 on a Russian system).
std::string SystemErrorText() {
  const DWORD code = GetLastError();
  wchar_t buffer[256] = {};
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                     MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer, 256, nullptr);
  return WideToUtf8(std::wstring_view(buffer, length));
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

}  // namespace vr512b
