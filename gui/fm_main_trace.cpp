// "Сервис" → "Записывать обмен с УПО...": the HID trace of the units'
// feature transfers, started and stopped from the menu or by --trace.

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

#include "fm_main.h"
#include "trace_control.h"

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
  if (!recording)
    action->setToolTip(QString());
  if (traceControl_ == nullptr)
    return;
  if (const std::optional<std::string> failure = traceControl_->TakeTraceFailure()) {
    action->setChecked(false);
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
  FindAction("ActTraceHid")
      ->setToolTip(QStringLiteral("Запись в %1").arg(QDir::toNativeSeparators(path)));
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
  QFileDialog dialog(this, QStringLiteral("Записывать обмен с УПО"),
                     saveFolder_.isEmpty() ? QDir::homePath() : saveFolder_);
  dialog.setObjectName("TraceFileDialog");
  // As for the log: the toolkit's own dialog, and the overwrite question in
  // Russian, asked by the window.
  dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(
      {QStringLiteral("Трассы обмена pcapng (*.pcapng)"), QStringLiteral("Все файлы (*)")});
  dialog.setDefaultSuffix(QStringLiteral("pcapng"));
  dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("Папка:"));
  dialog.setLabelText(QFileDialog::FileName, QStringLiteral("Имя файла:"));
  dialog.setLabelText(QFileDialog::FileType, QStringLiteral("Тип файла:"));
  dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Записывать"));
  dialog.setLabelText(QFileDialog::Reject, QStringLiteral("Отмена"));
  dialog.selectFile(
      QStringLiteral("обмен-%1.pcapng")
          .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-HH-mm-ss"))));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    return;
  const QString path = dialog.selectedFiles().constFirst();
  saveFolder_ = QFileInfo(path).absolutePath();
  if (QFileInfo::exists(path)) {
    QMessageBox box(
        QMessageBox::Question, QStringLiteral("Записывать обмен с УПО"),
        QStringLiteral("Файл %1 уже существует. Заменить его?").arg(QDir::toNativeSeparators(path)),
        QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName("ReplaceTraceBox");
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Да"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Нет"));
    box.setDefaultButton(QMessageBox::No);
    if (box.exec() != QMessageBox::Yes)
      return;
  }
  StartTrace(path);
}

}  // namespace vr512b::gui
