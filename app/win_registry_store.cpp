// The system registry behind the settings store, on Windows only.
#ifdef _WIN32

#include "registry_store.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <memory>

namespace vr512b {

namespace {

// The ANSI registry calls keep the sizes and types the settings have always
// been stored with; only the text of string values is converted, between the
// system's ANSI code page and the UTF-8 the rest of the console speaks.
std::vector<std::uint8_t> Recode(const std::vector<std::uint8_t>& bytes, UINT from, UINT to) {
  if (bytes.empty())
    return bytes;
  const char* source = reinterpret_cast<const char*>(bytes.data());
  const int length = static_cast<int>(bytes.size());
  const int wide = ::MultiByteToWideChar(from, 0, source, length, nullptr, 0);
  if (wide <= 0)
    return bytes;
  std::wstring text(static_cast<std::size_t>(wide), L'\0');
  ::MultiByteToWideChar(from, 0, source, length, text.data(), wide);
  const int narrow = ::WideCharToMultiByte(to, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
  if (narrow <= 0)
    return bytes;
  std::vector<std::uint8_t> result(static_cast<std::size_t>(narrow));
  ::WideCharToMultiByte(to, 0, text.data(), wide, reinterpret_cast<char*>(result.data()), narrow,
                        nullptr, nullptr);
  return result;
}

bool IsText(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ;
}

class WinRegistryStore : public RegistryStore {
 public:
  explicit WinRegistryStore(HKEY root) : root_(root) {}
  ~WinRegistryStore() override { CloseKey(); }
  WinRegistryStore(const WinRegistryStore&) = delete;
  WinRegistryStore& operator=(const WinRegistryStore&) = delete;

  bool OpenKey(const std::string& path, bool create) override {
    CloseKey();
    const std::size_t start = path.find_first_not_of('\\');
    const std::string relative = start == std::string::npos ? std::string() : path.substr(start);
    HKEY key = nullptr;
    const LONG result =
        create ? ::RegCreateKeyExA(root_, relative.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   KEY_ALL_ACCESS, nullptr, &key, nullptr)
               : ::RegOpenKeyExA(root_, relative.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (result != ERROR_SUCCESS)
      return false;
    key_ = key;
    return true;
  }

  void CloseKey() override {
    if (key_ != nullptr)
      ::RegCloseKey(key_);
    key_ = nullptr;
  }

  bool ValueExists(const std::string& name) override {
    return key_ != nullptr && ::RegQueryValueExA(key_, name.c_str(), nullptr, nullptr, nullptr,
                                                 nullptr) == ERROR_SUCCESS;
  }

  std::optional<RegValue> ReadValue(const std::string& name) override {
    if (key_ == nullptr)
      return std::nullopt;
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExA(key_, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    std::vector<std::uint8_t> data;
    LONG result = ERROR_MORE_DATA;
    // The value can grow between the two calls; ask again with its new size.
    while (result == ERROR_MORE_DATA) {
      data.resize(size);
      result = ::RegQueryValueExA(key_, name.c_str(), nullptr, &type,
                                  data.empty() ? nullptr : data.data(), &size);
    }
    if (result != ERROR_SUCCESS)
      return std::nullopt;
    data.resize(size);
    if (IsText(type))
      data = Recode(data, CP_ACP, CP_UTF8);
    return RegValue{static_cast<RegValueType>(type), std::move(data)};
  }

  bool WriteValue(const std::string& name, const RegValue& value) override {
    if (key_ == nullptr)
      return false;
    const std::vector<std::uint8_t> data =
        IsText(value.type) ? Recode(value.data, CP_UTF8, CP_ACP) : value.data;
    return ::RegSetValueExA(key_, name.c_str(), 0, value.type, data.data(),
                            static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
  }

 private:
  HKEY root_;
  HKEY key_ = nullptr;
};

}  // namespace

std::unique_ptr<RegistryStore> OpenSystemRegistryStore() {
  return std::make_unique<WinRegistryStore>(HKEY_LOCAL_MACHINE);
}

}  // namespace vr512b

#endif  // _WIN32
