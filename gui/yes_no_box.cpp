#include "gui/yes_no_box.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>

namespace vr512b::gui {

YesNoBox::YesNoBox(Icon icon, const QString& title, const QString& text, QWidget* parent,
                   StandardButton defaultButton)
    : QMessageBox(icon, title, text, Yes | No, parent) {
  button(Yes)->setText(QStringLiteral("&Да"));
  button(No)->setText(QStringLiteral("&Нет"));
  if (defaultButton != NoButton)
    setDefaultButton(defaultButton);
  // Without a close box in the title bar where the window manager allows it.
  setWindowFlags((windowFlags() | Qt::CustomizeWindowHint | Qt::WindowTitleHint) &
                 ~Qt::WindowCloseButtonHint);
}

bool YesNoBox::AskedYes() {
  return exec() == Yes && clickedButton() == button(Yes);
}

void YesNoBox::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QMessageBox::keyPressEvent(event);
}

void YesNoBox::closeEvent(QCloseEvent* event) {
  event->ignore();
}

}  // namespace vr512b::gui
