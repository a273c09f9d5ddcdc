// Start-up: the command line, and the error box that ends the application
// when the HID library cannot be loaded.

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>

#include "autotests/gui/gui_test_support.h"
#include "gui/diag_session.h"
#include "gui/fm_main.h"

using namespace vr512b;
using namespace vr512b::gui;
using namespace vr512b::guitest;

class StartupTest : public QObject {
  Q_OBJECT

 private slots:
  void commandLine() {
    CommandLine c = ParseCommandLine({"vr512b-diag", "--version"});
    QCOMPARE(c.exitCode, std::optional<int>(0));
    QCOMPARE(c.output, QString("vr512b-diag 2.0.0.3\n"));

    c = ParseCommandLine({"vr512b-diag", "--help"});
    QCOMPARE(c.exitCode, std::optional<int>(0));
    QVERIFY(c.output.contains("--simulate"));
    QVERIFY(c.output.contains("--settings"));

    c = ParseCommandLine({"vr512b-diag", "--simulate", "--settings", "/tmp/a b.reg"});
    QVERIFY(!c.exitCode);
    QVERIFY(c.options.simulate);
    QCOMPARE(c.options.settingsPath, std::optional<std::string>("/tmp/a b.reg"));

    c = ParseCommandLine({"vr512b-diag"});
    QVERIFY(!c.exitCode);
    QVERIFY(!c.options.simulate);
    QVERIFY(!c.options.settingsPath);

    for (const QStringList& bad :
         {QStringList{"vr512b-diag", "--bogus"}, QStringList{"vr512b-diag", "--settings"},
          QStringList{"vr512b-diag", "extra"}}) {
      c = ParseCommandLine(bad);
      QCOMPARE(c.exitCode, std::optional<int>(64));
      QVERIFY(!c.error.isEmpty());
    }
  }

  void missingHidLibraryEndsWithTheErrorBox() {
#ifdef _WIN32
    QSKIP("hid.dll is the system's own here; .ci/windows starts the console without it");
#endif
    QTemporaryDir dir;
    qputenv("VR512B_HIDAPI_LIBRARY", dir.filePath("no-such-hid-library.so").toLocal8Bit());
    StartOptions options;
    options.settingsPath = vr512b::testing::FreshSettingsPath(dir.filePath("p.reg").toStdString());
    ModalDriver driver(Press(QMessageBox::Ok));
    const std::unique_ptr<DiagSession> session = DiagSession::Start(options);
    qunsetenv("VR512B_HIDAPI_LIBRARY");

    QVERIFY(session == nullptr);
    QCOMPARE(driver.boxes().size(), 1u);
    const SeenBox& box = driver.boxes()[0];
    QCOMPARE(box.title, QString::fromUtf8("Ошибка"));
    QCOMPARE(box.text, QString::fromUtf8("Не могу загрузить библиотеку hid.dll"));
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (QWidget* w : QApplication::topLevelWidgets()) {
      QVERIFY2(qobject_cast<TFmMain*>(w) == nullptr, "a main window was left behind");
    }
  }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
