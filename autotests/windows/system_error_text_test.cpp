// The system's error texts reach the log as UTF-8 in whatever language the
// system speaks. Run under Wine with a Russian locale (the CTest entry
// autotest_windows_russian), Wine's message table gives Russian texts, which
// the ANSI call would give in CP1251.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

#include "device/system_error.h"

namespace vr512b {
namespace {

// UTF-16 to UTF-8, written out here so that the check does not lean on the
// conversion it checks.
std::string Utf8(const std::wstring& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = static_cast<char16_t>(text[i]);
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char16_t>(text[++i]) - 0xDC00);
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::wstring WideText(DWORD code) {
  wchar_t buffer[256] = {};
  const DWORD length =
      ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer, 256, nullptr);
  return std::wstring(buffer, length);
}

bool HasCyrillic(const std::string& utf8) {
  // U+0400 to U+04FF begin with the bytes D0 to D3.
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0xD0 && byte <= 0xD3)
      return true;
  }
  return false;
}

// The errors the HID backends and the report layer leave behind, and one any
// file call can.
constexpr DWORD kCodes[] = {ERROR_DEVICE_NOT_CONNECTED, ERROR_INVALID_HANDLE, ERROR_GEN_FAILURE,
                            ERROR_BAD_LENGTH, ERROR_FILE_NOT_FOUND};

TEST(SystemErrorText, IsTheWideTextInUtf8) {
  for (const DWORD code : kCodes) {
    SCOPED_TRACE(code);
    const std::wstring wide = WideText(code);
    ASSERT_GT(wide.size(), 2u);
    const std::string text = SystemErrorText(code);
    EXPECT_EQ(text, Utf8(wide));
    // Taken unchanged: the system's line break ends it.
    EXPECT_EQ(text.back(), '\n');
  }
}

TEST(SystemErrorText, ShortTransfersSayTheLengthWasWrong) {
  EXPECT_EQ(SystemErrorCode(SystemError::ShortTransfer), static_cast<DWORD>(ERROR_BAD_LENGTH));
}

// The CTest entry that runs this suite in a Russian locale names the
// language it must find, so that a locale Wine did not take fails instead of
// passing in English.
TEST(SystemErrorText, InTheSystemsLanguage) {
  const char* expected = std::getenv("VR512B_EXPECT_UI_LANGUAGE");
  if (expected == nullptr)
    GTEST_SKIP() << "no language asked for";
  const LANGID language = ::GetUserDefaultUILanguage();
  ASSERT_EQ(language, static_cast<LANGID>(std::strtoul(expected, nullptr, 16)));
  if (PRIMARYLANGID(language) != LANG_RUSSIAN)
    return;
  // The ANSI code page cannot carry these texts into a UTF-8 log.
  EXPECT_EQ(::GetACP(), 1251u);
  for (const DWORD code : kCodes) {
    SCOPED_TRACE(code);
    const std::string text = SystemErrorText(code);
    EXPECT_TRUE(HasCyrillic(text)) << text;
    EXPECT_EQ(text, Utf8(WideText(code)));
  }
}

}  // namespace
}  // namespace vr512b
