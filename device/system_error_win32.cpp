#include "common/windows_api.h"

#include "common/utf8.h"
#include "device/system_error.h"

namespace vr512b {

namespace {

// Bit 29 marks a code as the application's own: the system never sets it.
constexpr DWORD kTraceMismatchCode = 0x20000000 | 0x5652;

}  // namespace

// The wide text, converted: the log is UTF-8, and the ANSI call would give
// the text in the system's code page (CP1251 on a Russian system).
std::string SystemErrorText(std::uint32_t code) {
  if (code == kTraceMismatchCode)
    return std::string(kTraceMismatchText) + "\r\n";
  wchar_t buffer[256] = {};
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                     MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer, 256, nullptr);
  return WideToUtf8(std::wstring_view(buffer, length));
}

std::uint32_t SystemErrorCode(SystemError error) {
  switch (error) {
    case SystemError::DeviceNotConnected:
      return ERROR_DEVICE_NOT_CONNECTED;
    case SystemError::InvalidHandle:
      return ERROR_INVALID_HANDLE;
    case SystemError::IoFailure:
      return ERROR_GEN_FAILURE;
    case SystemError::ShortTransfer:
      // "The program issued a command but the command length is incorrect."
      return ERROR_BAD_LENGTH;
    case SystemError::TraceMismatch:
      return kTraceMismatchCode;
  }
  return ERROR_GEN_FAILURE;
}

}  // namespace vr512b
