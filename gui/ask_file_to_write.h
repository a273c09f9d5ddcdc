#pragma once

// The window's question for a file to write (a log, a trace, a CSV export):
// the toolkit's own save dialog, which looks the same on every desktop, takes
// Russian captions and can be driven by tests, and the overwrite question in
// Russian (the dialog's own would be English).

#include <QString>

class QWidget;

namespace vr512b::gui {

struct FileToWrite {
  QString title;       // of the dialog and of the overwrite question
  QString dialogName;  // object names, for tests
  QString replaceBoxName;
  QString filter;  // e.g. "Текстовые файлы (*.txt)"; "Все файлы (*)" follows
  QString suffix;  // added to a name without one
  QString acceptCaption;  // "Сохранить", "Записывать"
  QString proposedName;
};

// The chosen path, or an empty string when the operator cancels or will not
// replace the file. `folder` is where the dialog opens (the home folder when
// empty); it becomes the chosen file's folder.
QString AskFileToWrite(QWidget* parent, const FileToWrite& file, QString& folder);

}  // namespace vr512b::gui
