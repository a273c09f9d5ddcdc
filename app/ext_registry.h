#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

#include "registry_store.h"

namespace vr512b {

// A registry read or write that failed; the text names the value.
class RegistryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The console's registry accessor: typed reads and writes of the values of one
// open key, plus reads that fall back to a default when a value is missing.
// A value that exists but does not fit the read raises RegistryError:
//   "Invalid data type for '<name>'"  - the stored type is not the one read;
//   "Failed to get data for '<name>'" - the value is missing, or holds more
//                                       bytes than the read takes (4 for an
//                                       integer or flag, 8 for a float or
//                                       currency);
//   "Failed to set data for '<name>'" - a write was refused (no key open, or
//                                       the store could not keep it).
// The key is closed when the accessor goes.
class TExtRegistry {
 public:
  explicit TExtRegistry(RegistryStore& store) : store_(store) {}
  ~TExtRegistry();
  TExtRegistry(const TExtRegistry&) = delete;
  TExtRegistry& operator=(const TExtRegistry&) = delete;

  // `key` is a path from the root of the hive; a leading backslash is allowed.
  bool OpenKey(const std::string& key, bool canCreate);
  void CloseKey();
  bool ValueExists(const std::string& name);

  // A missing value, or one of size 0 whatever its type, reads as empty text;
  // the text ends at the first zero byte.
  std::string ReadString(const std::string& name);
  std::int32_t ReadInteger(const std::string& name);
  bool ReadBool(const std::string& name);  // any non-zero number is true
  double ReadFloat(const std::string& name);
  // Currency: a 64-bit integer holding the amount times 10 000.
  std::int64_t ReadCurrency(const std::string& name);
  // Copies a binary or untyped value into the front of `buffer` and returns
  // its size; a missing value returns 0 and leaves the buffer alone. Other
  // types, and values larger than the buffer, are "Invalid data type".
  std::size_t ReadBinaryData(const std::string& name, std::span<std::uint8_t> buffer);

  void WriteString(const std::string& name, const std::string& value);
  void WriteExpandString(const std::string& name, const std::string& value);
  void WriteInteger(const std::string& name, std::int32_t value);
  void WriteBool(const std::string& name, bool value);
  void WriteFloat(const std::string& name, double value);
  void WriteCurrency(const std::string& name, std::int64_t value);
  void WriteBinaryData(const std::string& name, std::span<const std::uint8_t> data);

  // Each returns `def` when the value is missing and otherwise reads it with
  // the plain read above, errors included.
  std::string ReadStringDef(const std::string& name, const std::string& def);
  std::int32_t ReadIntDef(const std::string& name, std::int32_t def);
  bool ReadBoolDef(const std::string& name, bool def);
  double ReadFloatDef(const std::string& name, double def);
  std::int64_t ReadCurrencyDef(const std::string& name, std::int64_t def);
  // Reads the stored bytes into `buffer` when the value exists and fits (bytes
  // beyond the stored ones keep what they held). Otherwise fills the whole
  // buffer from `def`, which must then hold at least buffer.size() bytes, or
  // with zeros when `def` is null. Returns whether the stored value was read.
  bool ReadBinaryDataDef(const std::string& name, std::span<std::uint8_t> buffer,
                         const std::uint8_t* def);

 private:
  RegValue Get(const std::string& name, std::size_t capacity);
  void Put(const std::string& name, RegValue value);

  RegistryStore& store_;
  bool open_ = false;
};

}  // namespace vr512b
