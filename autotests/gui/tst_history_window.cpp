// The run history in the window: every press of a test's button recorded off
// the window's thread, readable by the runner's --list-runs and --show-run
// byte for byte; a history that fails said in the status bar while the test
// keeps its verdict; and "Сервис" → "История проверок...": the table, its
// filters, the selected run's log and the CSV export.

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <memory>
#include <sstream>

#include "autotests/gui/gui_test_support.h"
#include "autotests/support/cli_in_process.h"
#include "autotests/support/test_support.h"
#include "common/unique_fd.h"
#include "gui/diag_session.h"
#include "gui/fm_bench.h"
#include "gui/fm_history.h"
#include "gui/fm_main.h"
#include "gui/log_view.h"
#include "history/run_history.h"
#include "history/sqlite_db.h"

using namespace vr512b;
using namespace vr512b::gui;
using namespace vr512b::guitest;
using namespace std::chrono;

namespace {

using vr512b::testing::CliRun;
using vr512b::testing::Lines;
using vr512b::testing::RunCliInProcess;

constexpr char kCsvHeader[] =
    "run_id,started,finished,station,unit_serial,reference_serial,test,verdict,bench";

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return "<unreadable>";
  return file.readAll();
}

void WriteAll(const QString& path, const QByteArray& content) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(content);
}

// The pane's lines as the runner prints them: each ended by "\n".
std::string Printed(const LogView& log) {
  std::string text;
  for (qsizetype i = 0; i < log.lineCount(); ++i)
    text += log.line(i).toStdString() + "\n";
  return text;
}

history::TimeMs At(int day, int hour, int minute) {
  return history::TimeMs(sys_days(2026y / 12 / day).time_since_epoch() + hours(hour) +
                         minutes(minute));
}

// A run of the history as a bench recorded it, with fixed ids and times so
// that the rows it gives are known in advance.
history::RecordedRun Run(const char* id, int day, std::int32_t unit,
                         std::vector<std::pair<const char*, std::optional<Verdict>>> tests,
                         history::Bench bench = history::Bench::Real) {
  history::RecordedRun run;
  run.runId = id;
  run.program = "vr512b-diag";
  run.programVersion = "2.0.0.3";
  run.station = "bench-1";
  run.bench = bench;
  run.started = At(day, 9, 0);
  run.finished = At(day, 9, 30);
  run.unitUnderTest = history::UnitIdentity{unit, 0x0102};
  run.referenceUnit = history::UnitIdentity{10001, 0x0103};
  int minute = 0;
  for (const auto& [test, verdict] : tests) {
    history::RecordedTest recorded;
    recorded.id = test;
    recorded.caption = std::string("Тест ") + test;
    recorded.verdict = verdict;
    recorded.started = At(day, 9, minute);
    recorded.finished = At(day, 9, minute + 1);
    recorded.log = {"----", std::string(">>>>>--") + test + "--<<<<<", "----", "шаг", ""};
    for (const std::string& line : recorded.log)
      run.log += line + "\n";
    run.tests.push_back(std::move(recorded));
    minute += 2;
  }
  return run;
}

