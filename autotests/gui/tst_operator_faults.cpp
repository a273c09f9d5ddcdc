// What an impatient operator does to a running test, for every kind of test on
// the virtual bench (virtual time): closing the window, pressing other test
// buttons and "Прием с линии", unplugging a unit from the bench window, Esc
// in the question and notice boxes, and what the system does to the console:
// SIGTERM or SIGINT, during a test or while a question waits. Nothing may
// crash, nest a second handler or leave a unit open.

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <signal.h>
#include <unistd.h>

#include <memory>
#include <string>

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

namespace {

struct TestButton {
  const char* id;
  const char* button;
  const char* cell;  // null for the monitor

  // The indication and sound tests pump the window's messages only once, at
  // their start; the others at every step.
  int LatePump() const { return std::string(id) == "indic" || std::string(id) == "sound" ? 1 : 3; }
  bool UsesReference() const {
    const std::string name = id;
    return name == "tr" || name == "rx" || name == "trmess" || name == "rxmess";
  }
};

const TestButton kTests[] = {
    {"func", "BtTestFunc", "STFunc"},
    {"indic", "BtTestIndic", "STIndic"},
    {"sound", "BtTestSound", "STSound"},
    {"tr", "BtTestTR", "STTestTR"},
    {"rx", "BtTestRX", "STTestRX"},
    {"line", "BtTestLine", "STTestLine"},
    {"trmess", "BtTestTRMess", "STTestTRMess"},
    {"rxmess", "BtTestRXMess", "STTestRXMess"},
    {"monitor", "BtRXLine", nullptr},
};

}  // namespace

class OperatorFaultsTest : public QObject, public BenchSession {
  Q_OBJECT

 private:
  int Banners() {
    int count = 0;
    const LogView& log = W().Log();
    for (qsizetype i = 0; i < log.lineCount(); ++i) {
      if (log.line(i).startsWith(QStringLiteral(">>>>>")))
        ++count;
    }
    return count;
  }
  void AllTestsData() {
    QTest::addColumn<int>("index");
    for (int i = 0; i < static_cast<int>(std::size(kTests)); ++i)
      QTest::newRow(kTests[i].id) << i;
  }

 private slots:
  void init() {
    QVERIFY(StartSession());
    B().SetTechnicianAnswering(true);
  }
  void cleanup() { StopSession(); }

  void closingTheWindowDuringTheTest_data() { AllTestsData(); }
  void closingTheWindowDuringTheTest() {
    QFETCH(int, index);
    const TestButton& test = kTests[index];
    W().show();
    QVERIFY(QTest::qWaitForWindowExposed(&W()));
    QSignalSpy closed(&W(), &TFmMain::Closed);
    ModalDriver confirm(Press(QMessageBox::Yes));
    int pumps = 0;
    W().SetPumpObserver([&] {
      if (++pumps == test.LatePump())
        W().close();
    });
    Click(test.button);
    if (test.cell != nullptr)
      QVERIFY(Cell(test.cell) == QString::fromUtf8("Прервано") || Cell(test.cell) == "OK");
    QVERIFY(!AnyUnitOpen());
    QCOMPARE(W().Console()->Busy(), false);
    QCOMPARE(closed.count(), 1);
    QVERIFY(!W().isVisible());
  }

  // As closing the window: Abort is pressed, the test closes its units and
  // writes its closing lines, and then the window closes. A real signal,
  // through the console's own handler.
  void aSignalDuringTheTest_data() { AllTestsData(); }
  void aSignalDuringTheTest() {
    QFETCH(int, index);
    const TestButton& test = kTests[index];
    QSignalSpy closed(&W(), &TFmMain::Closed);
    int pumps = 0;
    W().SetPumpObserver([&] {
      if (++pumps == test.LatePump())
        ::kill(::getpid(), index % 2 == 0 ? SIGTERM : SIGINT);
    });
    Click(test.button);
    if (test.cell != nullptr) {
      // The indication and sound tests look for Abort only before they open
      // the unit, and then run to their verdict.
      const QString verdict = Cell(test.cell);
      QVERIFY2(
          verdict == QString::fromUtf8("Прервано") || (test.LatePump() == 1 && verdict == "OK"),
          qPrintable(verdict));
    }
    QVERIFY(EndedWithItsUnitsClosed());
    QCOMPARE(Banners(), 1);
    // A test that pumps no more sees the signal once the window is idle.
    QTRY_COMPARE(closed.count(), 1);
  }

