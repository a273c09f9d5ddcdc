#pragma once

#include <QLabel>
#include <QString>

#include "app/version_info.h"

namespace vr512b::gui {

// A label that shows a text taken from a TVersionInfo and follows it.
class TCustomVersionInfoLabel : public QLabel, protected VersionInfoObserver {
  Q_OBJECT

 public:
  explicit TCustomVersionInfoLabel(QWidget* parent);
  ~TCustomVersionInfoLabel() override;

  TVersionInfo* VersionInfo() const { return versionInfo_; }
  // Detaches from the old component, attaches to the new one and refreshes.
  void SetVersionInfo(TVersionInfo* versionInfo);

  QString GetLabelText() const { return GetVersionLabelText(); }

 protected:
  virtual QString GetVersionLabelText() const { return {}; }
  void Refresh();

  void VersionInfoChanged() override { Refresh(); }
  void VersionInfoDestroyed() override;

 private:
  TVersionInfo* versionInfo_ = nullptr;
};

}  // namespace vr512b::gui
