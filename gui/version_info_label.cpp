#include "gui/version_info_label.h"

namespace vr512b::gui {

TCustomVersionInfoLabel::TCustomVersionInfoLabel(QWidget* parent) : QLabel(parent) {
  // Ampersands are shown as typed.
  setTextFormat(Qt::PlainText);
}

TCustomVersionInfoLabel::~TCustomVersionInfoLabel() {
  if (versionInfo_ != nullptr)
    versionInfo_->Detach(this);
}

void TCustomVersionInfoLabel::SetVersionInfo(TVersionInfo* versionInfo) {
  if (versionInfo_ != nullptr)
    versionInfo_->Detach(this);
  versionInfo_ = versionInfo;
  if (versionInfo_ != nullptr)
    versionInfo_->Attach(this);
  Refresh();
}

void TCustomVersionInfoLabel::Refresh() {
  setText(GetLabelText());
}

void TCustomVersionInfoLabel::VersionInfoDestroyed() {
  versionInfo_ = nullptr;
  Refresh();
}

}  // namespace vr512b::gui
