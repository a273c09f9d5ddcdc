#pragma once

// Helpers shared by the GUI tests: a HID library without units, a driver for
// modal boxes and dialogs, and reading back a settings file.

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QString>
#include <QTest>
#include <QTimer>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "autotests/support/test_support.h"
#include "device/hid_library.h"
#include "device/system_error.h"
#include "procedures/test_parameters.h"
#include "settings/settings.h"

namespace vr512b::guitest {

// A machine with the HID library present but no unit plugged in.
class NoUnitsHid final : public HidLibrary {
 public:
  std::optional<std::vector<std::string>> EnumeratePaths() override {
    return std::vector<std::string>{};
  }
  HidHandle Open(const std::string&) override { return kInvalidHandle; }
  void Close(HidHandle) override {}
  Outcome<void> GetAttributes(HidHandle, HidAttributes&) override { return NoUnit(); }
  Outcome<void> GetSerialNumberString(HidHandle, void*, std::size_t) override { return NoUnit(); }
  FeatureBytes GetFeature(HidHandle, std::uint8_t*, std::size_t) override { return NoUnit(); }
  FeatureBytes SetFeature(HidHandle, const std::uint8_t*, std::size_t) override { return NoUnit(); }
  std::vector<std::string> TakeOpenProblems() override { return std::exchange(openProblems, {}); }

  static ErrorReason NoUnit() { return SystemReason(SystemError::InvalidHandle); }

  // What the next search found wrong with units it could not open.
  std::vector<std::string> openProblems;
};

// What a modal message box looked like when it came up.
struct SeenBox {
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
};

// Watches for modal windows while the code under test runs its own modal
// loops, and hands each one to `handle` once. Message boxes are recorded.
class ModalDriver {
 public:
  using Handler = std::function<void(QWidget* modal)>;
  explicit ModalDriver(Handler handle) : handle_(std::move(handle)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start(5);
  }
  ~ModalDriver() { timer_.stop(); }

  const std::vector<SeenBox>& boxes() const { return boxes_; }

 private:
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    // A property rather than the address: the next box may reuse the memory.
    if (modal == nullptr || !modal->isVisible() || modal->property("driven").toBool())
      return;
    modal->setProperty("driven", true);
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      boxes_.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons()});
    }
    // Handled from a timer of its own: a box opened by the handler must still
    // be seen by the polling timer, which Qt never re-enters.
    QTimer::singleShot(0, modal, [this, modal] { handle_(modal); });
  }

  Handler handle_;
  QTimer timer_;
  std::vector<SeenBox> boxes_;
};

// Clicks the given standard button of every message box.
inline ModalDriver::Handler Press(QMessageBox::StandardButton which) {
  return [which](QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      if (QAbstractButton* button = box->button(which))
        button->click();
    }
  };
}

// `path` as the session was given it: a .reg file, or the registry hive on Windows.
inline TestParameterValues StoredParameters(const std::string& path) {
  TestParameterValues values;
  const auto store = OpenSettingsStore(path);
  LoadSettings(*store, values);
  return values;
}

}  // namespace vr512b::guitest
