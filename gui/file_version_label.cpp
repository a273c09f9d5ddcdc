#include "gui/file_version_label.h"

namespace vr512b::gui {

QString TVersionInfoFileVersionLabel::GetVersionLabelText() const {
  const TVersionInfo* info = VersionInfo();
  return info == nullptr ? QString() : QString::fromStdString(info->GetFileVersion());
}

}  // namespace vr512b::gui
