#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "registry_store.h"

namespace vr512b {

// The registry kept in a text file of the Windows .reg format (RegDocument),
// on POSIX systems.
//
// Every write is one transaction under an advisory lock on "<file>.lock":
// re-read the file, change the one value, write a temporary file beside it,
// flush it, rename it over the file and flush the directory. Consoles that
// save at the same time never lose each other's values, and a save cut short
// leaves the previous file whole.
class RegFileStore : public RegistryStore {
 public:
  explicit RegFileStore(std::string path);

  // Reads a snapshot of the key. A missing file is created (with its folder)
  // when `create` is set; a missing section is added to the file the same
  // way. An unreadable file opens nothing.
  bool OpenKey(const std::string& path, bool create) override;
  void CloseKey() override;
  bool ValueExists(const std::string& name) override;
  std::optional<RegValue> ReadValue(const std::string& name) override;
  bool WriteValue(const std::string& name, const RegValue& value) override;

  const std::string& path() const { return path_; }

 private:
  // Lower-cased value name -> value, as of the last read or write.
  using Snapshot = std::map<std::string, RegValue>;

  std::string path_;
  std::optional<std::string> section_;  // "HKEY_LOCAL_MACHINE\..." of the open key
  Snapshot values_;
};

// Creates `path` (and its folder) holding exactly `values` under `keyPath`,
// in that order, unless the file exists already. Returns whether it created
// the file; the file appears whole or not at all.
bool CreateRegFile(const std::string& path, const std::string& keyPath,
                   const std::vector<std::pair<std::string, RegValue>>& values);

}  // namespace vr512b
