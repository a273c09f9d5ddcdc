// A day at the bench, end to end, on a real X display (Xvfb, 800 × 600): the
// unit under test unplugged and plugged again on the virtual bench shows in
// the main window's status bar, Check all runs with the virtual technician,
// and the test report of that run reads back through pdftotext with every
// verdict. Screenshots of the screen with the units shown and of the
// report's first page go to $VR512B_SHOTS.

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <memory>

#include "autotests/gui/gui_test_support.h"
#include "gui/diag_session.h"
#include "gui/fm_bench.h"
#include "gui/fm_main.h"
#include "sim/virtual_bench.h"

using namespace vr512b;
using namespace vr512b::gui;
using namespace vr512b::guitest;

class BenchDay : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  QString shots_ = qEnvironmentVariable("VR512B_SHOTS", QDir::tempPath());

  void Shoot(const QString& name) {
    QScreen* screen = QGuiApplication::primaryScreen();
    QVERIFY(screen->grabWindow(0).save(QDir(shots_).filePath(name)));
  }

 private slots:
  void aDayAtTheBench() {
    qputenv("HOME", dir_.path().toLocal8Bit());
    StartOptions options;
    options.simulate = true;
    options.virtualTime = true;
    options.settingsPath = dir_.filePath("bench.reg").toStdString();
    options.historyUrl = dir_.filePath("history.sqlite").toStdString();
    const std::unique_ptr<DiagSession> session = DiagSession::Start(options);
    QVERIFY(session != nullptr);
    TFmMain& window = session->MainWindow();
    TFmBench& bench = *session->BenchWindow();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QRect free = window.screen()->availableGeometry();
    QVERIFY(free.contains(window.frameGeometry()));
    QVERIFY(free.contains(bench.frameGeometry()));

    QCheckBox* plugged = nullptr;
    for (QCheckBox* check : bench.findChildren<QCheckBox*>()) {
      if (check->text() == QString::fromUtf8("Подключено к USB") && plugged == nullptr)
        plugged = check;
    }
    QVERIFY(plugged != nullptr);
    const QString none = QString::fromUtf8("Проверяемое: нет");
    QTest::mouseClick(plugged, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(window.UnitsText().startsWith(none), 10000);
    QElapsedTimer seen;
    seen.start();
    QTest::mouseClick(plugged, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!window.UnitsText().startsWith(none), 10000);
    std::printf("[ e2e ] the plugged unit showed after %lld ms: %s\n",
                static_cast<long long>(seen.elapsed()), qPrintable(window.UnitsText()));
    QTest::qWait(300);
    Shoot(QStringLiteral("window-units.png"));

    bench.SetTechnicianAnswering(true);
    QTest::mouseClick(window.findChild<QPushButton*>("BtTestAll"), Qt::LeftButton);
    const char* const cells[] = {"STFunc",   "STIndic",    "STSound",      "STTestTR",
                                 "STTestRX", "STTestLine", "STTestTRMess", "STTestRXMess"};
    for (const char* cell : cells)
      QCOMPARE(window.findChild<QLabel*>(cell)->text(), QString("OK"));

    const QString pdf = dir_.filePath("report.pdf");
    {
      ModalDriver driver([&](QWidget* modal) {
        if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
          dialog->findChild<QLineEdit*>("fileNameEdit")->setText(pdf);
          static_cast<QDialog*>(dialog)->accept();
        }
      });
      window.findChild<QAction*>("ActSaveTestReport")->trigger();
    }
    QProcess text;
    text.start("pdftotext", {"-layout", "-enc", "UTF-8", pdf, "-"});
    QVERIFY(text.waitForFinished(60000));
    const QString report = QString::fromUtf8(text.readAllStandardOutput());
    for (const char* caption :
         {"Функционирование", "Индикация", "Звук", "Передача данных", "Прием данных", "Тест линии",
          "Передача сообщений", "Прием сообщений"}) {
      const QRegularExpression row(
          QStringLiteral("(^|\\n)%1\\s+OK\\s*\\n")
              .arg(QRegularExpression::escape(QString::fromUtf8(caption))));
      QVERIFY2(row.match(report).hasMatch(), caption);
    }
    QProcess page;
    page.start("pdftoppm", {"-png", "-r", "70", "-f", "1", "-l", "1", "-singlefile", pdf,
                            QDir(shots_).filePath("report-page")});
    QVERIFY(page.waitForFinished(60000));
    QCOMPARE(page.exitCode(), 0);
  }
};

QTEST_MAIN(BenchDay)
#include "bench_day.moc"
