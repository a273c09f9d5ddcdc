#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "registry_store.h"

namespace vr512b {

// A text file in the Windows .reg format (hive HKEY_LOCAL_MACHINE), so that a
// file can move between our store and regedit and value types survive.
// Reading is lenient: whatever cannot be understood is kept byte for byte when
// the document is written again, together with the sections of other keys.
class RegDocument {
 public:
  // The file's bytes: UTF-8 with or without a byte-order mark, or the
  // UTF-16LE that regedit saves (written back as UTF-8).
  static RegDocument Parse(std::string fileBytes);
  std::string Serialize() const;

  // `key` is a section name as RegSectionName gives it.
  bool HasSection(const std::string& key) const;
  // The key's values by lower-cased name; later lines win, as when regedit
  // imports the file.
  std::map<std::string, RegValue> ValuesOf(const std::string& key) const;
  // Adds the section at the end of the document (with the file header when the
  // document is empty); returns the index of its header.
  std::size_t AppendSection(const std::string& key);
  // Changes the line that decides the value now, or adds one at the end of the
  // key's section, adding the section when there is none.
  void SetValue(const std::string& key, const std::string& name, const RegValue& value);

  // One line of the file, or one value with its continuation lines.
  struct Entry {
    enum class Kind { Other, Section, Value };
    Kind kind = Kind::Other;
    std::string raw;  // the entry's lines exactly as they stand, terminators included
    // Section: its key name, or nothing for a header we cannot read (the values
    // under it then belong to no key). Value: the key of its section.
    std::optional<std::string> key;
    std::string name;               // Value
    std::optional<RegValue> value;  // Value; nothing for a deletion ("name"=-)
  };

 private:
  std::vector<Entry> entries_;
  std::string newline_ = "\n";
};

// "HKEY_LOCAL_MACHINE\Software\..." for a key path from the root of the hive;
// leading and trailing backslashes are dropped.
std::string RegSectionName(std::string_view keyPath);

}  // namespace vr512b
