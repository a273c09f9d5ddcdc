#include "gui/fm_main.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>

#include <exception>
#include <stdexcept>
#include <vector>

#include "app/diag_console.h"
#include "app/parameter_warnings.h"
#include "app/run_recorder.h"
#include "common/atomic_file.h"
#include "device/plugged_units.h"
#include "gui/ask_file_to_write.h"
#include "gui/fm_about.h"
#include "gui/gui_fonts.h"
#include "gui/log_view.h"
#include "gui/operator_stand_in.h"
#include "gui/setup_panel.h"
#include "gui/yes_no_box.h"
#include "settings/settings.h"

namespace vr512b::gui {

namespace {

constexpr int kButtonWidth = 137;
constexpr int kButtonHeight = 25;
constexpr int kCellLeft = 160;
constexpr int kCellWidth = 121;
constexpr int kCellHeight = 21;
constexpr int kLogWidth = 431;

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The test buttons stand top to bottom from here, one row apart; each status
// cell stands 2 pixels lower than its button.
constexpr int kFirstRowTop = 8;
constexpr int kRowSpacing = 32;

}  // namespace

TFmMain::TFmMain(Clock& clock, std::string settingsPath, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      clock_(clock),
      settingsPath_(std::move(settingsPath)) {
  setObjectName("FmMain");
  setWindowTitle(QStringLiteral("Программа диагностики УПО VR512B"));
  setFont(WindowFont());
  BuildActions();
  BuildMenu();
  BuildControls();
  BuildStatusBar();
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  UpdateActions();
  // The toolkit's idle time: the rules are evaluated whenever the event loop
  // runs dry, never inside a test's own message pass.
  if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance()) {
    connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &TFmMain::UpdateActions);
  }
}

TFmMain::~TFmMain() = default;

QAction* TFmMain::AddAction(const char* name, const QString& caption, Rule rule) {
  auto* action = new QAction(caption, this);
  action->setObjectName(name);
  actions_.push_back({action, rule});
  return action;
}

QAction* TFmMain::FindAction(const char* name) const {
  for (const BoundAction& bound : actions_) {
    if (bound.action->objectName() == QLatin1String(name))
      return bound.action;
  }
  return nullptr;
}

void TFmMain::BuildActions() {
  // The action list, which is also the order in which the rules are
  // evaluated: the menu's, the tests', Check all, Abort, then the tests
  // without an enabling rule.
  auto addTest = [this](const TestProcedure& test) {
    QAction* action = AddAction(test.action.c_str(), FromUtf8(test.caption),
                                test.alwaysEnabled ? Rule::None : Rule::Test);
    connect(action, &QAction::triggered, this,
            [this, &test] { RunConsoleHandler([&test](DiagConsole& c) { c.RunTest(test); }); });
  };
  connect(AddAction("ActExit", QStringLiteral("Выход"), Rule::Test), &QAction::triggered, this,
          [this] { close(); });
  connect(AddAction("ActSetupDiag", QStringLiteral("Параметры тестирования..."), Rule::Test),
          &QAction::triggered, this, [this] { Guarded([this] { ActSetupDiagExecute(); }); });
  connect(AddAction("ActSaveLog", QStringLiteral("Сохранить протокол..."), Rule::Test),
          &QAction::triggered, this, [this] { Guarded([this] { ActSaveLogExecute(); }); });
  QAction* trace =
      AddAction("ActTraceHid", QStringLiteral("Записывать обмен с УПО..."), Rule::Test);
  trace->setCheckable(true);
  // The check mark is the recording's state, which the handler sets.
  connect(trace, &QAction::triggered, this, [this] { Guarded([this] { ActTraceHidExecute(); }); });
  for (const TestProcedure& test : AllProcedures()) {
    if (!test.alwaysEnabled)
      addTest(test);
  }
  connect(AddAction("ActTestAll", QStringLiteral("Проверить все"), Rule::Test), &QAction::triggered,
          this, [this] { RunConsoleHandler([](DiagConsole& c) { c.RunCheckAll(); }); });
  connect(AddAction("ActCancel", QStringLiteral("Прервать"), Rule::Cancel), &QAction::triggered,
          this, [this] { ActCancelExecute(); });
  for (const TestProcedure& test : AllProcedures()) {
    if (test.alwaysEnabled)
      addTest(test);
  }
}

