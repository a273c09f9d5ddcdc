#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vr512b::gui {

// Told when the version data it shows changes or goes away.
class VersionInfoObserver {
 public:
  virtual void VersionInfoChanged() = 0;
  virtual void VersionInfoDestroyed() = 0;

 protected:
  ~VersionInfoObserver() = default;
};

// The version-information component: the version resource of a program file,
// by default the running program itself. Our program carries its resource
// inside the binary (string table "041904E3"), because a Linux executable has
// no resource section; any other file reads as one without version data.
class TVersionInfo {
 public:
  TVersionInfo() = default;
  ~TVersionInfo();
  TVersionInfo(const TVersionInfo&) = delete;
  TVersionInfo& operator=(const TVersionInfo&) = delete;

  // Becoming enabled reads the version data.
  void SetEnabled(bool enabled);
  bool Enabled() const { return enabled_; }
  // Leading and trailing blanks are dropped; empty means the running program.
  // A new name is read at once while enabled.
  void SetFileName(std::string_view fileName);
  const std::string& FileName() const { return fileName_; }

  void ReadVersionInfoFromFile();
  bool HasVersionInfo() const { return hasData_; }

  // Empty when disabled, without version data, or when the name is missing.
  std::string QueryStringValue(std::string_view name) const;
  std::string GetFileVersion() const { return QueryStringValue("FileVersion"); }
  std::string GetCompanyName() const { return QueryStringValue("CompanyName"); }
  std::string GetFileDescription() const { return QueryStringValue("FileDescription"); }
  std::string GetInternalName() const { return QueryStringValue("InternalName"); }
  std::string GetLegalCopyright() const { return QueryStringValue("LegalCopyright"); }
  std::string GetOriginalFilename() const { return QueryStringValue("OriginalFilename"); }
  std::string GetProductName() const { return QueryStringValue("ProductName"); }
  std::string GetProductVersion() const { return QueryStringValue("ProductVersion"); }
  // The fixed file information: major, minor, release, build; zeros without data.
  std::array<std::uint16_t, 4> FileVersionNumbers() const;

  // Language/code-page keys, eight upper-case hex digits each, language first.
  const std::vector<std::string>& Translations() const { return translations_; }
  std::size_t TranslationIndex() const { return translationIndex_; }

  void Attach(VersionInfoObserver* observer);
  void Detach(VersionInfoObserver* observer);
  void DoChanged();

 private:
  bool enabled_ = false;
  std::string fileName_;
  bool hasData_ = false;
  std::map<std::string, std::map<std::string, std::string, std::less<>>> tables_;
  std::array<std::uint16_t, 4> fixed_{};
  std::vector<std::string> translations_;
  std::size_t translationIndex_ = 0;
  std::vector<VersionInfoObserver*> observers_;
};

}  // namespace vr512b::gui
