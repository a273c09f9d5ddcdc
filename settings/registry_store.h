#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vr512b {

// Value types with the numbers the Windows registry gives them. Types without
// a name here (REG_MULTI_SZ, REG_QWORD, ...) travel as their plain numbers.
using RegValueType = std::uint32_t;
inline constexpr RegValueType kRegNone = 0;
inline constexpr RegValueType kRegSz = 1;
inline constexpr RegValueType kRegExpandSz = 2;
inline constexpr RegValueType kRegBinary = 3;
inline constexpr RegValueType kRegDword = 4;

// One stored value: its type and the bytes as the registry holds them. String
// types hold UTF-8 text followed by its terminating zero; a backend whose
// native string encoding differs converts at its own edge. A DWORD is four
// bytes, least significant first.
struct RegValue {
  RegValueType type = kRegNone;
  std::vector<std::uint8_t> data;

  bool operator==(const RegValue&) const = default;
};

// One write of an update (RegistryStore::WriteValues).
struct RegWrite {
  std::string name;
  RegValue value;
  // Only fills a value the store does not hold when the update is stored:
  // what another program stored meanwhile, or a value that could not be
  // read, stays as it is.
  bool keepStored = false;
};

// A typed key/value store holding one open key at a time, shaped after the
// Windows registry so that the system registry and our file backend are
// interchangeable behind the settings code. Key paths are taken from the root
// of the store's hive; a leading backslash is allowed and ignored. Key and
// value names ignore the case of ASCII letters, as the registry does.
class RegistryStore {
 public:
  virtual ~RegistryStore() = default;

  // Opens `path`, creating it first when `create` is set. Any key open before
  // is closed. Returns whether a key is open afterwards.
  virtual bool OpenKey(const std::string& path, bool create) = 0;
  virtual void CloseKey() = 0;

  // With no key open every value is missing and every write fails.
  virtual bool ValueExists(const std::string& name) = 0;
  virtual std::optional<RegValue> ReadValue(const std::string& name) = 0;
  // Creates or replaces one value; false when it could not be stored.
  virtual bool WriteValue(const std::string& name, const RegValue& value) = 0;

  // The writes in order, in one step where the store can (the .reg file: one
  // rewrite, all or none). Returns how many were done before one failed: all
  // of them on success.
  virtual std::size_t WriteValues(const std::vector<RegWrite>& writes) {
    for (std::size_t i = 0; i < writes.size(); ++i) {
      const RegWrite& write = writes[i];
      if (write.keepStored && ValueExists(write.name))
        continue;
      if (!WriteValue(write.name, write.value))
        return i;
    }
    return writes.size();
  }

  // Why the last OpenKey opened nothing, when the store knows more than that
  // the key could not be opened: the .reg file that is no parameters file.
  virtual std::string Refusal() const { return {}; }
};

#ifdef _WIN32
enum class RegistryHive { LocalMachine, CurrentUser };
// The system registry under HKEY_LOCAL_MACHINE, or under HKEY_CURRENT_USER.
std::unique_ptr<RegistryStore> OpenSystemRegistryStore(
    RegistryHive hive = RegistryHive::LocalMachine);
#endif

}  // namespace vr512b