// A PostgreSQL server that takes the connection and never answers: a
// listening socket nobody accepts on.
class SilentServer {
 public:
  explicit SilentServer(const QString& folder) : folder_(folder) {
    fd_ = UniqueFd(::socket(AF_UNIX, SOCK_STREAM, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(folder + "/.s.PGSQL.5432");
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    listening_ = fd_.get() >= 0 &&
                 ::bind(fd_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                 ::listen(fd_.get(), 16) == 0;
  }
  bool listening() const { return listening_; }
  std::string Uri() const {
    return "postgresql://bench@/history?host=" + folder_.toStdString() +
           "&port=5432&connect_timeout=120";
  }
  // Those waiting for an answer get a closed connection.
  void Close() { fd_ = UniqueFd(); }

 private:
  QString folder_;
  UniqueFd fd_;
  bool listening_ = false;
};

}  // namespace

class HistoryWindowTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  std::unique_ptr<DiagSession> session_;

  TFmMain& W() { return session_->MainWindow(); }
  QString Cell(const char* name) { return W().findChild<QLabel*>(name)->text(); }
  QString Path(const QString& name) { return dir_.filePath(name); }

  bool Start(const std::string& historyUrl) {
    StartOptions options;
    options.simulate = true;
    options.virtualTime = true;
    options.showWindows = false;
    options.settingsPath = Path(QTest::currentTestFunction() + QString(".reg")).toStdString();
    options.historyUrl = historyUrl;
    session_ = DiagSession::Start(options);
    if (session_ == nullptr || session_->BenchWindow() == nullptr)
      return false;
    // The virtual technician answers, as the runner's does.
    session_->BenchWindow()->SetTechnicianAnswering(true);
    return true;
  }

  static std::vector<history::TestRunRow> Listed(const std::string& path) {
    const auto history =
        history::OpenRunHistory({history::HistoryKind::SqliteFile, path, {}, false});
    return history->ListTestRuns({}).value;
  }

 private slots:
  // Nothing of these tests may reach the real data folder, nor the default
  // history that a spool for a server lives beside.
  void initTestCase() {
    qputenv("HOME", dir_.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", Path("data").toLocal8Bit());
  }
  void cleanup() { session_.reset(); }

  void commandLineTakesTheHistory() {
    CommandLine c =
        ParseCommandLine({"vr512b-diag", "--simulate", "--history", "postgresql://h/db"});
    QVERIFY(!c.exitCode);
    QCOMPARE(c.options.historyUrl, std::optional<std::string>("postgresql://h/db"));
    c = ParseCommandLine({"vr512b-diag", "--history"});
    QCOMPARE(c.exitCode, std::optional<int>(64));
    QVERIFY2(c.error.contains(QString::fromUtf8("--history: не указан адрес истории")),
             qPrintable(c.error));
    c = ParseCommandLine({"vr512b-diag", "--help"});
    QVERIFY(c.output.contains("--history"));
    QVERIFY(c.output.contains("VR512B_HISTORY"));
  }

  void runsFromTheWindowAreRecordedAndTheRunnerPrintsThemByteForByte() {
    const std::string history = Path("window.sqlite").toStdString();
    QVERIFY(Start(history));
    QCOMPARE(W().findChild<QLabel*>("LbHistoryPlace")->text(),
             QString::fromUtf8("История: window.sqlite"));
    QTest::mouseClick(W().findChild<QPushButton*>("BtTestFunc"), Qt::LeftButton);
    QCOMPARE(Cell("STFunc"), QString("OK"));
    QTest::mouseClick(W().findChild<QPushButton*>("BtTestIndic"), Qt::LeftButton);
    QCOMPARE(Cell("STIndic"), QString("OK"));
    QTRY_COMPARE_WITH_TIMEOUT(Listed(history).size(), std::size_t{2}, 20000);
    QCOMPARE(W().HistoryMessage(), QString());

    // --list-runs: the header, then a row per press, newest last.
    const CliRun listed = RunCliInProcess({"--simulate", "--history", history, "--list-runs"});
    QCOMPARE(listed.status, 0);
    const std::vector<std::string> rows = Lines(listed.out);
    QCOMPARE(rows.size(), std::size_t{3});
    QCOMPARE(rows[0], std::string(kCsvHeader));
    QVERIFY2(rows[1].find(",10002,,func,OK") != std::string::npos, rows[1].c_str());
    QVERIFY2(rows[2].find(",10002,,indic,OK") != std::string::npos, rows[2].c_str());
    const std::string funcRun = rows[1].substr(0, 36);
    const std::string indicRun = rows[2].substr(0, 36);
    QVERIFY(funcRun != indicRun);

    // --show-run: the two presses' logs are the pane's lines, in order.
    const CliRun func = RunCliInProcess({"--history", history, "--show-run", funcRun});
    const CliRun indic = RunCliInProcess({"--history", history, "--show-run", indicRun});
    QCOMPARE(func.status, 0);
    QCOMPARE(indic.status, 0);
    QCOMPARE(func.out.substr(0, 5), std::string("-----"));
    QCOMPARE(func.out + indic.out, Printed(W().Log()));

    // And the runner's own stdout for the same tests is the same bytes.
    const CliRun direct =
        RunCliInProcess({"--simulate", "--virtual-time", "--settings",
                         Path("direct.reg").toStdString(), "--history", "none", "func", "indic"});
    QCOMPARE(direct.status, 0);
    QCOMPARE(func.out + indic.out, direct.out);
  }

  void aHistoryThatCannotTakeTheRunIsSaidBesideItAndLeftAsItWas() {
    // Another program's file, not a database at all.
    const QString foreign = Path("notes.sqlite");
    const QByteArray notes = "Журнал стенда: не база данных\n";
    WriteAll(foreign, notes);
    QVERIFY(Start(foreign.toStdString()));
    // The history says so as the window starts...
    QTRY_VERIFY_WITH_TIMEOUT(!W().HistoryMessage().isEmpty(), 20000);
    QTest::mouseClick(W().findChild<QPushButton*>("BtTestFunc"), Qt::LeftButton);
    QCOMPARE(Cell("STFunc"), QString("OK"));
    // ... and again once the run has been tried.
    QTRY_VERIFY_WITH_TIMEOUT(W().HistoryMessage().contains(QString::fromUtf8("запуск не записан")),
                             20000);
    QVERIFY2(W().HistoryMessage().contains(foreign), qPrintable(W().HistoryMessage()));
    QCOMPARE(W().findChild<QLabel*>("LbHistoryMessage")->property("problem").toBool(), true);
    QCOMPARE(ReadAll(foreign), notes);
    QCOMPARE(QDir(dir_.path()).entryList({"notes*"}, QDir::Files), QStringList{"notes.sqlite"});
  }

  void aBadAddressLeavesTheWindowWorkingWithoutHistory() {
    QVERIFY(Start("mysql://bench/history"));
    QVERIFY2(W().HistoryMessage().startsWith(QString::fromUtf8("--history: неверный адрес")),
             qPrintable(W().HistoryMessage()));
    QCOMPARE(W().findChild<QLabel*>("LbHistoryPlace")->text(),
             QString::fromUtf8("История не ведется"));
    QVERIFY(W().findChild<QAction*>("ActHistory") == nullptr);
    QTest::mouseClick(W().findChild<QPushButton*>("BtTestFunc"), Qt::LeftButton);
    QCOMPARE(Cell("STFunc"), QString("OK"));
  }

  void aSilentServerNeverHoldsTheVerdict() {
    QDir(dir_.path()).mkdir("silent");
    SilentServer server(Path("silent"));
    QVERIFY(server.listening());
    QVERIFY(Start(server.Uri()));
    QCOMPARE(W().findChild<QLabel*>("LbHistoryPlace")->toolTip(),
             QString::fromUtf8("bench@%1:5432/history").arg(Path("silent")));
    // The recorder's thread waits for the server, which never answers; the
    // test runs and ends all the same.
    QTest::mouseClick(W().findChild<QPushButton*>("BtTestFunc"), Qt::LeftButton);
    QCOMPARE(Cell("STFunc"), QString("OK"));
    QCoreApplication::processEvents();
    QCOMPARE(W().HistoryMessage(), QString());

    // Once the connection breaks, the run waits in the spool beside the
    // default history and the status bar says so.
    server.Close();
    QTRY_VERIFY_WITH_TIMEOUT(
        W().HistoryMessage().contains(QString::fromUtf8("запуск сохранён локально")), 30000);
    QVERIFY(W().findChild<QLabel*>("LbHistoryMessage")->property("problem").toBool());
    QVERIFY(QFile::exists(Path("data/Korvex/vr512b-history-sim-spool.sqlite")));
  }

  void aFileAnotherProgramHoldsNeverHoldsTheWindow() {
    const std::string path = Path("held.sqlite").toStdString();
    QVERIFY(Start(path));
    QTest::mouseClick(W().findChild<QPushButton*>("BtTestFunc"), Qt::LeftButton);
    QCOMPARE(Cell("STFunc"), QString("OK"));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(Path("held.sqlite")), 10000);
    // As `BEGIN EXCLUSIVE` in sqlite3 holds it.
    history::SqliteDatabase other(path, SQLITE_OPEN_READWRITE);
    other.WaitForLocks({std::chrono::seconds(10)});
    other.Execute("BEGIN EXCLUSIVE");
    QTest::mouseClick(W().findChild<QPushButton*>("BtTestFunc"), Qt::LeftButton);
    QCOMPARE(Cell("STFunc"), QString("OK"));
    QTRY_VERIFY_WITH_TIMEOUT(W().HistoryMessage().contains(QString::fromUtf8(
                                 "занят другой программой, не освободился за 3 с")),
                             20000);
    QVERIFY(W().HistoryMessage().contains(QString::fromUtf8("запуск сохранён в")));
    other.Execute("ROLLBACK");
  }

  void browserListsNewestFirstAndFilters() {
    const std::string path = Path("browse.sqlite").toStdString();
    {
      const auto history =
          history::OpenRunHistory({history::HistoryKind::SqliteFile, path, {}, false});
      for (const history::RecordedRun& run :
           {Run("00000000-0000-4000-8000-000000000001", 1, 501,
                {{"func", Verdict::Ok}, {"indic", Verdict::Error}}),
            Run("00000000-0000-4000-8000-000000000002", 2, 502, {{"func", Verdict::Ok}},
                history::Bench::Virtual),
            Run("00000000-0000-4000-8000-000000000003", 3, 501,
                {{"tr", Verdict::Aborted}, {"rx", std::nullopt}})})
        QCOMPARE(history->Record(run).status, history::RecordStatus::Stored);
    }
    TFmHistory browser({history::HistoryKind::SqliteFile, path, {}, false});
    QSignalSpy shown(&browser, &TFmHistory::RowsShown);
    QTRY_COMPARE_WITH_TIMEOUT(shown.count(), 1, 20000);
    const auto tests = [&browser] {
      std::vector<std::string> ids;
      for (const history::TestRunRow& row : browser.Rows())
        ids.push_back(row.runId.substr(35) + ":" + row.test);
      return ids;
    };
    // Newest first: the runs from the last, each run's tests from its last.
    QCOMPARE(tests(), (std::vector<std::string>{"3:rx", "3:tr", "2:func", "1:indic", "1:func"}));
    QCOMPARE(browser.findChild<QLabel*>("LbStatus")->text(), QString::fromUtf8("Строк: 5"));
    auto* table = browser.findChild<QTableView*>("TvRuns");
    QCOMPARE(table->model()->data(table->model()->index(0, 5)).toString(),
             QString::fromUtf8("Тест rx"));
    // An error of the console shows as a failure does; the bench of each run beside it.
    QCOMPARE(table->model()->data(table->model()->index(3, 6)).toString(),
             QString::fromUtf8("Ошибка"));
    QCOMPARE(table->model()->headerData(7, Qt::Horizontal).toString(), QString::fromUtf8("Стенд"));
    QCOMPARE(table->model()->data(table->model()->index(2, 7)).toString(),
             QString::fromUtf8("виртуальный"));
    QCOMPARE(table->model()->data(table->model()->index(3, 7)).toString(),
             QString::fromUtf8("настоящий"));

    auto* serial = browser.findChild<QLineEdit*>("EdUnitSerial");
    serial->setText("501");
    QTest::mouseClick(browser.findChild<QPushButton*>("BtFind"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(shown.count(), 2, 20000);
    QCOMPARE(tests(), (std::vector<std::string>{"3:rx", "3:tr", "1:indic", "1:func"}));

    auto* verdict = browser.findChild<QComboBox*>("CBVerdict");
    verdict->setCurrentText(QString::fromUtf8("Ошибка"));
    QTRY_COMPARE_WITH_TIMEOUT(shown.count(), 3, 20000);
    QCOMPARE(tests(), (std::vector<std::string>{"1:indic"}));
    verdict->setCurrentText(QString::fromUtf8("Прервано"));
    QTRY_COMPARE_WITH_TIMEOUT(shown.count(), 4, 20000);
    QCOMPARE(tests(), (std::vector<std::string>{"3:tr"}));
    verdict->setCurrentText(QString::fromUtf8("Без итога"));
    QTRY_COMPARE_WITH_TIMEOUT(shown.count(), 5, 20000);
    QCOMPARE(tests(), (std::vector<std::string>{"3:rx"}));

    // A serial that is no number is said, and the rows stay as they were.
    serial->setText("50l");
    QTest::mouseClick(browser.findChild<QPushButton*>("BtFind"), Qt::LeftButton);
    QTest::qWait(300);
    QCOMPARE(shown.count(), 5);
    QVERIFY(browser.findChild<QLabel*>("LbStatus")->text().contains(QString::fromUtf8("целое")));
    QCOMPARE(tests(), (std::vector<std::string>{"3:rx"}));
  }

  void browserShowsTheSelectedRunsLog() {
    const std::string path = Path("log.sqlite").toStdString();
    const history::RecordedRun run = Run("00000000-0000-4000-8000-00000000000a", 4, 777,
                                         {{"func", Verdict::Ok}, {"sound", Verdict::Ok}});
    QCOMPARE(history::OpenRunHistory({history::HistoryKind::SqliteFile, path, {}, false})
                 ->Record(run)
                 .status,
             history::RecordStatus::Stored);
    TFmHistory browser({history::HistoryKind::SqliteFile, path, {}, false});
    QSignalSpy logShown(&browser, &TFmHistory::LogShown);
    // The newest row, selected as the list comes in, brings its run's log.
    QTRY_COMPARE_WITH_TIMEOUT(logShown.count(), 1, 20000);
    QCOMPARE(browser.ShownRunId(), run.runId);
    const auto& log = *browser.findChild<LogView*>("MmRunLog");
    QCOMPARE(Printed(log), run.log);
    QCOMPARE(log.line(1), QString::fromUtf8(">>>>>--func--<<<<<"));
    QCOMPARE(log.line(6), QString::fromUtf8(">>>>>--sound--<<<<<"));
  }

  void browserExportsTheRowsShownAsCsv() {
    const std::string path = Path("export.sqlite").toStdString();
    {
      const auto history =
          history::OpenRunHistory({history::HistoryKind::SqliteFile, path, {}, false});
      history::RecordedRun quoted =
          Run("00000000-0000-4000-8000-0000000000b1", 5, 900, {{"func", Verdict::Ok}});
      quoted.station = "Стенд \"2\", цех";
      quoted.referenceUnit.reset();
      QCOMPARE(history->Record(quoted).status, history::RecordStatus::Stored);
      QCOMPARE(history
                   ->Record(Run("00000000-0000-4000-8000-0000000000b2", 6, 901,
                                {{"line", Verdict::Failed}}))
                   .status,
               history::RecordStatus::Stored);
    }
    TFmHistory browser({history::HistoryKind::SqliteFile, path, {}, false});
    QSignalSpy shown(&browser, &TFmHistory::RowsShown);
    QTRY_COMPARE_WITH_TIMEOUT(shown.count(), 1, 20000);
    const QString csv = Path("export.csv");
    QCOMPARE(browser.ExportCsv(csv), QString());
    QCOMPARE(ReadAll(csv),
             QByteArray(kCsvHeader) + "\n" +
                 "00000000-0000-4000-8000-0000000000b2,2026-12-06T09:00:00.000Z,"
                 "2026-12-06T09:01:00.000Z,bench-1,901,10001,line,Ошибка,real\n"
                 "00000000-0000-4000-8000-0000000000b1,2026-12-05T09:00:00.000Z,"
                 "2026-12-05T09:01:00.000Z,\"Стенд \"\"2\"\", цех\",900,,func,OK,real\n");

    // Through the button and its file dialog; a file that cannot be written
    // is an error box, and the file that was there stays whole.
    const QString kept = Path("kept.csv");
    WriteAll(kept, "old rows\n");
    std::vector<SeenBox> boxes;
    {
      ModalDriver driver([&](QWidget* modal) {
        if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
          dialog->findChild<QLineEdit*>("fileNameEdit")->setText(kept);
          static_cast<QDialog*>(dialog)->accept();
          return;
        }
        Press(modal->objectName() == "ReplaceCsvBox" ? QMessageBox::Yes : QMessageBox::Ok)(modal);
      });
      // Files may grow to no more than a few bytes: the new rows cannot be
      // written, as on a full disk.
      std::signal(SIGXFSZ, SIG_IGN);
      rlimit limit{};
      QCOMPARE(::getrlimit(RLIMIT_FSIZE, &limit), 0);
      const rlimit small{16, limit.rlim_max};
      QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
      QTest::mouseClick(browser.findChild<QPushButton*>("BtExportCsv"), Qt::LeftButton);
      QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limit), 0);
      boxes = driver.boxes();
    }
    QCOMPARE(boxes.size(), std::size_t{2});
    QVERIFY(boxes[0].text.contains(QString::fromUtf8("уже существует")));
    QCOMPARE(boxes[1].icon, QMessageBox::Critical);
    QVERIFY2(boxes[1].text.startsWith(QString::fromUtf8("Не удалось сохранить историю в ")),
             qPrintable(boxes[1].text));
    QCOMPARE(ReadAll(kept), QByteArray("old rows\n"));
    QCOMPARE(QDir(dir_.path()).entryList({"*kept*"}, QDir::Files | QDir::Hidden),
             QStringList{"kept.csv"});
  }

