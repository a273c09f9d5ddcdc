#include "gui/log_view.h"

#include <QApplication>
#include <QClipboard>
#include <QFont>
#include <QFontMetrics>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStringList>
#include <QTest>

#include <memory>
#include <string>

using vr512b::gui::LogView;

namespace {

std::string Utf8(const QString& text) {
  return text.toStdString();
}

// A big monospace font: a click a third of a character into a cell lands on that cell's left
// boundary whatever small indent the pane leaves before its text.
QFont BigFixedFont() {
  QFont font(QStringLiteral("Monospace"));
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPixelSize(30);
  return font;
}

}  // namespace

class TstLogView : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<LogView> shownView() {
    auto view = std::make_unique<LogView>();
    view->resize(431, 300);
    view->show();
    if (!QTest::qWaitForWindowExposed(view.get())) {
      qWarning("window not exposed");
    }
    return view;
  }

  // Point in the viewport at the left boundary of `column` of the visible `row` (0 = top row).
  static QPoint cellPoint(const LogView& view, const QString& prefix, int row) {
    const QFontMetrics metrics(view.font());
    const int third = metrics.horizontalAdvance(QLatin1Char('0')) / 3;
    return {metrics.horizontalAdvance(prefix) + third,
            row * metrics.lineSpacing() + metrics.lineSpacing() / 2};
  }

 private slots:
  void textIsExactAcrossCyrillicBlanksAndBreaks() {
    LogView view;
    view.appendLine("Записываю тестовое сообщение 123");
    view.appendLine("");
    view.appendLine("Принял  сообщение 07: 000018111000000");
    view.appendLine("  ведущие и хвостовые пробелы  ");
    // A text with breaks becomes several lines; a trailing break leaves an empty line.
    view.appendLine("первая\r\nвторая\nтретья");
    view.appendLine("Системная ошибка\r\n");
    view.appendLine("ключ \xF0\x9D\x84\x9E конец");
    const QStringList expected = {QStringLiteral("Записываю тестовое сообщение 123"),
                                  QString(),
                                  QStringLiteral("Принял  сообщение 07: 000018111000000"),
                                  QStringLiteral("  ведущие и хвостовые пробелы  "),
                                  QStringLiteral("первая"),
                                  QStringLiteral("вторая"),
                                  QStringLiteral("третья"),
                                  QStringLiteral("Системная ошибка"),
                                  QString(),
                                  QStringLiteral("ключ \U0001D11E конец")};
    QCOMPARE(view.lineCount(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
      QCOMPARE(view.line(i), expected[i]);
    }
    QCOMPARE(view.line(-1), QString());
    QCOMPARE(view.line(expected.size()), QString());
    const QString joined = expected.join(QStringLiteral("\r\n"));
    QCOMPARE(view.text(), joined);

    QCOMPARE(view.selectedText(), QString());
    // The last line ends in a character outside the BMP: the selection must still reach its end.
    view.selectAll();
    QCOMPARE(view.selectedText(), joined);
  }

  void brokenUtf8ReadsTheSameEverywhere() {
    LogView view;
    view.appendLine("ok \xD0 \xFF end");
    const QString expected = QString::fromUtf8("ok \xD0 \xFF end");
    QCOMPARE(view.line(0), expected);
    QCOMPARE(view.text(), expected);
    view.selectAll();
    QCOMPARE(view.selectedText(), expected);
  }

  void keyboardSelectAllAndCopyPutExactTextOnClipboard() {
    auto view = shownView();
    view->appendLine("Событие проверяемого: передача завершена ОК");
    view->appendLine("");
    view->appendLine("Принял  сообщение 07: 000018111000000");
    view->setFocus();
    QClipboard* clipboard = QGuiApplication::clipboard();

    clipboard->setText(QStringLiteral("прежнее"));
    QTest::keyClick(view.get(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(clipboard->text(), QStringLiteral("прежнее"));  // nothing selected: left alone

    QTest::keyClick(view.get(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(view.get(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(clipboard->text(), QStringLiteral("Событие проверяемого: передача завершена ОК\r\n\r\n"
                                               "Принял  сообщение 07: 000018111000000"));
  }

  void mouseDragSelectsAcrossTwoLines() {
    auto view = shownView();
    view->setFont(BigFixedFont());
    view->appendLine("Первая строка");
    view->appendLine("Вторая строка");
    QTest::qWait(1);

    QWidget* port = view->viewport();
    const QPoint from = cellPoint(*view, QStringLiteral("Первая "), 0);
    const QPoint to = cellPoint(*view, QStringLiteral("Вто"), 1);
    QTest::mousePress(port, Qt::LeftButton, {}, from);
    QTest::mouseMove(port, to);
    QTest::mouseRelease(port, Qt::LeftButton, {}, to);
    QCOMPARE(view->selectedText(), QStringLiteral("строка\r\nВто"));

    view->copy();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("строка\r\nВто"));

    // Dragging backwards selects the same characters.
    QTest::mousePress(port, Qt::LeftButton, {}, to);
    QTest::mouseMove(port, from);
    QTest::mouseRelease(port, Qt::LeftButton, {}, from);
    QCOMPARE(view->selectedText(), QStringLiteral("строка\r\nВто"));

    // A plain click drops the selection.
    QTest::mouseClick(port, Qt::LeftButton, {}, from);
    QCOMPARE(view->selectedText(), QString());
  }

  void newestLineStaysInView() {
    auto view = shownView();
    view->setFont(BigFixedFont());
    QScrollBar* bar = view->verticalScrollBar();
    for (int i = 0; i < 500; ++i) {
      view->appendLine(Utf8(QStringLiteral("Строка %1").arg(i)));
    }
    QTest::qWait(1);  // the view catches up once the burst yields to the event loop
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());

    // The user scrolls away; the next line brings the view back to the newest one.
    bar->setValue(0);
    view->appendLine("Самая новая строка");
    QTest::qWait(1);
    QCOMPARE(bar->value(), bar->maximum());

    // The newest line is the bottom row actually shown: drag across that row and read it back.
    QWidget* port = view->viewport();
    const QFontMetrics metrics(view->font());
    const int bottomRow = bar->pageStep() - 1;  // the page is the rows shown in full
    const QPoint left(1, bottomRow * metrics.lineSpacing() + metrics.lineSpacing() / 2);
    const QPoint right(port->width() - 1, left.y());
    QTest::mousePress(port, Qt::LeftButton, {}, left);
    QTest::mouseMove(port, right);
    QTest::mouseRelease(port, Qt::LeftButton, {}, right);
    QCOMPARE(view->selectedText(), QStringLiteral("Самая новая строка"));

    // Shrinking the pane keeps the newest line at the bottom.
    view->resize(431, 150);
    QCOMPARE(bar->value(), bar->maximum());
    QCOMPARE(qsizetype{bar->maximum()}, view->lineCount() - bar->pageStep());
  }

  void horizontalBarReachesTheEndOfTheLongestLine() {
    auto view = shownView();
    view->setFont(BigFixedFont());
    const QString longest = QStringLiteral("Принял  сообщение 07: 000018111000000 и ещё немного");
    view->appendLine("коротко");
    view->appendLine(Utf8(longest));
    for (int i = 0; i < 200; ++i) {
      view->appendLine("короткая строка");  // pushes the long one out of view before any paint
    }
    QTest::qWait(1);
    const QScrollBar* bar = view->horizontalScrollBar();
    const int needed = QFontMetrics(view->font()).horizontalAdvance(longest);
    QVERIFY2(bar->maximum() + view->viewport()->width() >= needed,
             qPrintable(QStringLiteral("max %1, viewport %2, line %3")
                            .arg(bar->maximum())
                            .arg(view->viewport()->width())
                            .arg(needed)));

    view->clear();
    QTest::qWait(1);
    QCOMPARE(bar->maximum(), 0);
  }

  void clearEmptiesEverything() {
    auto view = shownView();
    for (int i = 0; i < 100; ++i) {
      view->appendLine("Записываю тестовое сообщение 123");
    }
    view->selectAll();
    view->clear();
    QCOMPARE(view->lineCount(), qsizetype{0});
    QCOMPARE(view->text(), QString());
    QCOMPARE(view->selectedText(), QString());
    QCOMPARE(view->verticalScrollBar()->maximum(), 0);
    view->selectAll();
    QCOMPARE(view->selectedText(), QString());

    view->appendLine("после очистки");
    QCOMPARE(view->lineCount(), qsizetype{1});
    QCOMPARE(view->text(), QStringLiteral("после очистки"));
    QTest::qWait(1);  // paints the emptied-and-refilled pane
  }

  void millionLinesStayExact() {
    LogView view;
    constexpr int kCount = 1'000'000;
    // Lines of varying length, so that some straddle the store's internal boundaries.
    const auto make = [](int i) {
      return QStringLiteral("Принял  сообщение %1: %2").arg(i % 100).arg(QString(i % 37, u'ж'));
    };
    for (int i = 0; i < kCount; ++i) {
      view.appendLine(Utf8(make(i)));
    }
    // One line longer than any internal block, then normal lines again.
    const QString huge(3 * 1024 * 1024, u'я');
    view.appendLine(Utf8(huge));
    view.appendLine("последняя");
    QCOMPARE(view.lineCount(), qsizetype{kCount + 2});
    for (int i = 0; i < kCount; ++i) {
      if (view.line(i) != make(i)) {
        QFAIL(qPrintable(QStringLiteral("line %1 is '%2'").arg(i).arg(view.line(i))));
      }
    }
    QCOMPARE(view.line(kCount), huge);
    QCOMPARE(view.line(kCount + 1), QStringLiteral("последняя"));

    const QString all = view.text();
    QVERIFY(all.startsWith(make(0) + QStringLiteral("\r\n") + make(1) + QStringLiteral("\r\n")));
    QVERIFY(all.endsWith(make(kCount - 1) + QStringLiteral("\r\n") + huge +
                         QStringLiteral("\r\nпоследняя")));
    QCOMPARE(all.count(QStringLiteral("\r\n")), qsizetype{kCount + 1});
  }
};

QTEST_MAIN(TstLogView)
#include "tst_log_view.moc"
