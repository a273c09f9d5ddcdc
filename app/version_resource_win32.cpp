#include "app/version_resource.h"

#include "common/windows_api.h"
// windows.h first: the shell's and the version library's headers build on it.
#include <shellapi.h>
#include <winver.h>

#include <cstdio>

#include "common/utf8.h"

namespace vr512b {

namespace {

constexpr WORD kPeSignature = 0x4550;  // "PE"

// The system's text for `code` as the toolkit gives it: trailing line breaks,
// blanks and dots dropped.
std::string SystemText(DWORD code) {
  char buffer[256] = {};
  ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer, sizeof buffer, nullptr);
  std::string text(buffer);
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.'))
    text.pop_back();
  return text;
}

[[noreturn]] void RaiseWin32Error(DWORD code) {
  char head[64];
  std::snprintf(head, sizeof head, "Win32 Error.  Code: %lu.\n", static_cast<unsigned long>(code));
  throw VersionInfoError(head + SystemText(code), code);
}

[[noreturn]] void RaiseLastOsError() {
  const DWORD code = ::GetLastError();
  char head[64];
  std::snprintf(head, sizeof head, "System Error.  Code: %lu.\r\n",
                static_cast<unsigned long>(code));
  throw VersionInfoError(head + SystemText(code), code);
}

// The error mode is the whole process's; it must come back even when a read
// fails.
class ErrorModeScope {
 public:
  explicit ErrorModeScope(UINT mode) : previous_(::SetErrorMode(mode)) {}
  ~ErrorModeScope() { ::SetErrorMode(previous_); }
  ErrorModeScope(const ErrorModeScope&) = delete;
  ErrorModeScope& operator=(const ErrorModeScope&) = delete;

 private:
  UINT previous_;
};

std::string ModuleFileName(HMODULE module) {
  std::string name(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameA(module, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0)
      return {};
    if (length < name.size()) {
      name.resize(length);
      return name;
    }
    name.resize(name.size() * 2);
  }
}

bool FileExists(const std::string& name) {
  const DWORD attributes = ::GetFileAttributesA(name.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Only PE programs carry a version resource in the form read here. The shell
// puts the image's subsystem version in the high word; a check against 3.0,
// 3.5 and 4.0 would refuse every image today's linkers make (5.x and 6.x), so
// any version is taken.
bool IsPeImage(const std::string& name) {
  const DWORD_PTR type = ::SHGetFileInfoA(name.c_str(), 0, nullptr, 0, SHGFI_EXETYPE);
  return LOWORD(type) == kPeSignature;
}

std::string TranslationKey(unsigned language, unsigned codePage) {
  char key[16];
  std::snprintf(key, sizeof key, "%.4X%.4X", language, codePage);
  return key;
}

}  // namespace

std::string RunningProgramFile() {
  std::string name = ModuleFileName(nullptr);
  if (!name.empty())
    return name;
  HMODULE self = nullptr;
  ::GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&RunningProgramFile), &self);
  return self != nullptr ? ModuleFileName(self) : std::string();
}

std::optional<VersionResource> VersionResource::Read(const std::string& file) {
  const ErrorModeScope errorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  if (file.empty() || !FileExists(file) || !IsPeImage(file))
    return std::nullopt;
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(file.c_str(), &ignored);
  if (size == 0) {
    const DWORD code = ::GetLastError();
    if (code >= ERROR_RESOURCE_DATA_NOT_FOUND && code <= ERROR_RESOURCE_LANG_NOT_FOUND)
      return std::nullopt;
    RaiseWin32Error(code);
  }
  VersionResource resource;
  resource.data_.resize(size);
  if (!::GetFileVersionInfoA(file.c_str(), 0, size, resource.data_.data()))
    RaiseLastOsError();
  void* fixed = nullptr;
  UINT fixedLength = 0;
  if (!::VerQueryValueA(resource.data_.data(), "\\", &fixed, &fixedLength) || fixed == nullptr ||
      fixedLength < sizeof(VS_FIXEDFILEINFO)) {
    RaiseLastOsError();
  }
  const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
  resource.fixed_ = {HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                     HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS)};

  void* table = nullptr;
  UINT tableLength = 0;
  if (::VerQueryValueA(resource.data_.data(), "\\VarFileInfo\\Translation", &table, &tableLength) &&
      table != nullptr) {
    const auto* entries = static_cast<const WORD*>(table);
    for (UINT i = 0; i + 1 < tableLength / sizeof(WORD); i += 2)
      resource.translations_.push_back(TranslationKey(entries[i], entries[i + 1]));
  }
  // Unicode, language neutral: where a resource without a translation table
  // keeps its strings.
  if (resource.translations_.empty())
    resource.translations_.push_back(TranslationKey(0, 1200));
  return resource;
}

std::string VersionResource::QueryString(std::string_view translation,
                                         std::string_view name) const {
  // The wide query: the ANSI one would hand the text over in the system's
  // ANSI code page and lose Cyrillic wherever that page is not 1251.
  const std::wstring path =
      L"\\StringFileInfo\\" + Utf8ToWide(translation) + L"\\" + Utf8ToWide(name);
  void* value = nullptr;
  UINT length = 0;
  // The data is only read; the query's buffer parameter is not const.
  auto* data = const_cast<unsigned char*>(data_.data());
  if (!::VerQueryValueW(data, path.c_str(), &value, &length) || value == nullptr || length == 0)
    return {};
  return WideToUtf8(static_cast<const wchar_t*>(value));
}

}  // namespace vr512b
