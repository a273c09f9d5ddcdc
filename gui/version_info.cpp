#include "version_info.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

#include "build_info.h"

namespace vr512b::gui {

namespace {

namespace fs = std::filesystem;

constexpr std::uint16_t kLanguage = 0x0419;  // Russian
constexpr std::uint16_t kCodePage = 0x04E3;  // Windows-1251

fs::path RunningProgram() {
#ifdef _WIN32
  wchar_t buffer[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  return length == 0 ? fs::path() : fs::path(buffer);
#else
  std::error_code error;
  fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path() : self;
#endif
}

std::string TranslationKey(std::uint16_t language, std::uint16_t codePage) {
  char key[9];
  std::snprintf(key, sizeof key, "%.4X%.4X", static_cast<unsigned>(language),
                static_cast<unsigned>(codePage));
  return key;
}

std::array<std::uint16_t, 4> ParseVersion(std::string_view text) {
  std::array<std::uint16_t, 4> numbers{};
  std::size_t part = 0;
  for (char c : text) {
    if (c == '.') {
      if (++part == numbers.size())
        break;
    } else if (c >= '0' && c <= '9') {
      numbers[part] = static_cast<std::uint16_t>(numbers[part] * 10 + (c - '0'));
    }
  }
  return numbers;
}

std::string_view TrimBlanks(std::string_view text) {
  // As the toolkit trims: every control character counts as a blank.
  const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!text.empty() && blank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && blank(text.back()))
    text.remove_suffix(1);
  return text;
}

}  // namespace

TVersionInfo::~TVersionInfo() {
  // Copy first: an observer may detach itself while being told.
  const std::vector<VersionInfoObserver*> observers = observers_;
  observers_.clear();
  for (VersionInfoObserver* observer : observers)
    observer->VersionInfoDestroyed();
}

void TVersionInfo::SetEnabled(bool enabled) {
  if (enabled == enabled_)
    return;
  enabled_ = enabled;
  if (enabled_) {
    ReadVersionInfoFromFile();
  } else {
    DoChanged();
  }
}

void TVersionInfo::SetFileName(std::string_view fileName) {
  const std::string trimmed(TrimBlanks(fileName));
  if (trimmed == fileName_)
    return;
  fileName_ = trimmed;
  if (enabled_)
    ReadVersionInfoFromFile();
}

void TVersionInfo::ReadVersionInfoFromFile() {
  hasData_ = false;
  tables_.clear();
  fixed_ = {};
  translations_.clear();
  translationIndex_ = 0;

  const fs::path self = RunningProgram();
  const fs::path file =
      fileName_.empty() ? self : fs::path(std::u8string(fileName_.begin(), fileName_.end()));
  std::error_code error;
  const bool ours = !file.empty() && !self.empty() && fs::exists(file, error) &&
                    fs::equivalent(file, self, error) && !error;
  if (ours) {
    const std::string key = TranslationKey(kLanguage, kCodePage);
    tables_[key] = {
        {"CompanyName", "ООО «Корвекс»"},
        {"FileDescription", "Программа диагностики УПО VR512B"},
        {"FileVersion", VR512B_FILE_VERSION},
        {"InternalName", "vr512b-diag"},
        {"LegalCopyright", "© ООО «Корвекс»"},
        {"OriginalFilename", "vr512b-diag"},
        {"ProductName", "Диагностика VR512B"},
        {"ProductVersion", VR512B_FILE_VERSION},
    };
    fixed_ = ParseVersion(VR512B_FILE_VERSION);
    translations_.push_back(key);
    hasData_ = true;
  }
  DoChanged();
}

std::string TVersionInfo::QueryStringValue(std::string_view name) const {
  if (!enabled_ || !hasData_ || translationIndex_ >= translations_.size())
    return {};
  const auto table = tables_.find(translations_[translationIndex_]);
  if (table == tables_.end())
    return {};
  const auto value = table->second.find(name);
  return value == table->second.end() ? std::string() : value->second;
}

std::array<std::uint16_t, 4> TVersionInfo::FileVersionNumbers() const {
  if (!enabled_ || !hasData_)
    return {};
  return fixed_;
}

void TVersionInfo::Attach(VersionInfoObserver* observer) {
  if (observer != nullptr &&
      std::find(observers_.begin(), observers_.end(), observer) == observers_.end()) {
    observers_.push_back(observer);
  }
}

void TVersionInfo::Detach(VersionInfoObserver* observer) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void TVersionInfo::DoChanged() {
  const std::vector<VersionInfoObserver*> observers = observers_;
  for (VersionInfoObserver* observer : observers)
    observer->VersionInfoChanged();
}

}  // namespace vr512b::gui