  void menuOpensTheBrowserOnTheSessionsHistory() {
    QVERIFY(Start(Path("menu.sqlite").toStdString()));
    const QList<QAction*> service = W().menuBar()->actions()[1]->menu()->actions();
    QCOMPARE(service.back()->text(), QString::fromUtf8("История проверок..."));
    QCOMPARE(service.back()->objectName(), QString("ActHistory"));
    QTest::mouseClick(W().findChild<QPushButton*>("BtTestSound"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(Listed(Path("menu.sqlite").toStdString()).size(), std::size_t{1},
                              20000);
    // Opened in the middle of the next test, it is a window of its own:
    // the test runs on to its end and the browser stays up to be read.
    bool enabledDuringTest = false;
    W().SetPumpObserver([&] {
      if (enabledDuringTest)
        return;
      enabledDuringTest = service.back()->isEnabled();
      if (enabledDuringTest)
        service.back()->trigger();
    });
    QTest::mouseClick(W().findChild<QPushButton*>("BtTestIndic"), Qt::LeftButton);
    W().SetPumpObserver({});
    QVERIFY(enabledDuringTest);
    QCOMPARE(W().findChild<QLabel*>("STIndic")->text(), QString("OK"));
    auto* browser = W().findChild<TFmHistory*>();
    QVERIFY(browser != nullptr);
    QVERIFY(browser->isVisible());
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    QSignalSpy shown(browser, &TFmHistory::RowsShown);
    if (browser->Rows().empty())
      QVERIFY(shown.wait(20000));
    std::vector<std::string> seen;
    for (const history::TestRunRow& row : browser->Rows())
      seen.push_back(row.test + ":" + (row.verdict ? std::string(VerdictText(*row.verdict)) : "-"));
    // The list was read while the indicator test ran; that test's own run
    // is in it only when it was recorded before the list was read.
    if (seen.size() == 2)
      QCOMPARE(seen.front(), std::string("indic:OK"));
    QVERIFY(!seen.empty() && seen.size() <= 2);
    QCOMPARE(seen.back(), std::string("sound:OK"));
    // Fits the small screen the tests run on (800 × 600).
    const QRect free = browser->screen()->availableGeometry();
    QVERIFY2(free.contains(browser->geometry()), qPrintable(QString("%1,%2 %3x%4")
                                                                .arg(browser->x())
                                                                .arg(browser->y())
                                                                .arg(browser->width())
                                                                .arg(browser->height())));
    // A second press raises the same window.
    service.back()->trigger();
    QCOMPARE(W().findChildren<TFmHistory*>().size(), 1);
  }
};

QTEST_MAIN(HistoryWindowTest)
#include "tst_history_window.moc"
