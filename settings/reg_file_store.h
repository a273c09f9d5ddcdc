#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "settings/registry_store.h"

namespace vr512b {

// The registry kept in a text file of the Windows .reg format (RegDocument),
// on POSIX systems. The file is the user's: reading never writes, and only a
// file that can hold the key is ever written.
//
// Every update is one transaction under an advisory lock on "<file>.lock":
// re-read the file, change the values, write a temporary file beside it,
// flush it, rename it over the file and flush the directory. Consoles that
// save at the same time never lose each other's values, and a save cut short
// leaves the previous file whole. A link is followed to the file it names.
class RegFileStore : public RegistryStore {
 public:
  explicit RegFileStore(std::string path);

  // Reads the key from the file as it stands. A key missing from a file that
  // can hold it (or a missing file) opens empty when `create` is set, and
  // comes into the file with the first write. A file that cannot hold the key
  // (not a registry file, another key's export, not a regular file) opens
  // nothing and says why in Refusal(); an unreadable one opens nothing.
  bool OpenKey(const std::string& path, bool create) override;
  void CloseKey() override;
  bool ValueExists(const std::string& name) override;
  std::optional<RegValue> ReadValue(const std::string& name) override;
  bool WriteValue(const std::string& name, const RegValue& value) override;
  // All or none; a file without write permission takes none, like a
  // read-only key.
  std::size_t WriteValues(const std::vector<RegWrite>& writes) override;
  std::string Refusal() const override { return refusal_; }

  const std::string& path() const { return path_; }

 private:
  // Lower-cased value name -> value, as of the last read or write.
  using Snapshot = std::map<std::string, RegValue>;

  std::string path_;
  std::optional<std::string> key_;  // "HKEY_LOCAL_MACHINE\..." of the open key
  Snapshot values_;
  std::string refusal_;
};

// Creates `path` (and its folder) holding exactly `values` under `keyPath`,
// in that order, unless a file is there already, whatever it holds. The file
// appears whole or not at all. Returns why it could not, empty when it could;
// `created` says whether it made the file.
std::string CreateRegFile(const std::string& path, const std::string& keyPath,
                          const std::vector<std::pair<std::string, RegValue>>& values,
                          bool& created);

}  // namespace vr512b
