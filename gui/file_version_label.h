#pragma once

#include "gui/version_info_label.h"

namespace vr512b::gui {

// Shows the "FileVersion" string.
class TVersionInfoFileVersionLabel final : public TCustomVersionInfoLabel {
  Q_OBJECT

 public:
  using TCustomVersionInfoLabel::TCustomVersionInfoLabel;

 protected:
  QString GetVersionLabelText() const override;
};

}  // namespace vr512b::gui
