// The console on the virtual bench (virtual time): whole tests through the
// window, the bench window's switches, the virtual technician standing in for
// the person, and closing the window while a unit is open.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
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

  void benchSwitchesReachTheModel() {
    // The bench starts with both simulator buttons pressed.
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
