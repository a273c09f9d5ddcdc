#include "common/windows_api.h"

#include <knownfolders.h>
#include <shlobj.h>

#include <memory>

#include "common/utf8.h"
#include "history/history_location.h"

namespace vr512b::history {

namespace {

// The variable as UTF-8, whatever the process's ANSI code page.
std::optional<std::string> Variable(const wchar_t* name) {
  const DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0)
    return std::nullopt;  // not set (an empty value still needs room for its terminator)
  std::wstring value(size, L'\0');
  const DWORD length = ::GetEnvironmentVariableW(name, value.data(), size);
  if (length >= size)
    return std::nullopt;  // changed in between by another thread: as if not set
  value.resize(length);
  return WideToUtf8(value);
}

struct CoTaskMemFreer {
  void operator()(wchar_t* text) const { ::CoTaskMemFree(text); }
};

// %LOCALAPPDATA% as the shell knows it, not as the environment may say.
std::optional<std::string> LocalAppDataFolder() {
  wchar_t* raw = nullptr;
  const HRESULT result =
      ::SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DEFAULT, nullptr, &raw);
  const std::unique_ptr<wchar_t, CoTaskMemFreer> path(raw);
  if (FAILED(result) || !path)
    return std::nullopt;
  return WideToUtf8(path.get());
}

}  // namespace

HistoryEnvironment HistoryEnvironment::FromProcess() {
  return {Variable(L"VR512B_HISTORY"), std::nullopt, std::nullopt, LocalAppDataFolder()};
}

}  // namespace vr512b::history