void TFmMain::BuildMenu() {
  QMenuBar* bar = menuBar();
  bar->setObjectName("MainMenu");
  bar->addAction(FindAction("ActExit"));
  QMenu* service = bar->addMenu(QStringLiteral("Сервис"));
  service->setObjectName("MnService");
  service->addAction(FindAction("ActSetupDiag"));
  service->addAction(FindAction("ActSaveLog"));
  service->addAction(FindAction("ActTraceHid"));
  auto* about = new QAction(QStringLiteral("О программе..."), this);
  about->setObjectName("MnAbout");
  connect(about, &QAction::triggered, this, [this] { Guarded([this] { MnAboutClick(); }); });
  bar->addAction(about);
  // The captions are the program's own and carry no marks: Alt with their
  // first letter opens "Сервис" and the About box all the same.
  auto* altService = new QShortcut(QKeySequence(QStringLiteral("Alt+С")), this);
  connect(altService, &QShortcut::activated, this,
          [bar, service] { bar->setActiveAction(service->menuAction()); });
  auto* altAbout = new QShortcut(QKeySequence(QStringLiteral("Alt+О")), this);
  connect(altAbout, &QShortcut::activated, about, &QAction::trigger);
}

void TFmMain::AddHistoryBrowser(std::function<void()> open) {
  openHistory_ = std::move(open);
  if (FindAction("ActHistory") != nullptr)
    return;
  // Reading the history disturbs no test: it can be opened while one runs.
  QAction* history = AddAction("ActHistory", QStringLiteral("История проверок..."), Rule::None);
  connect(history, &QAction::triggered, this, [this] {
    Guarded([this] {
      if (openHistory_)
        openHistory_();
    });
  });
  auto* service = menuBar()->findChild<QMenu*>("MnService");
  service->insertAction(nullptr, history);
  UpdateActions();
}

void TFmMain::AddTestReport(std::function<bool()> available, std::function<void()> save) {
  testReportAvailable_ = std::move(available);
  saveTestReport_ = std::move(save);
  if (FindAction("ActSaveTestReport") == nullptr) {
    QAction* report = AddAction(
        "ActSaveTestReport", QStringLiteral("Сохранить протокол испытаний (PDF)..."), Rule::Test);
    connect(report, &QAction::triggered, this, [this] {
      Guarded([this] {
        if (saveTestReport_)
          saveTestReport_();
      });
    });
    auto* service = menuBar()->findChild<QMenu*>("MnService");
    service->insertAction(nullptr, report);
  }
  UpdateActions();
}

void TFmMain::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName("StatusBar");
  bar->setSizeGripEnabled(false);
  // Labels that never widen the window, however long their text: it is
  // elided by the bar, and the whole of it is in the tool tip.
  units_ = new QLabel(bar);
  units_->setObjectName("LbUnits");
  units_->setTextFormat(Qt::PlainText);
  bar->addWidget(units_);
  unitsTimer_ = new QTimer(this);
  unitsTimer_->setInterval(kUnitsPollMs);
  connect(unitsTimer_, &QTimer::timeout, this, &TFmMain::RefreshUnits);
  historyMessage_ = new QLabel(bar);
  historyMessage_->setObjectName("LbHistoryMessage");
  historyMessage_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  historyMessage_->setTextFormat(Qt::PlainText);
  bar->addWidget(historyMessage_, 1);
  historyPlace_ = new QLabel(bar);
  historyPlace_->setObjectName("LbHistoryPlace");
  historyPlace_->setTextFormat(Qt::PlainText);
  historyPlace_->setMaximumWidth(kClientWidth / 2);
  bar->addPermanentWidget(historyPlace_);
  traceRecording_ = new QLabel(QStringLiteral("\u25CF Запись обмена"), bar);
  traceRecording_->setObjectName("LbTraceRecording");
  traceRecording_->setStyleSheet(QStringLiteral("color: #b00000;"));
  traceRecording_->setVisible(false);
  bar->addPermanentWidget(traceRecording_);
}

