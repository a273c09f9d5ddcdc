#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "device/clock.h"
#include "device/hid_library.h"
#include "device/random_bytes.h"
#include "sim/bench_config.h"
#include "trace/console_marks.h"
#include "trace/trace_reader.h"

namespace vr512b::sim {

// A recorded HID trace played back. The units of the replayed roles answer
// from it transfer by transfer: a GET gets the recorded bytes (or the
// recorded failure), a SET must carry the recorded bytes. The console's own
// steps (runs with their parameters, tests with the generator's state,
// answers, notices, Abort) must come where the trace has them too. The first
// step that differs is a divergence: it is explained once, fails the transfer
// it happened at with SystemError::TraceMismatch, and so does every replayed
// transfer after it.
//
// Times follow the trace: at each test's start the replay takes the offset
// between the console's clock and the recorded one, and before and after each
// transfer it lets the clock catch up with the recorded time, so that waits
// and time-outs end where they ended.
//
// Abort pressed where the recorded run had none (a signal, the window's
// button) is no divergence: it ends every wait of the replay at once, and the
// replay stops comparing. The run ends as an interrupted one.
class TraceReplay {
 public:
  using Parameters = std::vector<std::pair<std::string, std::string>>;

  // Reads the whole trace; null, with a message in `error`, when it cannot be
  // replayed.
  static std::unique_ptr<TraceReplay> Load(const ReplaySetup& setup, Clock& clock,
                                           std::string& error);

  const std::string& Path() const { return path_; }
  bool Replays(TUnitRole role) const { return roles_[role]; }
  // The runs the trace holds, in order: test ids, "all" for Check all.
  std::vector<std::string> Runs() const;
  const trace::TraceInfo& Info() const { return trace_.info; }
  // Why the roles asked for cannot replay this trace: with one role
  // replayed, the tests in which the recorded console used the other unit as
  // well (the data tests, whose units talk over the line) cannot succeed
  // against a live unit. Empty when they can.
  std::string OneRoleProblem() const;

  // The unit the recorded console opened as `role` at this point of the
  // trace, or null: then the unit was not there to be opened.
  const trace::UnitIdentity* UnitToOpen(TUnitRole role);
  // The feature-report transfers of a replayed unit, as the HID library's.
  FeatureBytes GetFeature(TUnitRole role, std::uint8_t* report, std::size_t length);
  FeatureBytes SetFeature(TUnitRole role, const std::uint8_t* report, std::size_t length);

  // The console's steps. RunStarting gives the parameters the run had.
  std::optional<Parameters> RunStarting(std::string_view name);
  void TestStarting(std::string_view id, RandomBytes& generator);
  void TestFinished(std::string_view id, std::string_view verdict);
  // What the operator answered to the question that comes next, if the trace
  // is there; asking does not move the replay on.
  std::optional<bool> RecordedAnswer(const std::string& question);
  void Answered(const std::string& question, bool yes);
  void NoticeShown(const std::string& text);
  // Whether Abort was pressed at this point of the recorded run.
  bool AbortDue();
  void AbortRequested();
  // The console has run all it will: what the trace holds beyond is a
  // divergence too.
  void Finish();

  bool Diverged() const { return diverged_; }
  // Asked during the waits for recorded time: true when Abort has been
  // pressed meanwhile, which ends the wait.
  void SetAbortCheck(std::function<bool()> pressed) { abortPressed_ = std::move(pressed); }
  // Called with the explanation of the first divergence.
  void SetDivergenceReport(std::function<void(const std::string&)> report) {
    report_ = std::move(report);
  }

 private:
  // Only Load makes replays; the key lets it use make_unique.
  struct Key {
    explicit Key() = default;
  };

 public:
  TraceReplay(Key, std::string path, std::array<bool, 2> roles, Clock& clock, trace::Trace trace);

 private:
  struct Step {
    std::size_t event = 0;  // index in trace_.events
    std::optional<trace::ConsoleMark> mark;
  };
  // The next event the console must meet, skipping units, notes and the
  // transfers of units that are not replayed; nothing at the end.
  std::optional<Step> NextStep();
  // The next step when it is the mark wanted (which `same` may check
  // further), consumed; otherwise a divergence.
  std::optional<Step> ExpectMark(trace::ConsoleMark::Kind kind, const std::string& console,
                                 const std::function<bool(const trace::ConsoleMark&)>& same);
  // `sent` for a SET, `received` for a GET.
  FeatureBytes Transfer(TUnitRole role, trace::TransferKind kind, std::uint8_t reportId,
                        std::size_t length, std::span<const std::uint8_t> sent,
                        std::uint8_t* received);
  void Diverge(const std::string& console, const std::optional<Step>& step);
  std::string Describe(const std::optional<Step>& step) const;
  std::optional<TUnitRole> RoleOf(trace::UnitId unit) const;
  void CatchUp(std::int64_t recordedMs);
  bool Stopped() const { return diverged_ || interrupted_; }

  std::string path_;
  std::array<bool, 2> roles_;
  Clock& clock_;
  trace::Trace trace_;
  std::vector<std::size_t> transferNumbers_;  // per event: its number among the transfers
  std::size_t position_ = 0;                  // the first event not yet passed
  std::int64_t offsetMs_ = 0;                 // recorded time less the console's
  bool diverged_ = false;
  bool interrupted_ = false;
  std::function<void(const std::string&)> report_;
  std::function<bool()> abortPressed_;
};

}  // namespace vr512b::sim
