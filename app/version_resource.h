#pragma once

#include <array>
#include <cstdint>
#include <optional>
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

// The version resource of a program file. On Windows it is read through the
// system's version library; elsewhere programs have no resource section, and
// the running program answers with the same strings and numbers the Windows
// build carries in its resource.
class VersionResource {
 public:
  // Nothing for a missing file, one that is not a program of the right kind,
  // or one without a version resource; other failures of the version library
  // raise VersionInfoError.
  static std::optional<VersionResource> Read(const std::string& file);

  // The fixed file information: major, minor, release, build.
  std::array<std::uint16_t, 4> FileVersionNumbers() const { return fixed_; }
  // Language/code-page keys, eight upper-case hex digits each, language
  // first; never empty.
  const std::vector<std::string>& Translations() const { return translations_; }
  // A string of the table under `translation`; empty when there is none.
  std::string QueryString(std::string_view translation, std::string_view name) const;

 private:
  std::array<std::uint16_t, 4> fixed_{};
  std::vector<std::string> translations_;
  std::vector<unsigned char> data_;  // as the version library gives it
};

// The file of the running program; empty when the system does not say.
std::string RunningProgramFile();

}  // namespace vr512b