void TFmMain::ShowHistoryPlace(const QString& text, const QString& detail) {
  const QFontMetrics metrics(historyPlace_->font());
  historyPlace_->setText(metrics.elidedText(text, Qt::ElideMiddle, historyPlace_->maximumWidth()));
  historyPlace_->setToolTip(detail);
}

void TFmMain::ShowHistoryMessage(const QString& text, bool problem) {
  historyMessage_->setText(text);
  historyMessage_->setToolTip(text);
  historyMessage_->setProperty("problem", problem);
  historyMessage_->setStyleSheet(problem ? QStringLiteral("color: #b00000;") : QString());
}

QString TFmMain::HistoryMessage() const {
  return historyMessage_->text();
}

namespace {

QString RoleText(const std::vector<PluggedUnit>& units, TUnitRole role, const QString& name) {
  for (const PluggedUnit& unit : units) {
    if (unit.role == role) {
      return QStringLiteral("%1: %2, в. %3.%4")
          .arg(name)
          .arg(unit.serial)
          .arg(unit.version >> 8)
          .arg(unit.version & 0xFF);
    }
  }
  return QStringLiteral("%1: нет").arg(name);
}

}  // namespace

void TFmMain::RefreshUnits() {
  // A test has the units to itself; the list is looked at again after it.
  if (!console_ || console_->HandlerRunning())
    return;
  const std::optional<std::vector<PluggedUnit>> units =
      ListPluggedUnits(console_->link().hid(), console_->link().RefSerial());
  // Where the platform cannot say without opening the units, nothing is
  // shown rather than units that are not there.
  units_->setVisible(units.has_value());
  if (!units)
    return;
  units_->setText(RoleText(*units, urUnderTest, QStringLiteral("Проверяемое")) +
                  QStringLiteral(" · ") +
                  RoleText(*units, urReference, QStringLiteral("Эталонное")));
  QStringList all;
  for (const PluggedUnit& unit : *units) {
    all << (unit.role == urReference ? QStringLiteral("Эталонное УПО: ")
                                     : QStringLiteral("Проверяемое УПО: ")) +
               QString::fromStdString(PluggedUnitText(unit));
  }
  units_->setToolTip(all.isEmpty() ? QStringLiteral("УПО не подключены") : all.join('\n'));
}

QString TFmMain::UnitsText() const {
  return units_->text();
}

bool TFmMain::WatchingUnits() const {
  return unitsTimer_->isActive();
}

void TFmMain::BindButton(const char* name, const char* actionName, int left, int top) {
  QAction* action = FindAction(actionName);
  auto* button = new QPushButton(action->text(), centralWidget());
  button->setObjectName(name);
  button->setGeometry(left, top, kButtonWidth, kButtonHeight);
  button->setEnabled(action->isEnabled());
  connect(action, &QAction::changed, button, [button, action] {
    button->setText(action->text());
    button->setEnabled(action->isEnabled());
  });
  connect(button, &QPushButton::clicked, action, &QAction::trigger);
}

