// What Windows does to the console's window, through the real platform
// plugin (run on the windows platform, so the window has a native handle):
// WM_CLOSE, and the end of the session (log-off, shutdown), during a test and
// while idle. As SIGTERM on Linux: Abort is pressed, the test closes its units
// and writes its closing lines, then the window closes.

#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "app/diag_console.h"
#include "autotests/gui/bench_session.h"
#include "gui/fm_main.h"
#include "gui/log_view.h"
#include "sim/virtual_bench.h"

// After the console's headers: without the lean set, <windows.h> defines
// `interface` as a keyword of its own.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

using namespace vr512b;
using namespace vr512b::gui;
using namespace vr512b::guitest;

class SessionEndTest : public QObject, public BenchSession {
  Q_OBJECT

 private:
  HWND Handle() { return reinterpret_cast<HWND>(W().winId()); }
  // As Windows does once the session is not ended after all.
  void SessionGoesOn() { ::SendMessageW(Handle(), WM_ENDSESSION, FALSE, 0); }

 private slots:
  void init() {
    QVERIFY(StartSession());
    B().SetTechnicianAnswering(true);
    W().show();
    QVERIFY(QTest::qWaitForWindowExposed(&W()));
  }
  void cleanup() { StopSession(); }

  void duringATest_data() {
    QTest::addColumn<UINT>("message");
    QTest::addColumn<LRESULT>("sessionMayEnd");
    QTest::newRow("WM_CLOSE") << UINT{WM_CLOSE} << LRESULT{0};
    // Asked to wait until the test has closed its units.
    QTest::newRow("WM_QUERYENDSESSION") << UINT{WM_QUERYENDSESSION} << LRESULT{0};
  }
  void duringATest() {
    QFETCH(UINT, message);
    QFETCH(LRESULT, sessionMayEnd);
    QSignalSpy closed(&W(), &TFmMain::Closed);
    // A close from outside asks first, as the title bar's does: "Да" aborts.
    // The end of the session asks nothing.
    ModalDriver driver([](QWidget* modal) {
      if (auto* box = qobject_cast<QMessageBox*>(modal))
        box->button(QMessageBox::Yes)->click();
    });
    LRESULT answer = -1;
    int pumps = 0;
    W().SetPumpObserver([&] {
      if (++pumps == 3)
        answer = ::SendMessageW(Handle(), message, 0, ENDSESSION_LOGOFF);
    });
    Click("BtTestFunc");
    if (message == WM_QUERYENDSESSION) {
      QCOMPARE(answer, sessionMayEnd);
      SessionGoesOn();
    }
    QCOMPARE(driver.boxes().size(), message == WM_CLOSE ? 1u : 0u);
    QCOMPARE(Cell("STFunc"), QString::fromUtf8("Прервано"));
    QVERIFY(EndedWithItsUnitsClosed());
    QTRY_COMPARE(closed.count(), 1);
    QVERIFY(!W().isVisible());
  }

  // Nothing runs: the session may end, and the window has closed.
  void whileIdle() {
    QSignalSpy closed(&W(), &TFmMain::Closed);
    QCOMPARE(::SendMessageW(Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), LRESULT{1});
    SessionGoesOn();
    QTRY_COMPARE(closed.count(), 1);
    QVERIFY(!W().isVisible());
  }
};

QTEST_MAIN(SessionEndTest)
#include "tst_session_end_win32.moc"
