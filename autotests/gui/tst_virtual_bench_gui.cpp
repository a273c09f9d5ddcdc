// The console on the virtual bench (virtual time): whole tests through the
// window, the bench window's switches, the virtual technician standing in for
// the person, and closing the window while a unit is open.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "app/diag_console.h"
#include "autotests/gui/bench_session.h"
#include "autotests/gui/gui_test_support.h"
#include "gui/diag_session.h"
#include "gui/fm_bench.h"
#include "gui/fm_main.h"
#include "gui/log_view.h"
#include "sim/virtual_bench.h"

using namespace vr512b;
using namespace vr512b::gui;
using namespace vr512b::guitest;

class VirtualBenchGuiTest : public QObject, public BenchSession {
  Q_OBJECT

 private:
  QCheckBox* BenchCheck(const QString& caption) {
    for (QCheckBox* check : B().findChildren<QCheckBox*>()) {
      if (check->text() == caption)
        return check;
    }
    return nullptr;
  }

 private slots:
  void init() { QVERIFY(StartSession()); }
  void cleanup() { StopSession(); }

  void functioningTestPasses() {
    ModalDriver driver(Press(QMessageBox::No));
    Click("BtTestFunc");
    QCOMPARE(Cell("STFunc"), QString("OK"));
    QCOMPARE(driver.boxes().size(), 0u);
    const LogView& log = W().Log();
    QCOMPARE(log.line(0), QString(39, '-'));
    QCOMPARE(log.line(1), QString::fromUtf8(">>>>>--Проверка функционирования--<<<<<"));
    QCOMPARE(log.line(log.lineCount() - 1), QString());
    QVERIFY(!Bench().Unit(urUnderTest).openByHost);
  }

  void questionsGoToThePersonUnlessTheTechnicianAnswers() {
    QString displayDuringQuestion;
    ModalDriver driver([&](QWidget* modal) {
      if (displayDuringQuestion.isNull()) {
        B().Refresh();
        displayDuringQuestion = B().findChild<QLabel*>("LbDisplayUT")->text();
      }
      Press(QMessageBox::No)(modal);
    });
    Click("BtTestIndic");
    QCOMPARE(Cell("STIndic"), QString::fromUtf8("Ошибка"));
    QCOMPARE(driver.boxes().size(), 1u);
    QVERIFY(driver.boxes()[0].text.contains("The Test Message"));
    QCOMPARE(displayDuringQuestion, QString("The Test Message"));

    BenchCheck(QString::fromUtf8("Отвечает виртуальный техник"))->setChecked(true);
    Click("BtTestIndic");
    QCOMPARE(Cell("STIndic"), QString("OK"));
    QCOMPARE(driver.boxes().size(), 1u);
  }

  // A person who does what the notices say, and nothing else, passes the
  // data tests: the bench starts as the first notice asks.
  void followingTheNoticesPassesTheDataTests() {
    QVERIFY(!BenchCheck(QString::fromUtf8("'ЗАТУХАНИЕ'"))->isChecked());
    ModalDriver driver([this](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      if (box->text().contains(QString::fromUtf8("'ЗАТУХАНИЕ' - нажаты")))
        BenchCheck(QString::fromUtf8("'ЗАТУХАНИЕ'"))->setChecked(true);
      box->button(QMessageBox::Ok)->click();
    });
    Click("BtTestTR");
    QCOMPARE(Cell("STTestTR"), QString("OK"));
    QCOMPARE(driver.boxes().size(), 2u);
  }

  // Between tests the status bar shows the units plugged in, as the bench's
  // plug switch leaves them; a test has them to itself and nothing is looked
  // at while it runs.
  void pluggedUnitsShownBetweenTests() {
    const auto shown = [this](TUnitRole role) {
      const sim::UnitSetup& unit = Bench().config().units[role];
      return QStringLiteral("%1, в. %2.%3")
          .arg(QString::fromStdString(unit.serial))
          .arg(unit.version >> 8)
          .arg(unit.version & 0xFF);
    };
    QVERIFY(W().WatchingUnits());
    QCOMPARE(W().UnitsText(), QString::fromUtf8("Проверяемое: %1 · Эталонное: %2")
                                  .arg(shown(urUnderTest), shown(urReference)));
    BenchCheck(QString::fromUtf8("Подключено к USB"))->click();
    W().RefreshUnits();  // as the next tick does
    QCOMPARE(W().UnitsText(),
             QString::fromUtf8("Проверяемое: нет · Эталонное: %1").arg(shown(urReference)));

    BenchCheck(QString::fromUtf8("Подключено к USB"))->click();
    bool watchedDuringTest = false;
    QString textDuringTest;
    W().SetPumpObserver([&] {
      watchedDuringTest = watchedDuringTest || W().WatchingUnits();
      W().RefreshUnits();  // a tick that came all the same changes nothing
      textDuringTest = W().UnitsText();
    });
    Click("BtTestFunc");
    QCOMPARE(Cell("STFunc"), QString("OK"));
    QVERIFY(!watchedDuringTest);
    QCOMPARE(textDuringTest,
             QString::fromUtf8("Проверяемое: нет · Эталонное: %1").arg(shown(urReference)));
    QVERIFY(W().WatchingUnits());
    QCOMPARE(W().UnitsText(), QString::fromUtf8("Проверяемое: %1 · Эталонное: %2")
                                  .arg(shown(urUnderTest), shown(urReference)));
  }