void TFmMain::BuildControls() {
  auto* client = new QWidget(this);
  client->setObjectName("ClientArea");
  client->setFixedSize(kClientWidth, kClientHeight);
  setCentralWidget(client);

  int top = kFirstRowTop;
  for (const TestProcedure& test : AllProcedures()) {
    if (!test.HasStatusCell())
      continue;
    BindButton(test.button.c_str(), test.action.c_str(), 8, top);
    auto* cell = new QLabel(client);
    cell->setObjectName(QString::fromStdString(test.statusCell));
    cell->setGeometry(kCellLeft, top + 2, kCellWidth, kCellHeight);
    cell->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    cell->setLineWidth(1);
    cell->setAlignment(Qt::AlignCenter);
    cell->setFont(StatusCellFont());
    cells_[test.statusCell] = cell;
    top += kRowSpacing;
  }

  auto* clear = new QPushButton(QStringLiteral("Очистить"), client);
  clear->setObjectName("BtClear");
  clear->setGeometry(8, 352, kButtonWidth, kButtonHeight);
  connect(clear, &QPushButton::clicked, this, [this] { BtClearClick(); });
  BindButton("BtTestAll", "ActTestAll", 8, 384);
  BindButton("BtAbort", "ActCancel", 8, 416);
  // The tests without a status cell share the bottom row with Abort.
  int left = 152;
  for (const TestProcedure& test : AllProcedures()) {
    if (test.HasStatusCell())
      continue;
    BindButton(test.button.c_str(), test.action.c_str(), left, 416);
    left += kButtonWidth + 7;
  }

  // BtAbort is the window's cancel button.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, [client] {
    if (auto* abort = client->findChild<QPushButton*>("BtAbort"))
      abort->click();
  });

  MmLog = new LogView(client);
  MmLog->setObjectName("MmLog");
  MmLog->setGeometry(kClientWidth - kLogWidth, 0, kLogWidth, kClientHeight);
  MmLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  MmLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  MmLog->setFont(LogFont());
  MmLog->setToolTip(QStringLiteral("Протокол проверки"));

  SFSetupDiag = new TSpeedForm(this);
  SFSetupDiag->onOk = [this] { Guarded([this] { BtOkSetDiagClick(); }); };
  SFSetupDiag->onCancel = [this] { Guarded([this] { BtCancelSetDiagClick(); }); };
  SFSetupDiag->confirmOk = [this] { return ConfirmParameters(); };
}

bool TFmMain::FormCreate(const HidLoader& loadHid) {
  Guarded([this] { LoadSettings(); });
  // The serial as loaded: a dialog the loader might show cannot change it.
  const std::string refSerialText = SFSetupDiag->Values().NameVR512BSample;
  std::string error;
  HidLibrary* hid = loadHid ? loadHid(error) : nullptr;
  if (hid == nullptr) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Ошибка"),
                    QString::fromStdString(error.empty() ? kHidLoadLibraryError : error),
                    QMessageBox::Ok);
    box.setObjectName("StartupErrorBox");
    box.exec();
    return false;
  }
  console_ = std::make_unique<DiagConsole>(*hid, clock_, *this);
  console_->SetRefSerialFromText(refSerialText);
  UpdateActions();
  RefreshUnits();
  unitsTimer_->start();
  return true;
}

void TFmMain::AppendLog(std::string_view line) {
  MmLog->appendLine(line);
}

void TFmMain::ClearLog() {
  MmLog->clear();
}

void TFmMain::SetStatus(const TestProcedure& test, std::string_view text) {
  const auto cell = cells_.find(test.statusCell);
  if (cell != cells_.end())
    cell->second->setText(FromUtf8(text));
}

bool TFmMain::AskYesNo(const std::string& question) {
  if (standIn_ != nullptr && standIn_->Answering())
    return standIn_->Answer(question);
  YesNoBox box(QMessageBox::Information, QStringLiteral("Проверка"),
               QString::fromStdString(question), this);
  // Window-modal: the main window is blocked, a bench beside it is not.
  box.setWindowModality(Qt::WindowModal);
  const bool yes = box.AskedYes();
  // A box closed by a signal was not answered; Abort is pressed already, and
  // the procedure only undoes what it showed or sounded before it stops.
  return yes && !terminating_;
}

void TFmMain::ShowNotice(const std::string& text) {
  if (standIn_ != nullptr && standIn_->Answering()) {
    standIn_->CarryOut(text);
    return;
  }
  QMessageBox box(QMessageBox::Information, QStringLiteral("Проверка"),
                  QString::fromStdString(text), QMessageBox::Ok, this);
  box.setWindowModality(Qt::WindowModal);
  box.exec();
}

void TFmMain::ProcessMessages() {
  QCoreApplication::processEvents();
  if (pumpObserver_)
    pumpObserver_();
}

