#pragma once

#include <QMainWindow>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/console_view.h"
#include "app/run_record.h"
#include "procedures/test_parameters.h"

class QAction;
class QDateTime;
class QLabel;
class QTimer;

namespace vr512b {
class Clock;
class DiagConsole;
class HidLibrary;
class TraceControl;
}  // namespace vr512b

namespace vr512b::gui {

class LogView;
class OperatorStandIn;
class TSpeedForm;

// The application title, caption of the standard error box.
inline constexpr char kAppTitle[] = "Диагностика VR512B";
// Asked when the window is closed while a test runs; "Да" aborts the test as
// "Прервать" does and closes the window once its units are closed.
inline constexpr char kCloseDuringTestQuestion[] =
    "Выполняется проверка. Прервать её и закрыть программу?";

// The main window: the test buttons with their status cells, the log, the
// menu, the action list with its enabling rules, and the hidden parameters
// panel. The console core behind it runs every test synchronously inside the
// slot of the button that started it.
class TFmMain final : public QMainWindow, public ConsoleView {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 727;
  static constexpr int kClientHeight = 463;

  // Gives the HID library, or null with the start-up error text in `error`.
  using HidLoader = std::function<HidLibrary*(std::string& error)>;

  TFmMain(Clock& clock, std::string settingsPath, QWidget* parent = nullptr);
  ~TFmMain() override;

  // Loads the parameters (an unreadable value is shown in the error box and
  // start-up goes on), converts the reference serial number and takes the HID
  // library. Returns false after the start-up error box: the window must then
  // not be shown.
  bool FormCreate(const HidLoader& loadHid);

  void SetStandIn(OperatorStandIn* standIn) { standIn_ = standIn; }
  // Who records the HID trace that "Записывать обмен с УПО..." starts and
  // stops; without one the menu item stays disabled.
  void SetTraceControl(TraceControl* control);
  // Starts recording to `path`, as the menu item does once a file is chosen;
  // a file that cannot be written is said in the error box. True when the
  // recording started.
  bool StartTrace(const QString& path);
  // Called after each pass over the window messages a test makes.
  void SetPumpObserver(std::function<void()> observer) { pumpObserver_ = std::move(observer); }

  // Given the record of every run: what one press of a test's button or of
  // "Проверить все" did, from the press to the verdict. Null for none.
  using RunSink = std::function<void(RunRecord record)>;
  void SetRunSink(RunSink sink) { runSink_ = std::move(sink); }
  // Adds "История проверок..." to the menu "Сервис", after "Сохранить
  // протокол...", enabled while a test runs too; `open` shows the history.
  void AddHistoryBrowser(std::function<void()> open);
  // Adds "Сохранить протокол испытаний (PDF)..." after it, enabled between
  // tests once `available` says there is a run to report on; `save` asks
  // for the file and writes it.
  void AddTestReport(std::function<bool()> available, std::function<void()> save);

  // The status bar: where the runs are recorded (always shown, on the
  // right), and what the last record had to say (on the left; a problem
  // stands out and stays until the next record goes well).
  void ShowHistoryPlace(const QString& text, const QString& detail);
  void ShowHistoryMessage(const QString& text, bool problem);

  // The units plugged in, as the status bar shows them between tests: the
  // platform's list is looked at once a second (nothing is opened), never
  // while a test runs; a plug or unplug shows within that second.
  static constexpr int kUnitsPollMs = 1000;
  void RefreshUnits();
  QString UnitsText() const;
  bool WatchingUnits() const;
  QString HistoryMessage() const;

  // Null until FormCreate has succeeded.
  DiagConsole* Console() const { return console_.get(); }
  TSpeedForm& SetupPanel() const { return *SFSetupDiag; }
  LogView& Log() const { return *MmLog; }
  const std::string& SettingsPath() const { return settingsPath_; }

