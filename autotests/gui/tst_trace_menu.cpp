// "Сервис" → "Записывать обмен с УПО..." and --trace: the recording started
// and stopped from the menu, its check mark, and the error box for a trace
// that cannot be written, at the start or half-way.

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <csignal>
#include <memory>

#include "autotests/gui/gui_test_support.h"
#include "gui/diag_session.h"
#include "gui/fm_bench.h"
#include "gui/fm_main.h"
#include "trace/console_marks.h"
#include "trace/trace_reader.h"

using namespace vr512b;
using namespace vr512b::gui;
using namespace vr512b::guitest;

namespace {

struct ReadBack {
  bool whole = false;
  std::size_t transfers = 0;
  std::vector<std::string> runs;
};

ReadBack Read(const QString& path) {
  trace::TraceReader reader = trace::TraceReader::FromFile(path.toStdString());
  trace::Trace read;
  ReadBack back;
  back.whole = ReadTrace(reader, read);
  for (const trace::TraceEvent& event : read.events) {
    back.transfers += std::holds_alternative<trace::TransferRecord>(event);
    const auto* mark = std::get_if<trace::MarkRecord>(&event);
    const auto parsed = mark ? trace::ParseMark(mark->text) : std::nullopt;
    if (parsed && parsed->kind == trace::ConsoleMark::Kind::Run)
      back.runs.push_back(parsed->name);
  }
  return back;
}

}  // namespace

class TraceMenuTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  std::unique_ptr<DiagSession> session_;

  TFmMain& W() { return session_->MainWindow(); }
  QAction* Action(const char* name) { return W().findChild<QAction*>(name); }
  // The status bar's sign that a trace is being written.
  bool IndicatorShown() { return !W().findChild<QLabel*>("LbTraceRecording")->isHidden(); }

  void Start(std::optional<std::string> tracePath = std::nullopt,
             std::vector<SeenBox>* boxes = nullptr) {
    StartOptions options;
    options.simulate = true;
    options.virtualTime = true;
    options.showWindows = false;
    options.settingsPath =
        vr512b::testing::FreshSettingsPath(dir_.filePath("bench.reg").toStdString());
    options.tracePath = std::move(tracePath);
    ModalDriver driver(Press(QMessageBox::Ok));
    session_ = DiagSession::Start(options);
    QVERIFY(session_ != nullptr);
    // The questions of the tests go to the bench's technician.
    session_->BenchWindow()->SetTechnicianAnswering(true);
    if (boxes != nullptr)
      *boxes = driver.boxes();
  }

  // Triggers the menu item; its file dialog, if one comes, is given `path`.
  std::vector<SeenBox> TriggerTrace(const QString& path = QString()) {
    ModalDriver driver([&](QWidget* modal) {
      if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText(path);
        static_cast<QDialog*>(dialog)->accept();
        return;
      }
      Press(QMessageBox::Ok)(modal);
    });
    Action("ActTraceHid")->trigger();
    return driver.boxes();
  }

 private slots:
  void initTestCase() { qputenv("HOME", dir_.path().toLocal8Bit()); }
  void cleanup() { session_.reset(); }

  void theMenuStartsAndStopsARecordingAndShowsIt() {
    Start();
    QAction* trace = Action("ActTraceHid");
    QCOMPARE(trace->text(), QString::fromUtf8("Записывать обмен с УПО..."));
    QVERIFY(trace->isCheckable());
    QVERIFY(trace->isEnabled());
    QVERIFY(!trace->isChecked());
    QVERIFY(!IndicatorShown());

    Action("ActTestIndic")->trigger();  // before the recording: not in the trace
    const QString path = dir_.filePath("menu.pcapng");
    QVERIFY(TriggerTrace(path).empty());
    QVERIFY(trace->isChecked());
    QVERIFY(IndicatorShown());
    QVERIFY(W().findChild<QLabel*>("LbTraceRecording")
                ->toolTip()
                .contains(QDir::toNativeSeparators(path)));
    bool enabledDuringTest = true;
    W().SetPumpObserver([&] { enabledDuringTest = enabledDuringTest && trace->isEnabled(); });
    Action("ActTestFunc")->trigger();
    W().SetPumpObserver({});
    QVERIFY2(!enabledDuringTest, "no recording starts or stops inside a test");
    QVERIFY(trace->isChecked());

    QVERIFY(TriggerTrace().empty());  // stops at once, without a dialog
    QVERIFY(!trace->isChecked());
    QVERIFY(!IndicatorShown());
    const ReadBack back = Read(path);
    QVERIFY(back.whole);
    QCOMPARE(back.runs, std::vector<std::string>{"func"});
    QVERIFY(back.transfers > 400);
  }

  void traceOnTheCommandLineRecordsFromTheStart() {
    const QString path = dir_.filePath("start.pcapng");
    Start(path.toStdString());
    QVERIFY(Action("ActTraceHid")->isChecked());
    Action("ActTestIndic")->trigger();
    session_.reset();  // closing the console closes the trace
    const ReadBack back = Read(path);
    QVERIFY(back.whole);
    QCOMPARE(back.runs, std::vector<std::string>{"indic"});
  }

  void aTraceThatCannotBeCreatedIsSaidAndTheConsoleStarts() {
    const QString path = dir_.filePath("no-such-folder/start.pcapng");
    std::vector<SeenBox> boxes;
    Start(path.toStdString(), &boxes);
    QCOMPARE(boxes.size(), std::size_t{1});
    QCOMPARE(boxes[0].title, QString::fromUtf8(kAppTitle));
    QCOMPARE(boxes[0].text, QString::fromUtf8("Запись обмена с УПО не начата: Не могу создать файл "
                                              "трассы %1: No such file or directory")
                                .arg(path));
    QVERIFY(!Action("ActTraceHid")->isChecked());
    QVERIFY(Action("ActTraceHid")->isEnabled());

    // From the menu, likewise.
    boxes = TriggerTrace(path);
    QCOMPARE(boxes.size(), std::size_t{1});
    QVERIFY(boxes[0].text.startsWith(QString::fromUtf8("Запись обмена с УПО не начата: ")));
    QVERIFY(!Action("ActTraceHid")->isChecked());
  }

  void aTraceThatStopsBeingWrittenIsSaidAfterTheTest() {
#ifdef _WIN32
    QSKIP("a file size limit is a POSIX resource limit; Windows has no such limit to set");
#else
    Start();
    const QString path = dir_.filePath("full.pcapng");
    QVERIFY(TriggerTrace(path).empty());
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 50000;
    setrlimit(RLIMIT_FSIZE, &limited);
    std::vector<SeenBox> boxes;
    {
      ModalDriver driver(Press(QMessageBox::Ok));
      Action("ActTestFunc")->trigger();
      boxes = driver.boxes();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    QCOMPARE(W().findChild<QLabel*>("STFunc")->text(), QString("OK"));
    QCOMPARE(boxes.size(), std::size_t{1});
    QCOMPARE(boxes[0].text,
             QString::fromUtf8("Запись обмена с УПО прервана: Трасса %1: не могу записать файл: "
                               "File too large")
                 .arg(path));
    QVERIFY(!Action("ActTraceHid")->isChecked());
    QVERIFY(!IndicatorShown());
    QVERIFY(!Read(path).whole);
#endif
  }
};

QTEST_MAIN(TraceMenuTest)
#include "tst_trace_menu.moc"
