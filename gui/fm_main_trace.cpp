// "Сервис" → "Записывать обмен с УПО...": the HID trace of the units'
// feature transfers, started and stopped from the menu or by --trace.

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "app/trace_control.h"
#include "gui/ask_file_to_write.h"
#include "gui/fm_main.h"

namespace vr512b::gui {

void TFmMain::SetTraceControl(TraceControl* control) {
  traceControl_ = control;
  ShowTraceState();
  UpdateActions();
}

void TFmMain::ShowTraceState() {
  QAction* action = FindAction("ActTraceHid");
  const bool recording = traceControl_ != nullptr && traceControl_->Tracing();
  action->setChecked(recording);
  traceRecording_->setVisible(recording);
  if (!recording) {
    action->setToolTip(QString());
    traceRecording_->setToolTip(QString());
  }
  if (traceControl_ == nullptr)
    return;
  if (const std::optional<std::string> failure = traceControl_->TakeTraceFailure()) {
    action->setChecked(false);
    traceRecording_->setVisible(false);
    ShowErrorBox(
        QStringLiteral("Запись обмена с УПО прервана: %1").arg(QString::fromStdString(*failure)));
  }
}

bool TFmMain::StartTrace(const QString& path) {
  if (traceControl_ == nullptr)
    return false;
  const std::string error = traceControl_->StartTrace(path.toStdString());
  ShowTraceState();
  if (!error.empty()) {
    ShowErrorBox(
        QStringLiteral("Запись обмена с УПО не начата: %1").arg(QString::fromStdString(error)));
    return false;
  }
  const QString where = QStringLiteral("Запись в %1").arg(QDir::toNativeSeparators(path));
  FindAction("ActTraceHid")->setToolTip(where);
  traceRecording_->setToolTip(where);
  return true;
}

void TFmMain::StopTrace() {
  if (traceControl_ == nullptr || !traceControl_->Tracing())
    return;
  const std::string error = traceControl_->StopTrace();
  ShowTraceState();
  if (!error.empty()) {
    ShowErrorBox(
        QStringLiteral("Запись обмена с УПО не завершена: %1").arg(QString::fromStdString(error)));
  }
}

void TFmMain::ActTraceHidExecute() {
  if (traceControl_ == nullptr)
    return;
  if (traceControl_->Tracing()) {
    StopTrace();
    return;
  }
  ShowTraceState();
  const QString path = AskFileToWrite(
      this,
      {QStringLiteral("Записывать обмен с УПО"), QStringLiteral("TraceFileDialog"),
       QStringLiteral("ReplaceTraceBox"), QStringLiteral("Трассы обмена pcapng (*.pcapng)"),
       QStringLiteral("pcapng"), QStringLiteral("Записывать"),
       QStringLiteral("обмен-%1.pcapng")
           .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-HH-mm-ss")))},
      saveFolder_);
  if (path.isEmpty())
    return;
  StartTrace(path);
}

}  // namespace vr512b::gui
