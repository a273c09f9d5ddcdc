#pragma once

#include <QDialog>

#include "app/version_info.h"

namespace vr512b::gui {

class TVersionInfoFileVersionLabel;

// The About box: the maker's logo, the program's name, the company and
// contact lines, and the file version read from the program's own resource.
class TFmAbout final : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 441;
  static constexpr int kClientHeight = 194;

  explicit TFmAbout(QWidget* owner);
  ~TFmAbout() override;

  TVersionInfo& VersionInfo() { return versionInfo_; }

 private:
  TVersionInfo versionInfo_;
  TVersionInfoFileVersionLabel* VersionLabel;
};

}  // namespace vr512b::gui