  void benchSwitchesReachTheModel() {
    // The bench starts with 'ЛИНИЯ' pressed.
    BenchCheck(QString::fromUtf8("'ЛИНИЯ'"))->click();
    QVERIFY(!Bench().Simulator().lineButton);
    BenchCheck(QString::fromUtf8("Питание"))->click();
    QVERIFY(!Bench().Simulator().power);

    Bench().SetAttenuationButton(false);
    B().Refresh();
    QVERIFY(!BenchCheck(QString::fromUtf8("'ЗАТУХАНИЕ'"))->isChecked());

    auto* wiring = B().findChildren<QComboBox*>().value(0);
    wiring->setCurrentIndex(2);
    emit wiring->activated(2);
    QCOMPARE(Bench().Unit(urUnderTest).wiring, sim::Wiring::PhoneLine);

    BenchCheck(QString::fromUtf8("Подключено к USB"))->click();
    QVERIFY(!Bench().Unit(urUnderTest).plugged);
    Click("BtTestFunc");
    QCOMPARE(Cell("STFunc"), QString::fromUtf8("Ошибка"));
  }

  void closingMidTestClosesTheUnitThenBothWindows() {
    W().show();
    B().show();
    QVERIFY(QTest::qWaitForWindowExposed(&W()));
    QSignalSpy closed(&W(), &TFmMain::Closed);
    ModalDriver confirm(Press(QMessageBox::Yes));
    int pumps = 0;
    bool wasOpen = false;
    W().SetPumpObserver([&] {
      if (++pumps == 20) {
        wasOpen = Bench().Unit(urUnderTest).openByHost;
        W().close();
      }
    });
    Click("BtTestFunc");
    QVERIFY(wasOpen);
    QCOMPARE(Cell("STFunc"), QString::fromUtf8("Прервано"));
    QVERIFY(!Bench().Unit(urUnderTest).openByHost);
    QCOMPARE(closed.count(), 1);
    QVERIFY(!W().isVisible());
    QVERIFY(!B().isVisible());
  }

  // The tests' screen is hardly wider than the main window: the bench has no
  // room beside it, and both are wholly on the screen all the same.
  void bothWindowsFitASmallScreen() {
    StopSession();
    QTemporaryDir dir;
    StartOptions options;
    options.simulate = true;
    options.virtualTime = true;
    options.settingsPath =
        vr512b::testing::FreshSettingsPath(dir.filePath("small.reg").toStdString());
    const std::unique_ptr<DiagSession> session = DiagSession::Start(options);
    QVERIFY(session != nullptr);
    const QRect free = session->MainWindow().screen()->availableGeometry();
    QVERIFY(free.width() < 2 * session->MainWindow().width());
    for (QWidget* window : {static_cast<QWidget*>(&session->MainWindow()),
                            static_cast<QWidget*>(session->BenchWindow())}) {
      QVERIFY(window->isVisible());
      QVERIFY2(free.contains(window->frameGeometry()), qPrintable(window->objectName()));
    }
    QVERIFY(StartSession());
  }

  void checkAllWithTheTechnician() {
    B().SetTechnicianAnswering(true);
    Click("BtTestAll");
    for (const char* cell : {"STFunc", "STIndic", "STSound", "STTestTR", "STTestRX", "STTestLine",
                             "STTestTRMess", "STTestRXMess"}) {
      QCOMPARE(Cell(cell), QString("OK"));
    }
    QVERIFY(W().findChild<QPushButton*>("BtTestAll")->isEnabled());
  }
};

QTEST_MAIN(VirtualBenchGuiTest)
#include "tst_virtual_bench_gui.moc"
