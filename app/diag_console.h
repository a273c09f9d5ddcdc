#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/console_view.h"
#include "app/run_observer.h"
#include "app/trace_hooks.h"
#include "device/clock.h"
#include "device/device_link.h"
#include "device/hid_library.h"
#include "device/log_sink.h"
#include "device/report_layer.h"
#include "device/unit_commands.h"
#include "procedures/procedure_host.h"
#include "procedures/procedure_table.h"

namespace vr512b {

// The main window's run-time state and behaviour, free of any toolkit: the
// busy and failure flags, the device slots, the log writer, the abort check,
// the test frame and Check all.
class DiagConsole final : public ProcedureHost, private LogSink {
 public:
  DiagConsole(HidLibrary& hid, Clock& clock, ConsoleView& view);
  DiagConsole(const DiagConsole&) = delete;
  DiagConsole& operator=(const DiagConsole&) = delete;

  // ProcedureHost
  void WriteLog(std::string_view text) override;
  void CheckAbort() override;
  void ProcessMessages() override { view_.ProcessMessages(); }
  bool AskYesNo(const std::string& question) override;
  void ShowNotice(const std::string& text) override;
  TestParameterValues Parameters() const override {
    return parameterOverride_ ? *parameterOverride_ : view_.Parameters();
  }
  bool Busy() const override { return FBusy != 0; }
  Clock& clock() override { return clock_; }
  DeviceLink& link() override { return link_; }
  UnitCommands& commands() override { return commands_; }

  // What the window's actions do. Each returns false when it was refused: not
  // enabled, or another handler is running and would be re-entered.
  bool RunTest(const TestProcedure& test);
  bool RunByName(std::string_view name);  // a test's id, or "all" for Check all
  bool RunCheckAll();
  // Abort: the running test ends at its next CheckAbort.
  void RequestAbort();
  // Clear: every status cell and the log emptied.
  void ClearResults();

  // Enabling rules.
  bool CanStartTest() const { return FBusy == 0; }
  bool CanAbort() const { return FBusy != 0; }
  // True while a test, the monitor or Check all is running.
  bool HandlerRunning() const { return handlerRunning_; }
  // Whether the last test ended by failure or abort.
  bool TestFailed() const { return FTestFailed != 0; }

  // The reference unit's serial number, as the device link matches it.
  std::int32_t RefSerial() const { return link_.RefSerial(); }
  void SetRefSerial(std::int32_t serial) { link_.SetRefSerial(serial); }
  // From the text of the parameter NameVR512BSample, by the console's rule.
  void SetRefSerialFromText(std::string_view text);

  // Told of every log line and every test's frame from now on; null for none.
  void SetRunObserver(RunObserver* observer) { observer_ = observer; }
  // The HID trace's hooks; null for none.
  void SetTraceHooks(TraceHooks* hooks) { hooks_ = hooks; }
  // The parameters a replayed run had, in place of the view's; nothing to
  // go back to the view's.
  void SetParameterOverride(std::optional<TestParameterValues> values) {
    parameterOverride_ = std::move(values);
  }
  // The parameters as the view has them, whatever the override.
  TestParameterValues ViewParameters() const { return view_.Parameters(); }

  static constexpr const char* kRunning = "Выполняется...";

 private:
  void SetStatus(const TestProcedure& test, std::string_view text);
  void AppendLine(std::string_view line);
  void TestStarted(const TestProcedure& test);
  void TestFinished(const TestProcedure& test, Verdict verdict);
  void Frame(const TestProcedure& test);

  ConsoleView& view_;
  Clock& clock_;
  DeviceLink link_;
  ReportLayer reports_;
  UnitCommands commands_;
  RunObserver* observer_ = nullptr;
  TraceHooks* hooks_ = nullptr;
  std::optional<TestParameterValues> parameterOverride_;
  std::uint8_t FBusy = 0;
  std::uint8_t FTestFailed = 0;
  bool handlerRunning_ = false;
};

}  // namespace vr512b
