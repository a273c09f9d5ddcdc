// The main window as the bench technician sees it: layout, captions, the
// enabling rules around a running test, Abort/Esc, Clear, closing the window
// during a test, and the operator boxes.

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "app/diag_console.h"
#include "autotests/gui/gui_test_support.h"
#include "device/clock.h"
#include "gui/fm_main.h"
#include "gui/log_view.h"
#include "gui/toolkit_translations.h"

using namespace vr512b;
using namespace vr512b::gui;
using namespace vr512b::guitest;

namespace {

const char* const kTestButtons[] = {"BtTestFunc",   "BtTestIndic",  "BtTestSound",
                                    "BtTestTR",     "BtTestRX",     "BtTestLine",
                                    "BtTestTRMess", "BtTestRXMess", "BtTestAll"};
const char* const kCells[] = {"STFunc",   "STIndic",    "STSound",      "STTestTR",
                              "STTestRX", "STTestLine", "STTestTRMess", "STTestRXMess"};

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  VirtualClock clock_;
  NoUnitsHid hid_;
  std::unique_ptr<TFmMain> window_;

  TFmMain& W() { return *window_; }
  QPushButton* Button(const char* name) { return W().findChild<QPushButton*>(name); }
  QLabel* Cell(const char* name) { return W().findChild<QLabel*>(name); }
  QAction* Action(const char* name) { return W().findChild<QAction*>(name); }
  QStringList LogLines() {
    QStringList lines;
    for (qsizetype i = 0; i < W().Log().lineCount(); ++i)
      lines << W().Log().line(i);
    return lines;
  }
  // Runs `during` inside the first message pass of the next test.
  static void DuringNextPump(std::function<void()> during) {
    QTimer::singleShot(0, std::move(during));
  }

 private slots:
  void init() {
    window_ = std::make_unique<TFmMain>(
        clock_, vr512b::testing::FreshSettingsPath(dir_.filePath("p.reg").toStdString()));
    QVERIFY(W().FormCreate([this](std::string&) -> HidLibrary* { return &hid_; }));
  }
  void cleanup() { window_.reset(); }