void TFmMain::UpdateActions() {
  for (const BoundAction& bound : actions_) {
    bool enabled = true;
    if (bound.rule == Rule::Test)
      enabled = console_ && console_->CanStartTest();
    if (bound.rule == Rule::Cancel)
      enabled = console_ && console_->CanAbort();
    if (bound.action->objectName() == QLatin1String("ActTraceHid"))
      enabled = enabled && traceControl_ != nullptr;
    if (bound.action->objectName() == QLatin1String("ActSaveTestReport"))
      enabled = enabled && testReportAvailable_ && testReportAvailable_();
    bound.action->setEnabled(enabled);
  }
}

TestParameterValues TFmMain::Parameters() const {
  return SFSetupDiag->Values();
}

void TFmMain::TestFinished(const TestProcedure&, Verdict) {
  const DeviceLink::Identity& unit = console_->link().LastIdentity(urUnderTest);
  if (unit.known)
    lastSerial_ = unit.serial;
  // Why a unit could not be opened, where the operator can remedy it: the
  // log keeps its one line, the status bar tells the reason.
  for (const std::string& text : console_->link().hid().TakeOpenProblems()) {
    statusBar()->showMessage(QString::fromStdString(text));
  }
}

QString TFmMain::ProposedLogFileName(const QDateTime& now, std::optional<std::int32_t> serial) {
  const QString date = now.toString(QStringLiteral("yyyy-MM-dd"));
  const QString tail = serial ? QString::number(*serial) : now.toString(QStringLiteral("HH-mm-ss"));
  return QStringLiteral("протокол-%1-%2.txt").arg(date, tail);
}

QString TFmMain::SaveLog(const QString& path) const {
  AtomicFileWriter file(QFile::encodeName(path).toStdString());
  // Line by line: a log of millions of lines need not exist twice in memory.
  constexpr qsizetype kChunkBytes = 1 << 20;
  QByteArray chunk;
  const qsizetype count = MmLog->lineCount();
  for (qsizetype i = 0; i < count && file.error().empty(); ++i) {
    chunk += MmLog->line(i).toUtf8();
    chunk += "\r\n";
    if (chunk.size() >= kChunkBytes || i + 1 == count) {
      file.Write(std::string_view(chunk.constData(), static_cast<std::size_t>(chunk.size())));
      chunk.clear();
    }
  }
  return QString::fromStdString(file.Commit());
}

void TFmMain::LoadSettings() {
  // A value that cannot be read keeps what its control held; the others load.
  TestParameterValues values = SFSetupDiag->Values();
  const SettingsLoad result = LoadSettingsFrom(settingsPath_, values);
  SFSetupDiag->SetValues(values);
  loaded_ = values;
  if (!result.error.empty())
    throw std::runtime_error(result.error);
}

void TFmMain::SaveSettings() {
  // Only what the operator changed: another console may have saved the rest.
  const TestParameterValues values = SFSetupDiag->Values();
  const std::unique_ptr<RegistryStore> store = OpenSettingsStore(settingsPath_);
  vr512b::SaveSettings(*store, values, loaded_);
  loaded_ = values;
}

bool TFmMain::ConfirmParameters() {
  const std::vector<std::string> warnings = ParameterWarnings(SFSetupDiag->Values());
  if (warnings.empty())
    return true;
  QString text;
  for (const std::string& warning : warnings)
    text += QString::fromStdString(warning) + QStringLiteral("\n\n");
  text += QString::fromUtf8(kSaveAnywayQuestion);
  // Enter twice must not save what the box warns of.
  YesNoBox box(QMessageBox::Warning, SFSetupDiag->windowTitle(), text, SFSetupDiag->Dialog(),
               QMessageBox::No);
  box.setObjectName("ParameterWarningBox");
  return box.AskedYes();
}

void TFmMain::BtOkSetDiagClick() {
  if (console_)
    console_->SetRefSerialFromText(SFSetupDiag->Values().NameVR512BSample);
  SaveSettings();
}

void TFmMain::BtCancelSetDiagClick() {
  LoadSettings();
}

void TFmMain::ActCancelExecute() {
  if (console_)
    console_->RequestAbort();
}

