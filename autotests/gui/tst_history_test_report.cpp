// "Протокол испытаний": a run of the history as an A4 PDF, read back with
// poppler's pdftotext and pdfinfo as anyone checking a printed report would;
// the window's and the history's menu items; and `vr512b-diag --test-report`
// on a history the runner wrote.

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <memory>

#include "autotests/gui/gui_test_support.h"
#include "autotests/support/cli_in_process.h"
#include "gui/diag_session.h"
#include "gui/fm_bench.h"
#include "gui/fm_history.h"
#include "gui/fm_main.h"
#include "gui/test_report.h"
#include "history/recorded_run.h"
#include "history/run_history.h"

using namespace vr512b;
using namespace vr512b::gui;
using namespace vr512b::guitest;
using namespace std::chrono_literals;

namespace {

history::TimeMs At(std::chrono::sys_seconds time) {
  return std::chrono::time_point_cast<std::chrono::milliseconds>(time);
}

// Two tests, one failed, as a run of the window would have them.
history::RecordedRun SampleRun() {
  using std::chrono::sys_days;
  const auto start = sys_days{std::chrono::year{2026} / 12 / 9} + 8h + 40min + 5s;
  history::RecordedRun run;
  run.runId = "0ff82a4c-1b3d-4e5f-8a9b-0c1d2e3f4a5b";
  run.program = "vr512b-diag";
  run.programVersion = "2.0.0.3";
  run.station = "bench-7";
  run.bench = history::Bench::Virtual;
  run.started = At(start);
  run.finished = At(start + 2min);
  run.unitUnderTest = history::UnitIdentity{4711, 0x0A03};
  run.referenceUnit = history::UnitIdentity{77, 0x0102};
  run.parameters = {{"NameVR512BSample", "77"}, {"PhoneSample", "8-495-123-45-67"}};
  run.tests.push_back({"func",
                       "Функционирование",
                       Verdict::Ok,
                       At(start),
                       At(start + 1min),
                       {">>>>>--Проверка функционирования--<<<<<", "Проверяемое УПО найдено",
                        "Проверяемое устройство закрыто", ""}});
  run.tests.push_back(
      {"tr",
       "Передача данных",
       Verdict::Failed,
       At(start + 1min),
       At(start + 2min),
       {">>>>>--Проверка передачи данных--<<<<<", "Эталонное УПО: сообщение не принято",
        "Проверяемое устройство закрыто", "Эталонное устройство закрыто", ""}});
  for (const history::RecordedTest& test : run.tests) {
    for (const std::string& line : test.log)
      run.log += line + "\r\n";
  }
  return run;
}

struct PdfRead {
  QStringList lines;  // pdftotext's, as laid out on the page
  QString info;       // pdfinfo's
};

PdfRead ReadPdf(const QString& path) {
  PdfRead read;
  QProcess text;
  text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), QStringLiteral("-enc"),
                                           QStringLiteral("UTF-8"), path, QStringLiteral("-")});
  text.waitForFinished(60000);
  read.lines = QString::fromUtf8(text.readAllStandardOutput()).split(QLatin1Char('\n'));
  for (QString& line : read.lines) {
    while (line.endsWith(QLatin1Char(' ')))
      line.chop(1);
  }
  QProcess info;
  info.start(QStringLiteral("pdfinfo"), {path});
  info.waitForFinished(60000);
  read.info = QString::fromUtf8(info.readAllStandardOutput());
  return read;
}

bool HasLineContaining(const QStringList& lines, const QString& part) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const QString& line) { return line.contains(part); });
}

// Cells of one row of a table, in their order, whatever the space between.
bool HasRow(const QStringList& lines, const QStringList& cells) {
  const QString row = cells.join(QLatin1Char(' '));
  return std::any_of(lines.begin(), lines.end(),
                     [&](const QString& line) { return line.simplified().contains(row); });
}

}  // namespace

class TestReportTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  QString Path(const QString& name) { return dir_.filePath(name); }

 private slots:
  void initTestCase() {
    // Moscow keeps UTC+3 all year: the local times below are known.
    qputenv("TZ", "Europe/Moscow");
    qputenv("HOME", dir_.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", Path("data").toLocal8Bit());
  }

  void failingLine_data() {
    QTest::addColumn<QString>("verdict");  // empty: no verdict (an unexpected error)
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QString>("expected");
    const QStringList failed = {"banner", "Эталонное УПО: нет ответа",
                                "Проверяемое устройство закрыто", "Эталонное устройство закрыто",
                                ""};
    QTest::newRow("OK") << "OK" << failed << "";
    QTest::newRow("failed") << "Ошибка" << failed << "Эталонное УПО: нет ответа";
    QTest::newRow("aborted") << "Прервано" << QStringList{"banner", "Операция прервана", ""}
                             << "Операция прервана";
    QTest::newRow("no verdict") << "" << QStringList{"banner", "сбой"} << "сбой";
    QTest::newRow("nothing of its own")
        << "Ошибка" << QStringList{"Проверяемое устройство закрыто", ""} << "";
  }
  void failingLine() {
    QFETCH(QString, verdict);
    QFETCH(QStringList, log);
    QFETCH(QString, expected);
    history::RecordedTest test;
    for (const Verdict value : {Verdict::Ok, Verdict::Failed, Verdict::Aborted}) {
      if (verdict.toStdString() == VerdictText(value))
        test.verdict = value;
    }
    for (const QString& line : log)
      test.log.push_back(line.toStdString());
    QCOMPARE(FailingLine(test), expected);
  }

  void aReportReadsBackExactly() {
    const history::RecordedRun run = SampleRun();
    const QString path = Path("report.pdf");
    QCOMPARE(WriteTestReport(run, path), QString());
    const PdfRead pdf = ReadPdf(path);
    QVERIFY2(pdf.info.contains(QStringLiteral("(A4)")), qPrintable(pdf.info));
    QVERIFY(pdf.info.contains(QStringLiteral("Протокол испытаний")));
    const QStringList& lines = pdf.lines;
    for (const char* part :
         {"Протокол испытаний", "bench-7", "виртуальный", "09.12.2026 11:40:05 (UTC+03:00)",
          "09.12.2026 11:42:05 (UTC+03:00)", "2.0.0.3", "серийный номер 4711, версия 10.3",
          "серийный номер 77, версия 1.2", "8-495-123-45-67", "Функционирование", "Передача данных",
          "Ошибка"}) {
      QVERIFY2(HasLineContaining(lines, QString::fromUtf8(part)), part);
    }
    // The failing line stands in its test's row, beside the verdict, and
    // every line of the log is there as it was printed.
    QVERIFY(HasRow(lines, {"Передача данных", "Ошибка", "Эталонное УПО: сообщение не принято"}));
    for (const history::RecordedTest& test : run.tests) {
      for (const std::string& line : test.log) {
        if (!line.empty())
          QVERIFY2(lines.contains(QString::fromStdString(line)), line.c_str());
      }
    }
  }

  void aFileThatCannotBeWrittenIsSaid() {
    const QString error = WriteTestReport(SampleRun(), Path("no-such-folder/r.pdf"));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFile::exists(Path("no-such-folder/r.pdf")));
  }

  // The runner records two tests, one of them failed; the window program
  // writes their report without a window.
  void headlessReportOfARunInTheHistory() {
    const std::string history = Path("cli.sqlite").toStdString();
    const testing::CliRun tests = testing::RunCliInProcess(
        {"--simulate", "--virtual-time", "--settings", Path("cli.reg").toStdString(), "--history",
         history, "--sim", "absent ref", "func", "tr"});
    QCOMPARE(tests.status, 1);
    const testing::CliRun listed = testing::RunCliInProcess({"--history", history, "--list-runs"});
    QCOMPARE(listed.status, 0);
    const QStringList rows = QString::fromStdString(listed.out).trimmed().split('\n');
    QCOMPARE(rows.size(), 3);  // the heading and a row a test
    const QString runId = rows[1].section(',', 0, 0);

    const auto report = [&](const QStringList& arguments) {
      QProcess process;
      process.start(QStringLiteral(VR512B_GUI_PATH), arguments);
      process.waitForFinished(120000);
      return std::make_pair(process.exitCode(), QString::fromUtf8(process.readAllStandardError()));
    };
    const QString path = Path("headless.pdf");
    const auto written =
        report({"--history", QString::fromStdString(history), "--test-report", runId, path});
    QCOMPARE(written.first, 0);
    QVERIFY2(!written.second.contains(QStringLiteral("vr512b-diag:")), qPrintable(written.second));
    const PdfRead pdf = ReadPdf(path);
    QVERIFY(pdf.info.contains(QStringLiteral("(A4)")));
    QVERIFY(HasRow(pdf.lines, {"Функционирование", "OK"}));
    QVERIFY(HasRow(pdf.lines, {"Передача данных", "Ошибка", "Не удалось открыть эталонное УПО"}));
    QVERIFY(HasLineContaining(pdf.lines, runId));

    const auto missing = report({"--history", QString::fromStdString(history), "--test-report",
                                 "00000000-0000-4000-8000-000000000000", Path("none.pdf")});
    QCOMPARE(missing.first, 1);
    QVERIFY2(missing.second.contains(QString::fromUtf8("не найден")), qPrintable(missing.second));
    QVERIFY(!QFile::exists(Path("none.pdf")));
  }

  // After a press in the window, "Сервис" offers the report of that run;
  // the history window offers it for the run it shows.
  void theWindowAndTheHistorySaveTheReport() {
    StartOptions options;
    options.simulate = true;
    options.virtualTime = true;
    options.showWindows = false;
    options.settingsPath = Path("window.reg").toStdString();
    options.historyUrl = Path("window.sqlite").toStdString();
    const std::unique_ptr<DiagSession> session = DiagSession::Start(options);
    QVERIFY(session != nullptr);
    session->BenchWindow()->SetTechnicianAnswering(true);
    TFmMain& window = session->MainWindow();
    QAction* save = window.findChild<QAction*>("ActSaveTestReport");
    QVERIFY(save != nullptr);
    QVERIFY(!save->isEnabled());
    QTest::mouseClick(window.findChild<QPushButton*>("BtTestIndic"), Qt::LeftButton);
    QVERIFY(save->isEnabled());

    const auto saveAs = [](const QString& path) {
      return [path](QWidget* modal) {
        if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
          dialog->findChild<QLineEdit*>("fileNameEdit")->setText(path);
          static_cast<QDialog*>(dialog)->accept();
        }
      };
    };
    {
      ModalDriver driver(saveAs(Path("window.pdf")));
      save->trigger();
    }
    QVERIFY(HasLineContaining(ReadPdf(Path("window.pdf")).lines, QString::fromUtf8("Индикация")));

    window.findChild<QAction*>("ActHistory")->trigger();
    auto* browser = window.findChild<TFmHistory*>();
    QVERIFY(browser != nullptr);
    auto* button = browser->findChild<QPushButton*>("BtSaveTestReport");
    QCOMPARE(button->text(), QString::fromUtf8("Сохранить протокол испытаний (PDF)..."));
    if (browser->ShownRunId().empty()) {
      QSignalSpy logShown(browser, &TFmHistory::LogShown);
      QVERIFY(logShown.wait(20000));
    }
    QVERIFY(button->isEnabled());
    {
      ModalDriver driver(saveAs(Path("history.pdf")));
      button->click();
    }
    const PdfRead fromHistory = ReadPdf(Path("history.pdf"));
    QVERIFY(fromHistory.lines.contains(QString::fromStdString(browser->ShownRunId())) ||
            HasLineContaining(fromHistory.lines, QString::fromStdString(browser->ShownRunId())));
    // The same run, the same report but for the date of its making.
    QCOMPARE(fromHistory.lines.size(), ReadPdf(Path("window.pdf")).lines.size());
  }
};

QTEST_MAIN(TestReportTest)
#include "tst_history_test_report.moc"
