#pragma once

// The console's windows on the virtual bench, on virtual time and not shown,
// started afresh for each test function with a parameters file of its own.

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "app/diag_console.h"
#include "autotests/gui/gui_test_support.h"
#include "gui/diag_session.h"
#include "gui/fm_bench.h"
#include "gui/fm_main.h"
#include "gui/log_view.h"
#include "sim/virtual_bench.h"

namespace vr512b::guitest {

class BenchSession {
 protected:
  bool StartSession() {
    gui::StartOptions options;
    options.simulate = true;
    options.virtualTime = true;
    options.showWindows = false;
    options.settingsPath = vr512b::testing::FreshSettingsPath(
        dir_.filePath(QTest::currentTestFunction() + QString(".reg")).toStdString());
    session_ = gui::DiagSession::Start(options);
    return session_ != nullptr && session_->BenchWindow() != nullptr;
  }
  void StopSession() { session_.reset(); }

  gui::TFmMain& W() { return session_->MainWindow(); }
  gui::TFmBench& B() { return *session_->BenchWindow(); }
  sim::VirtualBench& Bench() { return *session_->Bench(); }
  QString Cell(const char* name) { return W().findChild<QLabel*>(name)->text(); }
  void Click(const char* button) {
    QTest::mouseClick(W().findChild<QPushButton*>(button), Qt::LeftButton);
  }
  bool AnyUnitOpen() {
    return Bench().Unit(urUnderTest).openByHost || Bench().Unit(urReference).openByHost;
  }
  // A test cut short still closed its units and wrote its closing lines: the
  // unit closed, then the empty line that ends every test.
  bool EndedWithItsUnitsClosed() {
    const gui::LogView& log = W().Log();
    const qsizetype lines = log.lineCount();
    return !AnyUnitOpen() && !W().Console()->Busy() && lines >= 2 &&
           log.line(lines - 1).isEmpty() &&
           log.line(lines - 2).endsWith(QString::fromUtf8("устройство закрыто"));
  }

 private:
  QTemporaryDir dir_;
  std::unique_ptr<gui::DiagSession> session_;
};

}  // namespace vr512b::guitest
