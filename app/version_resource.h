#pragma once

#ifdef _WIN32

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vr512b {

// A failure of the system's version library, worded as the toolkit words it:
// "Win32 Error.  Code: <n>.\n<text>" when the size query fails for another
// reason than a missing resource, "System Error.  Code: <n>.\r\n<text>" when
// the data or its fixed part cannot be read.
class VersionInfoError : public std::runtime_error {
 public:
  VersionInfoError(const std::string& message, unsigned long code)
      : std::runtime_error(message), code_(code) {}
  unsigned long code() const { return code_; }

 private:
  unsigned long code_;
};

// The version-information component without its labels: the version resource
// of a program file, by default the running program, read through the
// system's version library. Texts are UTF-8.
class TVersionInfo {
 public:
  // Becoming enabled reads the version data.
  void SetEnabled(bool enabled);
  bool Enabled() const { return enabled_; }
  // Leading and trailing blanks are dropped; empty means the running program.
  // A new name is read at once while enabled.
  void SetFileName(std::string_view fileName);
  const std::string& FileName() const { return fileName_; }

  // A missing file, one that is not a PE program, or one without a version
  // resource leave no version data and raise nothing; other failures of the
  // version library raise VersionInfoError (with no version data kept).
  void ReadVersionInfoFromFile();
  bool HasVersionInfo() const { return hasData_; }

  // Empty when disabled, without version data, or when the name is missing.
  std::string QueryStringValue(std::string_view name) const;
  std::string GetFileVersion() const { return QueryStringValue("FileVersion"); }
  // The fixed file information: major, minor, release, build; zeros without data.
  std::array<std::uint16_t, 4> FileVersionNumbers() const;

  // Language/code-page keys, eight upper-case hex digits each, language first.
  const std::vector<std::string>& Translations() const { return translations_; }
  std::size_t TranslationIndex() const { return translationIndex_; }

 private:
  bool enabled_ = false;
  std::string fileName_;
  bool hasData_ = false;
  std::vector<unsigned char> data_;
  std::array<std::uint16_t, 4> fixed_{};
  std::vector<std::string> translations_;
  std::size_t translationIndex_ = 0;
};

}  // namespace vr512b

#endif  // _WIN32