  void controls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("place");
    QTest::addColumn<QString>("caption");
    const struct {
      const char* name;
      int top;
      const char* caption;
    } rows[] = {{"BtTestFunc", 8, "Функционирование"},
                {"BtTestIndic", 40, "Индикация"},
                {"BtTestSound", 72, "Звук"},
                {"BtTestTR", 104, "Передача данных"},
                {"BtTestRX", 136, "Прием данных"},
                {"BtTestLine", 168, "Тест линии"},
                {"BtTestTRMess", 200, "Передача сообщений"},
                {"BtTestRXMess", 232, "Прием сообщений"},
                {"BtClear", 352, "Очистить"},
                {"BtTestAll", 384, "Проверить все"},
                {"BtAbort", 416, "Прервать"}};
    for (const auto& row : rows) {
      QTest::newRow(row.name) << row.name << QRect(8, row.top, 137, 25)
                              << QString::fromUtf8(row.caption);
    }
    QTest::newRow("BtRXLine") << "BtRXLine" << QRect(152, 416, 137, 25)
                              << QString::fromUtf8("Прием с линии");
    int top = 10;
    for (const char* cell : kCells) {
      QTest::newRow(cell) << cell << QRect(160, top, 121, 21) << QString();
      top += 32;
    }
  }

  void controls() {
    QFETCH(QString, name);
    QFETCH(QRect, place);
    QFETCH(QString, caption);
    QWidget* control = W().centralWidget()->findChild<QWidget*>(name);
    QVERIFY2(control != nullptr, qPrintable(name));
    QCOMPARE(control->geometry(), place);
    if (auto* button = qobject_cast<QPushButton*>(control))
      QCOMPARE(button->text(), caption);
    if (auto* cell = qobject_cast<QLabel*>(control)) {
      QVERIFY(cell->text().isEmpty());
      QCOMPARE(cell->frameShadow(), QFrame::Sunken);
      QCOMPARE(cell->alignment(), Qt::AlignCenter);
      QVERIFY(cell->font().bold());
      QCOMPARE(cell->font().pixelSize(), 13);
    }
  }

  void windowFrameLogAndMenu() {
    QCOMPARE(W().windowTitle(), QString::fromUtf8("Программа диагностики УПО VR512B"));
    W().show();
    QVERIFY(QTest::qWaitForWindowExposed(&W()));
    QCOMPARE(W().centralWidget()->size(), QSize(727, 463));
    QCOMPARE(W().minimumSize(), W().maximumSize());

    LogView& log = W().Log();
    QCOMPARE(log.geometry(), QRect(296, 0, 431, 463));
    QCOMPARE(log.toolTip(), QString::fromUtf8("Протокол проверки"));
    QCOMPARE(log.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(log.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(log.font().pixelSize(), 11);
    QVERIFY(QFontInfo(log.font()).fixedPitch());

    const QList<QAction*> top = W().menuBar()->actions();
    QCOMPARE(top.size(), 3);
    QCOMPARE(top[0]->text(), QString::fromUtf8("Выход"));
    QCOMPARE(top[0], Action("ActExit"));
    QCOMPARE(top[1]->text(), QString::fromUtf8("Сервис"));
    QCOMPARE(top[1]->menu()->actions().value(0), Action("ActSetupDiag"));
    QCOMPARE(Action("ActSetupDiag")->text(), QString::fromUtf8("Параметры тестирования..."));
    QCOMPARE(top[2]->objectName(), QString("MnAbout"));
    QCOMPARE(top[2]->text(), QString::fromUtf8("О программе..."));
  }

  // Why a unit could not be opened, where the operator can remedy it, is
  // said in the status bar after the test; the log keeps its one line.
  void openProblemsInTheStatusBar() {
    const std::string problem = "Нет прав на чтение и запись /dev/hidraw2 (УПО)";
    hid_.openProblems = {problem};
    QTest::mouseClick(Button("BtTestFunc"), Qt::LeftButton);
    QCOMPARE(W().statusBar()->currentMessage(), QString::fromStdString(problem));
    QVERIFY(LogLines().contains(QString::fromUtf8("Не удалось открыть проверяемое УПО")));
  }

  void enablingRulesAroundATest() {
    auto checkIdle = [this] {
      for (const char* name : kTestButtons)
        QVERIFY2(Button(name)->isEnabled(), name);
      QVERIFY(!Button("BtAbort")->isEnabled());
      QVERIFY(Action("ActExit")->isEnabled());
      QVERIFY(Action("ActSetupDiag")->isEnabled());
      QVERIFY(Button("BtRXLine")->isEnabled());
    };
    checkIdle();
    bool inspected = false;
    DuringNextPump([&] {
      inspected = true;
      for (const char* name : kTestButtons)
        QVERIFY2(!Button(name)->isEnabled(), name);
      QVERIFY(Button("BtAbort")->isEnabled());
      QVERIFY(!Action("ActExit")->isEnabled());
      QVERIFY(!Action("ActSetupDiag")->isEnabled());
      QVERIFY(Button("BtRXLine")->isEnabled());
      QVERIFY(Button("BtClear")->isEnabled());
      QCOMPARE(Cell("STFunc")->text(), QString::fromUtf8("Выполняется..."));
    });
    QTest::mouseClick(Button("BtTestFunc"), Qt::LeftButton);
    QVERIFY(inspected);
    // No unit is plugged in.
    QCOMPARE(Cell("STFunc")->text(), QString::fromUtf8("Ошибка"));
    checkIdle();
  }

  void escapeAbortsTheRunningTest() {
    W().show();
    W().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&W()));
    DuringNextPump([this] { QTest::keyClick(&W(), Qt::Key_Escape); });
    QTest::mouseClick(Button("BtTestFunc"), Qt::LeftButton);
    QCOMPARE(Cell("STFunc")->text(), QString::fromUtf8("Прервано"));
    QCOMPARE(W().Console()->TestFailed(), true);
    QCOMPARE(LogLines().value(1), QString::fromUtf8(">>>>>--Проверка функционирования--<<<<<"));
    QCOMPARE(LogLines().constLast(), QString());
    QVERIFY(!Button("BtAbort")->isEnabled());
    QVERIFY(Button("BtTestFunc")->isEnabled());
  }

  void abortButtonAndNestedStartsRefused() {
    DuringNextPump([this] {
      Button("BtAbort")->click();
      // Tests are enabled again after Abort, but none may start inside this one.
      W().UpdateActions();
      Button("BtTestSound")->click();
      Button("BtRXLine")->click();
      Button("BtTestAll")->click();
    });
    QTest::mouseClick(Button("BtTestFunc"), Qt::LeftButton);
    QCOMPARE(Cell("STFunc")->text(), QString::fromUtf8("Прервано"));
    QVERIFY(Cell("STSound")->text().isEmpty());
    QCOMPARE(LogLines().size(), 4);  // the banner and the closing empty line only
  }

  void clearEmptiesCellsAndLogButKeepsParameters() {
    const TestParameterValues before = W().Parameters();
    QTest::mouseClick(Button("BtTestFunc"), Qt::LeftButton);
    QTest::mouseClick(Button("BtTestLine"), Qt::LeftButton);
    QVERIFY(!Cell("STTestLine")->text().isEmpty());
    QVERIFY(W().Log().lineCount() > 0);
    QTest::mouseClick(Button("BtClear"), Qt::LeftButton);
    for (const char* cell : kCells)
      QVERIFY2(Cell(cell)->text().isEmpty(), cell);
    QCOMPARE(W().Log().lineCount(), 0);
    QVERIFY(W().Parameters() == before);
  }

  // The close box asks first; "Да" aborts as "Прервать" does, "Нет" lets
  // the test run on. Esc and the box's own close leave it up, unanswered.
  void closingDuringATestAsksFirst_data() {
    QTest::addColumn<bool>("yes");
    QTest::newRow("Да") << true;
    QTest::newRow("Нет") << false;
  }
  void closingDuringATestAsksFirst() {
    QFETCH(bool, yes);
    W().show();
    QVERIFY(QTest::qWaitForWindowExposed(&W()));
    QSignalSpy closed(&W(), &TFmMain::Closed);
    bool stayedUp = false;
    QString defaultCaption;  // read while the box is up
    ModalDriver driver([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      defaultCaption = box->defaultButton()->text();
      QTest::keyClick(box, Qt::Key_Escape);
      box->close();
      stayedUp = box->isVisible();
      box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
    });
    DuringNextPump([this] { W().close(); });
    QTest::mouseClick(Button("BtTestFunc"), Qt::LeftButton);
    QCOMPARE(driver.boxes().size(), 1u);
    QCOMPARE(driver.boxes()[0].text, QString::fromUtf8(kCloseDuringTestQuestion));
    QVERIFY(stayedUp);
    QCOMPARE(defaultCaption, QString::fromUtf8("&Нет"));
    // Without units the test fails on its own unless it was aborted.
    QCOMPARE(Cell("STFunc")->text(), QString::fromUtf8(yes ? "Прервано" : "Ошибка"));
    QCOMPARE(LogLines().constLast(), QString());
    QCOMPARE(W().isVisible(), !yes);
    QCOMPARE(closed.count(), yes ? 1 : 0);
    QVERIFY(!W().Console()->HandlerRunning());
  }

  void idleCloseAsksNothing() {
    W().show();
    QSignalSpy closed(&W(), &TFmMain::Closed);
    ModalDriver driver(Press(QMessageBox::No));
    QVERIFY(W().close());
    QCOMPARE(closed.count(), 1);
    QCOMPARE(driver.boxes().size(), 0u);
  }

  // The menu captions carry no marks, yet Alt with their first letter works.
  void altOpensTheServiceMenu() {
    W().show();
    W().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&W()));
    QTest::sendKeyEvent(QTest::Click, &W(), static_cast<Qt::Key>(0x0421), QString::fromUtf8("С"),
                        Qt::AltModifier);
    QMenu* service = W().findChild<QMenu*>("MnService");
    QTRY_VERIFY(service->isVisible());
    service->close();
  }

  // The toolkit's own dialogs (the file dialogs, their buttons) speak Russian.
  void toolkitTextsInRussian() {
    QVERIFY(LoadToolkitTranslations(*QCoreApplication::instance()));
    const QString lookIn = QCoreApplication::translate("QFileDialog", "Look in:");
    QVERIFY2(lookIn != QLatin1String("Look in:"), qPrintable(lookIn));
    QVERIFY(lookIn.contains(QRegularExpression(QStringLiteral("[А-Яа-я]"))));
  }

  void questionsAndNoticesAreModalBoxes() {
    {
      ModalDriver driver(Press(QMessageBox::Yes));
      QVERIFY(W().AskYesNo("Горит? Верно?"));
      QCOMPARE(driver.boxes().size(), 1u);
      const SeenBox& box = driver.boxes()[0];
      QCOMPARE(box.title, QString::fromUtf8("Проверка"));
      QCOMPARE(box.text, QString::fromUtf8("Горит? Верно?"));
      QCOMPARE(box.icon, QMessageBox::Information);
      QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No);
    }
    {
      ModalDriver driver(Press(QMessageBox::No));
      QVERIFY(!W().AskYesNo("Звук есть?"));
    }
    {
      // Esc is no answer: the question stays until one is given.
      bool stayedUp = false;
      ModalDriver driver([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QTest::keyClick(box, Qt::Key_Escape);
        box->close();
        stayedUp = box->isVisible();
        box->button(QMessageBox::Yes)->click();
      });
      QVERIFY(W().AskYesNo("Звук есть?"));
      QVERIFY(stayedUp);
    }
    {
      ModalDriver driver(Press(QMessageBox::Ok));
      W().ShowNotice("Нажмите кнопку 'ЛИНИЯ'.");
      QCOMPARE(driver.boxes().size(), 1u);
      QCOMPARE(driver.boxes()[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
      QCOMPARE(driver.boxes()[0].icon, QMessageBox::Information);
    }
  }
};

QTEST_MAIN(MainWindowTest)
#include "tst_main_window.moc"
