// vr512b-diag as a process of its own: SIGINT and SIGTERM end it as closing
// the window does, with exit status 0; without a display it says so and ends
// with exit status 3. Linux only (POSIX signals).

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

#include <signal.h>

#include <chrono>

using namespace std::chrono_literals;

class GuiProcessTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;

  // The console on the virtual bench, shown on the offscreen platform, with
  // its files in the test's folder.
  void Start(QProcess& console, const QProcessEnvironment& environment, const QString& name) {
    console.setProcessEnvironment(environment);
    console.setProgram(QStringLiteral(VR512B_GUI_PATH));
    console.setArguments({"--simulate", "--settings", dir_.filePath(name + ".reg")});
    console.start();
    QVERIFY(console.waitForStarted());
  }
  QProcessEnvironment Environment() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
      environment.insert(name, dir_.path());
    return environment;
  }

 private slots:
  void aSignalClosesTheWindowAndEndsTheConsoleCleanly_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
  }
  void aSignalClosesTheWindowAndEndsTheConsoleCleanly() {
    QFETCH(int, signal);
    QProcessEnvironment environment = Environment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess console;
    const QString name = QTest::currentDataTag();
    Start(console, environment, name);
    // The virtual bench's parameters are seeded once the console's session
    // has started, and with it the handling of the signals.
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(dir_.filePath(name + ".reg")), 20000);
    QTest::qWait(300);
    QCOMPARE(::kill(static_cast<pid_t>(console.processId()), signal), 0);
    QVERIFY(console.waitForFinished(20000));
    QCOMPARE(console.exitStatus(), QProcess::NormalExit);
    QCOMPARE(console.exitCode(), 0);
  }

  void withoutADisplayTheConsoleSaysSoAndEnds() {
    QProcessEnvironment environment = Environment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
      environment.remove(name);
    QProcess console;
    Start(console, environment, "no-display");
    QVERIFY(console.waitForFinished(20000));
    QCOMPARE(console.exitStatus(), QProcess::NormalExit);
    QCOMPARE(console.exitCode(), 3);
    const QString err = QString::fromUtf8(console.readAllStandardError());
    QVERIFY2(err.contains(QString::fromUtf8("vr512b-diag: нет дисплея: окно программы негде "
                                            "показать")),
             qPrintable(err));
  }
};

QTEST_GUILESS_MAIN(GuiProcessTest)
#include "tst_gui_process.moc"