  // A signal while a question or a notice waits closes the box: the question
  // is not answered "Нет", the test ends "Прервано", then the window closes.
  void aSignalWhileABoxWaits_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("cell");
    QTest::newRow("question") << "BtTestIndic"
                              << "STIndic";
    QTest::newRow("question with the buzzer on") << "BtTestSound"
                                                 << "STSound";
    QTest::newRow("notice") << "BtTestLine"
                            << "STTestLine";
  }
  void aSignalWhileABoxWaits() {
    QFETCH(QString, button);
    QFETCH(QString, cell);
    B().SetTechnicianAnswering(false);
    QSignalSpy closed(&W(), &TFmMain::Closed);
    ModalDriver driver([](QWidget*) { ::kill(::getpid(), SIGTERM); });
    Click(button.toLatin1().constData());
    QCOMPARE(driver.boxes().size(), std::size_t{1});
    QCOMPARE(Cell(cell.toLatin1().constData()), QString::fromUtf8("Прервано"));
    QVERIFY(!AnyUnitOpen());
    // Whatever the box had switched on was switched off again.
    QVERIFY(!Bench().Unit(urUnderTest).toneOn);
    QCOMPARE(closed.count(), 1);
    QVERIFY(QApplication::activeModalWidget() == nullptr);
  }

  void otherButtonsPressedInsideARunningTest_data() { AllTestsData(); }
  void otherButtonsPressedInsideARunningTest() {
    QFETCH(int, index);
    const TestButton& test = kTests[index];
    int pumps = 0;
    W().SetPumpObserver([&] {
      ++pumps;
      if (pumps == 2) {
        // Abort re-enables the test actions before the next pass; a press then
        // must still not start a handler inside this one.
        W().Console()->RequestAbort();
      }
      if (pumps == 2 || pumps == 3) {
        for (const TestButton& other : kTests)
          Click(other.button);
        Click("BtTestAll");
      }
    });
    Click(test.button);
    QCOMPARE(Banners(), 1);
    for (const TestButton& other : kTests) {
      if (other.cell != nullptr && &other != &test)
        QCOMPARE(Cell(other.cell), QString());
    }
    QVERIFY(!AnyUnitOpen());
    QCOMPARE(W().Console()->Busy(), false);
    QVERIFY(W().findChild<QPushButton*>("BtTestFunc")->isEnabled());
  }

  void unpluggingAUnitFromTheBenchWindow_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("role");
    for (int i = 0; i < static_cast<int>(std::size(kTests)); ++i) {
      QTest::newRow((std::string(kTests[i].id) + " ut").c_str()) << i << int{urUnderTest};
      QTest::newRow((std::string(kTests[i].id) + " ref").c_str()) << i << int{urReference};
    }
  }
  void unpluggingAUnitFromTheBenchWindow() {
    QFETCH(int, index);
    QFETCH(int, role);
    const TestButton& test = kTests[index];
    int pumps = 0;
    W().SetPumpObserver([&] {
      if (++pumps == std::min(2, test.LatePump()))
        Bench().Unplug(static_cast<TUnitRole>(role));
      if (test.cell == nullptr && pumps == 200)
        W().Console()->RequestAbort();
    });
    Click(test.button);
    QVERIFY(!AnyUnitOpen());
    QCOMPARE(W().Console()->Busy(), false);
    // A test that does not use the unplugged unit is not disturbed by it.
    const bool uses = role == urUnderTest || test.UsesReference() || test.cell == nullptr;
    QCOMPARE(W().Console()->TestFailed(), uses);
    const LogView& log = W().Log();
    QVERIFY(log.lineCount() > 0);
    QCOMPARE(log.line(log.lineCount() - 1), QString());
  }

  void escapeInTheQuestionAndNoticeBoxes() {
    B().SetTechnicianAnswering(false);
    // Esc is no answer: a question stays up until "Да" or "Нет" is given,
    // here "Нет", and the display question is refused.
    int unansweredByEscape = 0;
    ModalDriver driver([&](QWidget* modal) {
      QTest::keyClick(modal, Qt::Key_Escape);
      auto* box = qobject_cast<QMessageBox*>(modal);
      if (box != nullptr && box->isVisible() && box->button(QMessageBox::No) != nullptr) {
        ++unansweredByEscape;
        box->button(QMessageBox::No)->click();
      }
    });
    Click("BtTestIndic");
    QCOMPARE(Cell("STIndic"), QString::fromUtf8("Ошибка"));
    QVERIFY(!AnyUnitOpen());
    QVERIFY(!driver.boxes().empty());
    QCOMPARE(unansweredByEscape, static_cast<int>(driver.boxes().size()));

    // A notice goes on whatever closes it; nobody wired the units, so the
    // exchange itself decides.
    Click("BtTestTRMess");
    QVERIFY(Cell("STTestTRMess") == "OK" || Cell("STTestTRMess") == QString::fromUtf8("Ошибка"));
    QVERIFY(!AnyUnitOpen());
  }
};

QTEST_MAIN(OperatorFaultsTest)
#include "tst_operator_faults.moc"
