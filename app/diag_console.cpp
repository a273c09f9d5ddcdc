#include "app/diag_console.h"

#include "common/utf8.h"
#include "device/serial_number.h"
#include "procedures/test_failure.h"

namespace vr512b {

namespace {

// Restores a flag when a scope ends, however it ends.
class FlagScope {
 public:
  explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = false; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  bool& flag_;
};

}  // namespace

DiagConsole::DiagConsole(HidLibrary& hid, Clock& clock, ConsoleView& view)
    : view_(view),
      clock_(clock),
      link_(hid, *this),
      reports_(hid, clock),
      commands_(link_, reports_, *this, clock) {}

void DiagConsole::WriteLog(std::string_view text) {
  // A text with line breaks becomes several lines; a trailing break leaves an
  // empty last line, as system error texts do.
  std::size_t start = 0;
  for (;;) {
    const std::size_t brk = text.find_first_of("\r\n", start);
    if (brk == std::string_view::npos) {
      AppendLine(text.substr(start));
      return;
    }
    AppendLine(text.substr(start, brk - start));
    start = brk + 1;
    if (text[brk] == '\r' && start < text.size() && text[start] == '\n')
      ++start;
  }
}

void DiagConsole::AppendLine(std::string_view line) {
  view_.AppendLog(line);
  if (observer_ != nullptr)
    observer_->LogLine(line);
}

bool DiagConsole::AskYesNo(const std::string& question) {
  const bool yes = view_.AskYesNo(question);
  if (hooks_ != nullptr)
    hooks_->Answered(question, yes);
  return yes;
}

void DiagConsole::ShowNotice(const std::string& text) {
  view_.ShowNotice(text);
  if (hooks_ != nullptr)
    hooks_->NoticeShown(text);
}

void DiagConsole::RequestAbort() {
  if (FBusy != 0 && hooks_ != nullptr)
    hooks_->AbortRequested();
  FBusy = 0;
}

void DiagConsole::TestStarted(const TestProcedure& test) {
  view_.TestStarted(test);
  if (observer_ != nullptr)
    observer_->TestStarted(test);
}

void DiagConsole::TestFinished(const TestProcedure& test, Verdict verdict) {
  view_.TestFinished(test, verdict);
  if (observer_ != nullptr)
    observer_->TestFinished(test, verdict);
  if (hooks_ != nullptr)
    hooks_->TestFinished(test, verdict);
}

void DiagConsole::CheckAbort() {
  view_.UpdateActions();
  view_.ProcessMessages();
  if (FBusy != 0 && hooks_ != nullptr && hooks_->AbortDue())
    RequestAbort();
  if (FBusy == 0)
    throw TestFailure(kAborted);
}

void DiagConsole::SetStatus(const TestProcedure& test, std::string_view text) {
  if (test.HasStatusCell())
    view_.SetStatus(test, text);
}

void DiagConsole::Frame(const TestProcedure& test) {
  FBusy = 1;
  FTestFailed = 0;
  if (hooks_ != nullptr)
    hooks_->TestStarting(test, commands_.random());
  TestStarted(test);
  SetStatus(test, kRunning);
  const std::string rule(Utf8Length(test.title), '-');
  WriteLog(rule);
  WriteLog(test.title);
  WriteLog(rule);
  view_.UpdateActions();

  const std::unique_ptr<TestRun> run = test.create();
  Verdict verdict = Verdict::Ok;
  auto fail = [&](Verdict failure) {
    const bool aborted = FBusy == 0;
    verdict = aborted ? Verdict::Aborted : failure;
    SetStatus(test, VerdictText(verdict));
    if (aborted) {
      // The clean-up waits for the units; its own failure must not skip the
      // closing of the units and the end of the frame.
      try {
        run->AbortCleanup(*this);
      } catch (const TestFailure&) {
      }
    }
    link_.CloseDevices();
    FBusy = 0;
    FTestFailed = 1;
  };
  try {
    CheckAbort();
    run->Body(*this);
    link_.CloseDevices();
    SetStatus(test, VerdictText(Verdict::Ok));
  } catch (const TestFailure&) {
    fail(Verdict::Failed);
  } catch (...) {
    // Not a test failure: the units are still closed and the frame ends
    // before the error reaches the window's error box.
    fail(Verdict::Error);
    WriteLog("");
    FBusy = 0;
    view_.UpdateActions();
    TestFinished(test, verdict);
    throw;
  }
  WriteLog("");
  FBusy = 0;
  view_.UpdateActions();
  TestFinished(test, verdict);
}

bool DiagConsole::RunTest(const TestProcedure& test) {
  // The monitor has no enabling rule, but no handler may start inside another
  // one's message pump: it would share and overwrite the device slots.
  if (handlerRunning_)
    return false;
  if (!test.alwaysEnabled && !CanStartTest())
    return false;
  FlagScope running(handlerRunning_);
  if (hooks_ != nullptr)
    hooks_->RunStarting(test.id);
  Frame(test);
  return true;
}

bool DiagConsole::RunByName(std::string_view name) {
  if (name == "all")
    return RunCheckAll();
  const TestProcedure* test = FindProcedure(name);
  return test != nullptr && RunTest(*test);
}

bool DiagConsole::RunCheckAll() {
  if (handlerRunning_ || !CanStartTest())
    return false;
  FlagScope running(handlerRunning_);
  if (hooks_ != nullptr)
    hooks_->RunStarting("all");
  ClearResults();
  for (const TestProcedure& test : AllProcedures()) {
    // The short-run box counts as it stands when the test's turn comes.
    if (!test.RunsInCheckAll(Parameters().ShortTest))
      continue;
    // Each test runs as its button would run it: only when its action is enabled.
    view_.UpdateActions();
    if (!CanStartTest())
      return true;
    Frame(test);
    if (FTestFailed)
      break;
  }
  return true;
}

void DiagConsole::ClearResults() {
  for (const TestProcedure& test : AllProcedures()) {
    if (test.HasStatusCell())
      view_.SetStatus(test, "");
  }
  view_.ClearLog();
}

void DiagConsole::SetRefSerialFromText(std::string_view text) {
  link_.SetRefSerial(ReferenceSerialFromText(text));
}

}  // namespace vr512b
