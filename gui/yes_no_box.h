#pragma once

#include <QMessageBox>

namespace vr512b::gui {

// A question with the buttons "Да" and "Нет" (Alt+Д, Alt+Н) that only an
// answer ends: Esc and the title bar's close box do nothing, as with the
// system's own Yes/No boxes. The loop still ends when the box is rejected
// from the program (the end of the session), which exec() gives as neither
// answer.
class YesNoBox final : public QMessageBox {
  Q_OBJECT

 public:
  YesNoBox(Icon icon, const QString& title, const QString& text, QWidget* parent,
           StandardButton defaultButton = NoButton);

  // True only when "Да" was pressed.
  bool AskedYes();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
};

}  // namespace vr512b::gui
