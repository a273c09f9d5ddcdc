#pragma once

#include "app/diag_console.h"
#include "app/trace_hooks.h"
#include "sim/virtual_bench.h"
#include "trace/recording_hid.h"

namespace vr512b {

// The console's side of a HID trace: its steps go to the recorder as marks
// (when a trace is being written) and are checked against the replay (when
// units answer from a recorded one), which also gives each run the
// parameters it was recorded with.
class SessionTrace final : public TraceHooks {
 public:
  SessionTrace(DiagConsole& console, trace::RecordingHid& recorder, sim::TraceReplay* replay)
      : console_(console), recorder_(recorder), replay_(replay) {}

  void RunStarting(std::string_view name) override;
  void TestStarting(const TestProcedure& test, RandomBytes& generator) override;
  void TestFinished(const TestProcedure& test, Verdict verdict) override;
  void Answered(const std::string& question, bool yes) override;
  void NoticeShown(const std::string& text) override;
  void AbortRequested() override;
  bool AbortDue() override;

 private:
  void Mark(const trace::ConsoleMark& mark);

  DiagConsole& console_;
  trace::RecordingHid& recorder_;
  sim::TraceReplay* replay_;
};

}  // namespace vr512b
