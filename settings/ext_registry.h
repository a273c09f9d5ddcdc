#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "settings/registry_store.h"

namespace vr512b {

// A registry read or write that failed; the text names the value.
class RegistryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The console's registry accessor: the typed reads and writes of the values of
// one open key that the parameters need, texts and flags, plus reads that fall
// back to a default when a value is missing. A value that exists but does not
// fit the read raises RegistryError:
//   "Invalid data type for '<name>'"  - the stored type is not the one read;
//   "Failed to get data for '<name>'" - the value is missing, or holds more
//                                       bytes than the read takes (4 for a
//                                       flag);
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
  bool ReadBool(const std::string& name);  // any non-zero number is true

  void WriteString(const std::string& name, const std::string& value);
  void WriteBool(const std::string& name, bool value);

  // Writes collected to be stored together by Store.
  class Update {
   public:
    // `keepStored`: only fill the value when the store holds none (RegWrite).
    void WriteString(const std::string& name, const std::string& value, bool keepStored);
    void WriteBool(const std::string& name, bool value, bool keepStored);

   private:
    friend class TExtRegistry;
    std::vector<RegWrite> writes_;
  };
  // Stores the update in one step where the store can (the .reg file: one
  // rewrite, all or none). A write that fails raises "Failed to set data for
  // '<name>'" naming it; with no key open, or a store that takes none of
  // them, that is the first write of the update.
  void Store(const Update& update);

  // Each returns `def` when the value is missing and otherwise reads it with
  // the plain read above, errors included.
  std::string ReadStringDef(const std::string& name, const std::string& def);
  bool ReadBoolDef(const std::string& name, bool def);

 private:
  std::int32_t ReadInteger(const std::string& name);
  void WriteInteger(const std::string& name, std::int32_t value);
  RegValue Get(const std::string& name, std::size_t capacity);
  void Put(const std::string& name, RegValue value);

  RegistryStore& store_;
  bool open_ = false;
};

}  // namespace vr512b
