#include "system_error.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#endif

namespace vr512b {

#ifdef _WIN32

// The wide text, converted: the log is UTF-8, and the ANSI call would give
// the text in the system's code page (CP1251 on a Russian system).
std::string SystemErrorText() {
  const DWORD code = GetLastError();
  wchar_t buffer[256] = {};
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                     MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer, 256, nullptr);
  if (length == 0)
    return {};
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(length), nullptr, 0,
                                        nullptr, nullptr);
  std::string text(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(length), text.data(), bytes, nullptr,
                      nullptr);
  return text;
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
