#pragma once

#include <QDialog>
#include <QWidget>

#include <functional>
#include <vector>

#include "procedures/test_parameters.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vr512b::gui {

// The parameters panel SFSetupDiag. Its controls are the console's in-memory
// parameters: they stay in the hidden panel between showings of the dialog,
// so the tests read them whether or not the dialog is open.
class TSpeedForm final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kAreaWidth = 432;
  static constexpr int kAreaHeight = 262;

  explicit TSpeedForm(QWidget* parent);

  TestParameterValues Values() const;
  void SetValues(const TestParameterValues& values);

  // Moves the controls into a modal dialog until a button or the close box
  // ends it, then back; returns the dialog's result. Returns Rejected at once
  // when the dialog is already showing.
  int ShowModal();
  bool Showing() const { return dialog_ != nullptr; }
  // The dialog while it shows, else null.
  QDialog* Dialog() const { return dialog_; }

  // The handlers of OK and Отмена; they run after the dialog's result is set
  // and must not throw.
  std::function<void()> onOk;
  std::function<void()> onCancel;
  // Asked when OK is pressed, before anything else: false keeps the dialog
  // open with nothing saved.
  std::function<bool()> confirmOk;

 private:
  QLineEdit* AddEdit(const char* name, int left, int top, int width);
  QCheckBox* AddCheck(const char* name, const char* caption, int left, int top, int width);
  void AddLabel(const char* name, const char* caption, int left, int top, int width);
  void Finish(QPushButton* button, int result, const std::function<void()>& handler);

  QWidget* area_;
  QLineEdit* EdNameVR512BSample;
  QLineEdit* EdPhoneSample;
  QLineEdit* EdPhone;
  QCheckBox* CBIDContact;
  QCheckBox* CBLowSpeed;
  QCheckBox* CBSecsoa;
  QCheckBox* CBKorvex;
  QCheckBox* CBPresto;
  QCheckBox* CBShortTest;
  QCheckBox* CBSound;
  QCheckBox* CBSoundSample;
  QCheckBox* CBKorvexTestMsg;
  QCheckBox* CBNoTone;
  // The controls of AllParameters(), in its order.
  std::vector<QWidget*> controls_;
  QPushButton* BtCancelSetDiag;
  QPushButton* BtOkSetDiag;
  QDialog* dialog_ = nullptr;
};

}  // namespace vr512b::gui
