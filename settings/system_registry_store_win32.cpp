// The system registry behind the settings store.

#include "settings/registry_store.h"

#include "common/windows_api.h"

#include "common/utf8.h"

#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace vr512b {

namespace {

// The wide registry calls: the ANSI ones would pass text through the system's
// ANSI code page, which loses Cyrillic wherever that page is not 1251 (Wine
// under most locales). What the registry stores is the same either way.
std::wstring Widen(std::string_view text) {
  return Utf8ToWide(text);
}

// The console was a 32-bit program: on 64-bit Windows its parameters live in
// the 32-bit view of the registry (Software\WOW6432Node under
// HKEY_LOCAL_MACHINE), where existing installations keep them, whichever build
// reads them now.
constexpr REGSAM kAccess = KEY_ALL_ACCESS | KEY_WOW64_32KEY;

bool IsText(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ;
}

struct KeyClose {
  void operator()(HKEY key) const { ::RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyClose>;

class WinRegistryStore : public RegistryStore {
 public:
  explicit WinRegistryStore(HKEY root) : root_(root) {}

  bool OpenKey(const std::string& path, bool create) override {
    CloseKey();
    const std::size_t start = path.find_first_not_of('\\');
    const std::wstring relative =
        start == std::string::npos ? std::wstring() : Widen(path.substr(start));
    // Full access even to read: a user who may not save then works on the
    // defaults rather than on stored values he could never change.
    HKEY key = nullptr;
    const LONG result =
        create ? ::RegCreateKeyExW(root_, relative.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   kAccess, nullptr, &key, nullptr)
               : ::RegOpenKeyExW(root_, relative.c_str(), 0, kAccess, &key);
    if (result != ERROR_SUCCESS)
      return false;
    key_.reset(key);
    return true;
  }

  void CloseKey() override { key_.reset(); }

  bool ValueExists(const std::string& name) override {
    return key_ && ::RegQueryValueExW(key_.get(), Widen(name).c_str(), nullptr, nullptr, nullptr,
                                      nullptr) == ERROR_SUCCESS;
  }

  std::optional<RegValue> ReadValue(const std::string& name) override {
    if (!key_)
      return std::nullopt;
    const std::wstring wideName = Widen(name);
    DWORD type = 0;
    DWORD size = 0;
    LONG result = ::RegQueryValueExW(key_.get(), wideName.c_str(), nullptr, &type, nullptr, &size);
    if (result != ERROR_SUCCESS)
      return std::nullopt;
    std::vector<std::uint8_t> data;
    result = ERROR_MORE_DATA;
    // Another program can let the value grow between the two calls.
    while (result == ERROR_MORE_DATA) {
      data.resize(size);
      result = ::RegQueryValueExW(key_.get(), wideName.c_str(), nullptr, &type,
                                  data.empty() ? nullptr : data.data(), &size);
    }
    if (result != ERROR_SUCCESS)
      return std::nullopt;
    data.resize(size);
    if (IsText(type) && !data.empty()) {
      // Stored text may lack its terminating zero; the seam promises one.
      std::wstring text(data.size() / sizeof(wchar_t), L'\0');
      std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
      if (text.empty() || text.back() != L'\0')
        text.push_back(L'\0');
      const std::string narrow = WideToUtf8(text);
      data.assign(narrow.begin(), narrow.end());
    }
    return RegValue{static_cast<RegValueType>(type), std::move(data)};
  }

  bool WriteValue(const std::string& name, const RegValue& value) override {
    if (!key_)
      return false;
    std::vector<std::uint8_t> data = value.data;
    if (IsText(value.type)) {
      std::wstring text = Widen(
          std::string_view(reinterpret_cast<const char*>(value.data.data()), value.data.size()));
      if (text.empty() || text.back() != L'\0')
        text.push_back(L'\0');
      data.resize(text.size() * sizeof(wchar_t));
      std::memcpy(data.data(), text.data(), data.size());
    }
    return ::RegSetValueExW(key_.get(), Widen(name).c_str(), 0, value.type, data.data(),
                            static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
  }

 private:
  HKEY root_;
  UniqueKey key_;
};

}  // namespace

std::unique_ptr<RegistryStore> OpenSystemRegistryStore(RegistryHive hive) {
  return std::make_unique<WinRegistryStore>(hive == RegistryHive::CurrentUser ? HKEY_CURRENT_USER
                                                                              : HKEY_LOCAL_MACHINE);
}

}  // namespace vr512b
