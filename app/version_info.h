#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/version_resource.h"

namespace vr512b {

// Told when the version data it shows changes or goes away.
class VersionInfoObserver {
 public:
  virtual void VersionInfoChanged() = 0;
  virtual void VersionInfoDestroyed() = 0;

 protected:
  ~VersionInfoObserver() = default;
};

// The version-information component behind the About box's version label:
// the version resource of a program file, by default the running program.
class TVersionInfo {
 public:
  TVersionInfo() = default;
  ~TVersionInfo();
  TVersionInfo(const TVersionInfo&) = delete;
  TVersionInfo& operator=(const TVersionInfo&) = delete;

  // Becoming enabled reads the version data.
  void SetEnabled(bool enabled);
  // Leading and trailing blanks are dropped; empty means the running program.
  // A new name is read at once while enabled.
  void SetFileName(std::string_view fileName);
  const std::string& FileName() const { return fileName_; }

  // Reads the file's resource and tells the observers. A file without one
  // leaves no version data and raises nothing; other failures of the version
  // library raise VersionInfoError, with no version data kept.
  void ReadVersionInfoFromFile();
  bool HasVersionInfo() const { return resource_.has_value(); }

  // Empty when disabled, without version data, or when the name is missing.
  std::string QueryStringValue(std::string_view name) const;
  std::string GetFileVersion() const { return QueryStringValue("FileVersion"); }
  // Major, minor, release, build; zeros when disabled or without data.
  std::array<std::uint16_t, 4> FileVersionNumbers() const;
  // Language/code-page keys of the data; the first is the one in use.
  std::vector<std::string> Translations() const;

  void Attach(VersionInfoObserver* observer);
  void Detach(VersionInfoObserver* observer);
  void DoChanged();

 private:
  bool enabled_ = false;
  std::string fileName_;
  std::optional<VersionResource> resource_;
  std::size_t translationIndex_ = 0;
  std::vector<VersionInfoObserver*> observers_;
};

}  // namespace vr512b
