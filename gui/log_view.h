#pragma once

#include <QAbstractScrollArea>
#include <QString>

#include <memory>
#include <string_view>

namespace vr512b::gui {

// The log pane: read-only, no wrap, both scroll bars, the newest line kept in
// view after each append, mouse selection, Ctrl+A / Ctrl+C copying the exact
// text. Lines are kept in one compact store so that millions of them cost
// little memory and appending stays cheap however long the log grows.
class LogView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit LogView(QWidget* parent = nullptr);
  ~LogView() override;

  // Appends one line (UTF-8, without its line break).
  void appendLine(std::string_view utf8);
  void clear();

  qsizetype lineCount() const;
  QString line(qsizetype index) const;
  // The whole log, lines joined with CR LF as the pane holds them.
  QString text() const;
  QString selectedText() const;
  // Shows line `index` at the top, as far as the log's length allows, instead
  // of the newest line.
  void scrollToLine(qsizetype index);
  void selectAll();
  void copy() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  // Private overrides: the font sets the row height, and Copy / Select All must win over any
  // window shortcut bound to the same keys while the pane has focus.
  bool event(QEvent* event) override;
  void changeEvent(QEvent* event) override;

  struct Store;
  std::unique_ptr<Store> store_;
};

}  // namespace vr512b::gui
