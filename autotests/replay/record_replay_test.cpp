// A trace recorded from any run replays to the same log: every test, Check
// all, and runs that fail, abort or get No for an answer, with both units
// answered from the trace and nothing on the command line but the tests.

#include <gtest/gtest.h>

#include <algorithm>

#include "app/console_session.h"
#include "app/diag_console.h"
#include "autotests/replay/replay_support.h"
#include "autotests/support/console_harness.h"
#include "procedures/procedure_table.h"
#include "trace/console_marks.h"
#include "trace/trace_reader.h"

namespace vr512b::replaytest {
namespace {

class RecordThenReplay : public ::testing::TestWithParam<NamedRun> {};

TEST_P(RecordThenReplay, TheReplayPrintsWhatTheRecordedRunPrinted) {
  testing::TempDir dir;
  const std::string trace = dir.File("run.pcapng");
  const RecordedRun recorded = RecordRun(dir.File("record.reg"), trace, GetParam().args);
  ASSERT_NE(recorded.run.out.find(">>>>>"), std::string::npos) << recorded.run.err;

  // Every transfer the console made is in the trace, in order.
  trace::TraceReader reader = trace::TraceReader::FromFile(trace);
  trace::Trace read;
  ASSERT_TRUE(ReadTrace(reader, read)) << reader.error();
  std::vector<Counted> traced;
  for (const trace::TraceEvent& event : read.events) {
    if (const auto* t = std::get_if<trace::TransferRecord>(&event))
      traced.push_back(
          {t->kind == trace::TransferKind::Set, t->reportId, t->length, t->error != 0});
  }
  ASSERT_EQ(traced.size(), recorded.transfers.size());
  for (std::size_t i = 0; i < traced.size(); ++i) {
    EXPECT_EQ(traced[i].set, recorded.transfers[i].set) << "transfer " << i + 1;
    EXPECT_EQ(traced[i].reportId, recorded.transfers[i].reportId) << "transfer " << i + 1;
    EXPECT_EQ(traced[i].length, recorded.transfers[i].length) << "transfer " << i + 1;
    EXPECT_EQ(traced[i].failed, recorded.transfers[i].failed) << "transfer " << i + 1;
  }

  const RunOutput replayed = ReplayRun(dir.File("replay.reg"), trace, GetParam().args);
  EXPECT_EQ(Difference(replayed.out, recorded.run.out), "");
  EXPECT_EQ(Difference(replayed.err, recorded.run.err), "");
  EXPECT_EQ(replayed.status, recorded.run.status);
}

INSTANTIATE_TEST_SUITE_P(Runs, RecordThenReplay, ::testing::ValuesIn(RecordedRuns()),
                         [](const auto& info) { return info.param.name; });

// Runs the tests named on a console of the window's kind, which keeps its
// generator from test to test, recording only around the last one.
class WindowSession {
 public:
  explicit WindowSession(const std::string& store) : session_(Options(store)) {
    const ConsoleSession::HidStart start = session_.StartHid();
    if (start.hid == nullptr)
      throw std::runtime_error(start.error);
    view_.answer = [this](const std::string& q) { return session_.Technician()->Answer(q); };
    view_.notice = [this](const std::string& n) { session_.Technician()->CarryOut(n); };
    static_cast<void>(session_.LoadParameters(view_.parameters));
    console_ = std::make_unique<DiagConsole>(*start.hid, session_.clock(), view_);
    console_->SetRefSerialFromText(view_.parameters.NameVR512BSample);
    session_.Attach(*console_);
  }
  void Run(const std::string& test) { console_->RunByName(test); }
  ConsoleSession& session() { return session_; }
  std::vector<std::string>& log() { return view_.log; }

 private:
  static SessionOptions Options(const std::string& store) {
    SessionOptions options;
    options.simulate = true;
    options.virtualTime = true;
    options.settingsPath = store;
    return options;
  }

  ConsoleSession session_;
  testing::RecordingView view_;
  std::unique_ptr<DiagConsole> console_;
};

std::vector<std::uint32_t> GeneratorStates(const std::string& path) {
  trace::TraceReader reader = trace::TraceReader::FromFile(path);
  trace::Trace read;
  EXPECT_TRUE(ReadTrace(reader, read)) << reader.error();
  std::vector<std::uint32_t> states;
  for (const trace::TraceEvent& event : read.events) {
    const auto* mark = std::get_if<trace::MarkRecord>(&event);
    const auto parsed = mark ? trace::ParseMark(mark->text) : std::nullopt;
    if (parsed && parsed->kind == trace::ConsoleMark::Kind::TestStarted)
      states.push_back(parsed->generator);
  }
  return states;
}

TEST(RecordThenReplay, ATestRecordedLateInAWindowSessionReplaysInAFreshRun) {
  // The window's second functioning test writes other configuration blocks
  // and messages than a fresh run's, since the generator went on; the trace
  // says where it stood, and the replay starts it there.
  testing::TempDir dir;
  const std::string trace = dir.File("second.pcapng");
  WindowSession window(dir.File("window.reg"));
  window.Run("func");
  const std::size_t firstRunLines = window.log().size();
  ASSERT_EQ(window.session().StartTrace(trace), "");
  window.Run("func");
  ASSERT_EQ(window.session().StopTrace(), "");
  const std::vector<std::uint32_t> states = GeneratorStates(trace);
  ASSERT_EQ(states.size(), 1u);
  EXPECT_NE(states[0], 0u) << "the generator had moved on";

  const std::vector<std::string> second(window.log().begin() + firstRunLines, window.log().end());
  const RunOutput fresh = RunRunner(dir.File("fresh.reg"), {"func"});
  std::string secondText;
  for (const std::string& line : second)
    secondText += line + "\n";
  ASSERT_NE(fresh.out, secondText) << "a fresh run writes other blocks";

  const RunOutput replayed = ReplayRun(dir.File("replay.reg"), trace, {"func"});
  EXPECT_EQ(Difference(replayed.out, secondText), "");
  EXPECT_EQ(replayed.status, 0) << replayed.err;
}

TEST(RecordThenReplay, ARecordingStoppedAndStartedAgainHoldsOnlyTheTestsInBetween) {
  testing::TempDir dir;
  WindowSession window(dir.File("window.reg"));
  ASSERT_EQ(window.session().StartTrace(dir.File("first.pcapng")), "");
  window.Run("indic");
  ASSERT_EQ(window.session().StopTrace(), "");
  window.Run("sound");
  ASSERT_EQ(window.session().StartTrace(dir.File("second.pcapng")), "");
  window.Run("func");
  window.Run("indic");
  ASSERT_EQ(window.session().StopTrace(), "");

  const auto runs = [](const std::string& path) {
    std::string error;
    VirtualClock clock;
    const auto replay = sim::TraceReplay::Load({path, {true, true}}, clock, error);
    EXPECT_NE(replay, nullptr) << error;
    return replay ? replay->Runs() : std::vector<std::string>{};
  };
  EXPECT_EQ(runs(dir.File("first.pcapng")), std::vector<std::string>({"indic"}));
  EXPECT_EQ(runs(dir.File("second.pcapng")), std::vector<std::string>({"func", "indic"}));
  const RunOutput replayed =
      ReplayRun(dir.File("replay.reg"), dir.File("second.pcapng"), {"func", "indic"});
  EXPECT_EQ(replayed.status, 0) << replayed.err;
}

}  // namespace
}  // namespace vr512b::replaytest
