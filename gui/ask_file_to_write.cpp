#include "gui/ask_file_to_write.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include "gui/yes_no_box.h"

namespace vr512b::gui {

QString AskFileToWrite(QWidget* parent, const FileToWrite& file, QString& folder) {
  QFileDialog dialog(parent, file.title, folder.isEmpty() ? QDir::homePath() : folder);
  dialog.setObjectName(file.dialogName);
  dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters({file.filter, QStringLiteral("Все файлы (*)")});
  dialog.setDefaultSuffix(file.suffix);
  dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("Папка:"));
  dialog.setLabelText(QFileDialog::FileName, QStringLiteral("Имя файла:"));
  dialog.setLabelText(QFileDialog::FileType, QStringLiteral("Тип файла:"));
  dialog.setLabelText(QFileDialog::Accept, file.acceptCaption);
  dialog.setLabelText(QFileDialog::Reject, QStringLiteral("Отмена"));
  dialog.selectFile(file.proposedName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    return {};
  const QString path = dialog.selectedFiles().constFirst();
  folder = QFileInfo(path).absolutePath();
  if (QFileInfo::exists(path)) {
    YesNoBox box(
        QMessageBox::Question, file.title,
        QStringLiteral("Файл %1 уже существует. Заменить его?").arg(QDir::toNativeSeparators(path)),
        parent, QMessageBox::No);
    box.setObjectName(file.replaceBoxName);
    if (!box.AskedYes())
      return {};
  }
  return path;
}

}  // namespace vr512b::gui