void TFmMain::BtClearClick() {
  if (console_)
    Guarded([this] { console_->ClearResults(); });
}

void TFmMain::ActSetupDiagExecute() {
  SFSetupDiag->ShowModal();
}

void TFmMain::ActSaveLogExecute() {
  const QString path =
      AskFileToWrite(this,
                     {QStringLiteral("Сохранить протокол"), QStringLiteral("SaveLogDialog"),
                      QStringLiteral("ReplaceLogBox"), QStringLiteral("Текстовые файлы (*.txt)"),
                      QStringLiteral("txt"), QStringLiteral("Сохранить"),
                      ProposedLogFileName(QDateTime::currentDateTime(), lastSerial_)},
                     saveFolder_);
  if (path.isEmpty())
    return;
  const QString error = SaveLog(path);
  if (!error.isEmpty()) {
    throw std::runtime_error(QStringLiteral("Не удалось сохранить протокол в %1: %2")
                                 .arg(QDir::toNativeSeparators(path), error)
                                 .toStdString());
  }
}

void TFmMain::MnAboutClick() {
  TFmAbout about(this);
  about.exec();
}

void TFmMain::ShowErrorBox(const QString& message) {
  QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kAppTitle), message, QMessageBox::Ok,
                  isVisible() ? this : nullptr);
  box.setObjectName("ErrorBox");
  box.exec();
}

void TFmMain::Terminate() {
  terminating_ = true;
  if (console_ && console_->HandlerRunning())
    console_->RequestAbort();
  // The loops of the boxes and dialogs return when this pass is over; the
  // window then closes, after the test if one runs.
  if (QWidget* popup = QApplication::activePopupWidget())
    popup->close();
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* dialog = qobject_cast<QDialog*>(widget);
    if (dialog != nullptr && dialog->isVisible())
      dialog->reject();
  }
  close();
}

void TFmMain::Guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    ShowErrorBox(QString::fromUtf8(e.what()));
  }
}

void TFmMain::RunConsoleHandler(const std::function<void(DiagConsole&)>& handler) {
  if (!console_)
    return;
  // A handler started inside another one's message pump is refused; the run
  // is the outer one's.
  std::optional<RunRecorder> recorder;
  const bool outermost = !console_->HandlerRunning();
  if (runSink_ && outermost)
    recorder.emplace(*console_);
  if (outermost)
    unitsTimer_->stop();
  Guarded([&] { handler(*console_); });
  if (outermost) {
    RefreshUnits();
    unitsTimer_->start();
  }
  if (recorder) {
    recorder->Finish();
    // A press that started no test (refused) is no run.
    if (!recorder->Record().tests.empty())
      runSink_(recorder->TakeRecord());
    recorder.reset();
  }
  UpdateActions();
  ShowTraceState();
  // A close asked for during the test waited for the test to close its units.
  if (closeRequested_ && !console_->HandlerRunning()) {
    closeRequested_ = false;
    close();
  }
}

bool TFmMain::ConfirmCloseDuringTest() {
  YesNoBox box(QMessageBox::Question, QString::fromUtf8(kAppTitle),
               QString::fromUtf8(kCloseDuringTestQuestion), this, QMessageBox::No);
  box.setObjectName("CloseDuringTestBox");
  box.setWindowModality(Qt::WindowModal);
  return box.AskedYes();
}

void TFmMain::closeEvent(QCloseEvent* event) {
  if (console_ && console_->HandlerRunning()) {
    event->ignore();
    // Asked once: a second close while the box is up, or after Yes, waits
    // for the first. The end of the session does not ask, and ends a box
    // that is up as if it had been answered "Да".
    if (closeRequested_ || closeAsked_)
      return;
    if (!terminating_) {
      closeAsked_ = true;
      const bool yes = ConfirmCloseDuringTest();
      closeAsked_ = false;
      if (!yes && !terminating_)
        return;
    }
    closeRequested_ = true;
    console_->RequestAbort();
    return;
  }
  StopTrace();
  event->accept();
  emit Closed();
}

}  // namespace vr512b::gui