  // ConsoleView
  void AppendLog(std::string_view line) override;
  void ClearLog() override;
  void SetStatus(const TestProcedure& test, std::string_view text) override;
  bool AskYesNo(const std::string& question) override;
  void ShowNotice(const std::string& text) override;
  void ProcessMessages() override;
  void UpdateActions() override;
  TestParameterValues Parameters() const override;
  void TestFinished(const TestProcedure& test, Verdict verdict) override;

  // The name "Сохранить протокол..." proposes: the date and the serial number
  // of the unit under test as last read, or the date and time without one.
  static QString ProposedLogFileName(const QDateTime& now, std::optional<std::int32_t> serial);
  // Writes the log as the pane holds it (UTF-8, CR LF after every line) to
  // `path` in one step. Returns an error text, empty on success.
  QString SaveLog(const QString& path) const;

  // Handlers outside the test frame; each may throw, the slots show the error.
  void LoadSettings();
  void SaveSettings();
  void BtOkSetDiagClick();
  void BtCancelSetDiagClick();
  // Before OK saves: the warnings of ParameterWarnings in a box that asks
  // whether to save all the same; true when there are none or the operator
  // says Yes.
  bool ConfirmParameters();

  // The standard error box: caption the application title, error icon.
  void ShowErrorBox(const QString& message);

  // SIGINT or SIGTERM: as an operator who presses Abort, closes every box and
  // dialog as with Cancel, and then the window. A running test ends
  // "Прервано" and closes its units first; the window closes after it.
  void Terminate();

 signals:
  // The window has accepted its close; the application ends with it.
  void Closed();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  enum class Rule { Test, Cancel, None };
  struct BoundAction {
    QAction* action;
    Rule rule;
  };

  void BuildControls();
  void BuildActions();
  void BuildMenu();
  void BuildStatusBar();
  QAction* AddAction(const char* name, const QString& caption, Rule rule);
  QAction* FindAction(const char* name) const;
  void BindButton(const char* name, const char* actionName, int left, int top);

  // Runs a handler the way the toolkit would: a failure goes to the error box.
  void Guarded(const std::function<void()>& handler);
  void RunConsoleHandler(const std::function<void(DiagConsole&)>& handler);
  void ActCancelExecute();
  void BtClearClick();
  void ActSetupDiagExecute();
  void ActSaveLogExecute();
  void ActTraceHidExecute();
  void StopTrace();
  // The menu item's check mark follows whether a trace is being written; a
  // recording that stopped on its own says why.
  void ShowTraceState();
  void MnAboutClick();
  bool ConfirmCloseDuringTest();

  Clock& clock_;
  std::string settingsPath_;
  // The parameters as last loaded or saved: what the operator changed since
  // is what the next save writes.
  TestParameterValues loaded_;
  std::unique_ptr<DiagConsole> console_;
  std::vector<BoundAction> actions_;
  std::map<std::string, QLabel*, std::less<>> cells_;  // by status cell
  LogView* MmLog = nullptr;
  TSpeedForm* SFSetupDiag = nullptr;
  OperatorStandIn* standIn_ = nullptr;
  TraceControl* traceControl_ = nullptr;
  std::function<void()> pumpObserver_;
  RunSink runSink_;
  std::function<void()> openHistory_;
  std::function<bool()> testReportAvailable_;
  std::function<void()> saveTestReport_;
  QLabel* historyMessage_ = nullptr;
  QLabel* historyPlace_ = nullptr;
  QLabel* traceRecording_ = nullptr;
  QLabel* units_ = nullptr;
  QTimer* unitsTimer_ = nullptr;  // shown while a trace is being written
  bool closeRequested_ = false;
  bool closeAsked_ = false;
  bool terminating_ = false;
  // The tests close the units, and a failed open forgets who was there; the
  // proposed file name wants the last unit under test that was identified.
  std::optional<std::int32_t> lastSerial_;
  QString saveFolder_;
};

}  // namespace vr512b::gui
