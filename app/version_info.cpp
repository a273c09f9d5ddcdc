#include "app/version_info.h"

#include <algorithm>

#include "common/text.h"

namespace vr512b {

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
  // As the toolkit trims: every control character counts as a blank.
  const std::string trimmed(Trim(fileName, IsBlankOrControl));
  if (trimmed == fileName_)
    return;
  fileName_ = trimmed;
  if (enabled_)
    ReadVersionInfoFromFile();
}

void TVersionInfo::ReadVersionInfoFromFile() {
  resource_.reset();
  translationIndex_ = 0;
  resource_ = VersionResource::Read(fileName_.empty() ? RunningProgramFile() : fileName_);
  DoChanged();
}

std::string TVersionInfo::QueryStringValue(std::string_view name) const {
  if (!enabled_ || !resource_ || translationIndex_ >= resource_->Translations().size())
    return {};
  return resource_->QueryString(resource_->Translations()[translationIndex_], name);
}

std::array<std::uint16_t, 4> TVersionInfo::FileVersionNumbers() const {
  if (!enabled_ || !resource_)
    return {};
  return resource_->FileVersionNumbers();
}

std::vector<std::string> TVersionInfo::Translations() const {
  return resource_ ? resource_->Translations() : std::vector<std::string>{};
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

}  // namespace vr512b
