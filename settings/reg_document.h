#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/reg_file_text.h"
#include "settings/registry_store.h"

namespace vr512b {

// A text file in the Windows .reg format (hive HKEY_LOCAL_MACHINE), so that a
// file can move between our store and regedit and value types survive.
// Reading is lenient: whatever cannot be understood is kept byte for byte when
// the document is written again, together with the sections of other keys,
// the file's encoding, byte-order mark and line breaks. A value line may end
// in a comment (`; ...`), as regedit allows.
class RegDocument {
 public:
  static RegDocument Parse(std::string_view fileBytes);
  // The file's bytes, in its encoding; bytes that would read back as other
  // text go as UTF-8 behind its byte-order mark instead.
  std::string Serialize() const;

  // What the first line says.
  enum class Format {
    Empty,     // nothing but blanks: a file still to be written
    Version5,  // "Windows Registry Editor Version 5.00"
    Regedit4,  // "REGEDIT4"
    Other,     // no registry file
  };
  Format format() const { return format_; }
  RegFileEncoding encoding() const { return encoding_; }

  // `key` is a section name as RegSectionName gives it.
  bool HasSection(const std::string& key) const;
  // Whether any section header names a key.
  bool HasAnySection() const;
  // The key's values by lower-cased name; later lines win, as when regedit
  // imports the file.
  std::map<std::string, RegValue> ValuesOf(const std::string& key) const;
  // Adds the section at the end of the document (with the file header when the
  // document is empty); returns the index of its header.
  std::size_t AppendSection(const std::string& key);
  // Changes the line that decides the value now, or adds one at the end of the
  // key's section, adding the section when there is none. Returns false, and
  // changes nothing, when the value has no form in the file's encoding.
  bool SetValue(const std::string& key, const std::string& name, const RegValue& value);

  // One line of the file, or one value with its continuation lines.
  struct Entry {
    enum class Kind { Other, Section, Value };
    Kind kind = Kind::Other;
    std::string raw;  // the entry's lines in the file's bytes, line breaks included
    // Section: its key name, or nothing for a header we cannot read (the values
    // under it then belong to no key). Value: the key of its section.
    std::optional<std::string> key;
    std::string name;               // Value
    std::optional<RegValue> value;  // Value; nothing for a deletion ("name"=-)
    std::string comment;            // Value: what follows the data (" ; ..."), kept on a change
  };

 private:
  // Whether hex(1), hex(2) and hex(7) lists hold UTF-16LE, as regedit writes
  // them into "Version 5.00" files (and reads them from UTF-16 files); under
  // REGEDIT4 they hold the file's narrow text.
  bool WideStrings() const;
  std::optional<std::string> Encoded(std::string_view text) const;
  bool EndsWithBreak(const std::string& raw) const;
  bool ReadsBackAsWritten(std::string_view bytes) const;
  RegDocument WithUtf8Mark() const;

  std::vector<Entry> entries_;
  std::string newline_ = "\n";
  Format format_ = Format::Empty;
  RegFileEncoding encoding_ = RegFileEncoding::Utf8;
  std::string byteOrderMark_;
  std::string oddByte_;
};

// "HKEY_LOCAL_MACHINE\Software\..." for a key path from the root of the hive;
// leading and trailing backslashes are dropped.
std::string RegSectionName(std::string_view keyPath);

}  // namespace vr512b
