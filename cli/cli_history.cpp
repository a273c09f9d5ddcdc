#include "cli/cli_history.h"

#include <chrono>
#include <future>
#include <ostream>
#include <thread>

#include "history/console/run_record_to_history.h"
#include "history/history_commands.h"
#include "history/history_location.h"
#include "history/run_history.h"

namespace vr512b::cli {

namespace {

constexpr char kProgram[] = "vr512b-diag-cli";
constexpr int kExitNoSuchRun = 1;
// How long the run's start waits for the history's first answer: a file that
// is no history says so within milliseconds, a server that refuses within a
// round trip or two.
constexpr std::chrono::milliseconds kFileAnswersAtOnce{100};
constexpr std::chrono::milliseconds kServerAnswersAtOnce{500};

void Say(std::ostream& err, const std::string& text) {
  err << kProgram << ": " << text << '\n';
  err.flush();
}

history::LocateOutcome Locate(const CliOptions& options) {
  return history::LocateHistory(options.historyUrl, history::HistoryEnvironment::FromProcess(),
                                options.simulate);
}

}  // namespace

bool HistoryBuilt() {
  return true;
}

int RunHistoryCommand(const CliOptions& options, CliStreams streams) {
  const history::LocateOutcome located = Locate(options);
  if (!located.error.empty()) {
    Say(streams.err, located.error);
    return options.historyUrl ? kExitUsage : kExitCannotStart;
  }
  const std::unique_ptr<history::RunHistory> history =
      history::OpenRunHistory(located.location, {.signalCount = streams.abortRequest});
  if (!history) {
    Say(streams.err, std::string(options.historyUrl ? "--history" : "VR512B_HISTORY") +
                         " none: история запусков не ведется");
    return kExitCannotStart;
  }
  const history::CommandOutput output =
      options.listRuns ? history::ListRunsCommand(*history, {.unitSerial = options.unitSerial},
                                                  options.listFormat == RunListFormat::Json
                                                      ? history::ListFormat::Json
                                                      : history::ListFormat::Csv)
                       : history::ShowRunCommand(*history, options.showRun.value_or(""));
  streams.out.write(output.text.data(), static_cast<std::streamsize>(output.text.size()));
  streams.out.flush();
  if (!output.notice.empty())
    Say(streams.err, output.notice);
  if (!output.error.empty())
    Say(streams.err, output.error);
  switch (output.failure) {
    case history::CommandOutput::Failure::None:
      return kExitOk;
    case history::CommandOutput::Failure::BadRunId:
      return kExitUsage;
    case history::CommandOutput::Failure::NoSuchRun:
      return kExitNoSuchRun;
    case history::CommandOutput::Failure::Unreadable:
      break;
  }
  return kExitCannotStart;
}

struct RunHistoryRecording::State {
  explicit State(std::ostream& err) : err(err) {}
  ~State() {
    if (preparing.joinable())
      preparing.join();
  }
  // What the server's preparation found, said before the record.
  void FinishPreparing() {
    if (!preparing.joinable())
      return;
    preparing.join();
    if (!prepareProblem.empty())
      Say(err, prepareProblem);
  }
  std::ostream& err;
  std::unique_ptr<history::RunHistory> history;
  std::thread preparing;
  std::string prepareProblem;
  history::Bench bench = history::Bench::Real;
  bool recorded = false;
};

RunHistoryRecording::RunHistoryRecording(const CliOptions& options, std::ostream& err,
                                         const volatile std::sig_atomic_t* signalCount)
    : state_(std::make_unique<State>(err)) {
  state_->bench = options.simulate ? history::Bench::Virtual : history::Bench::Real;
  const history::LocateOutcome located = Locate(options);
  if (!located.error.empty()) {
    Say(err, located.error + "; запуск не будет записан в историю");
    return;
  }
  state_->history = history::OpenRunHistory(located.location, {.signalCount = signalCount});
  if (!state_->history)
    return;
  // Opened now, so that the run's end pays only for storing it, and on a
  // thread, so that the tests never wait for it: a server may keep silent
  // for its whole bound, and a large file takes a while to check before it
  // is written to.
  std::promise<void> prepared;
  std::future<void> done = prepared.get_future();
  state_->preparing = std::thread([state = state_.get(), prepared = std::move(prepared)]() mutable {
    state->prepareProblem = state->history->Prepare();
    prepared.set_value();
  });
  // A file that is no history, a folder that cannot be made, a server that
  // refuses: said at once, before the tests; anything slower with the record.
  const bool server = located.location.kind == history::HistoryKind::Postgres;
  if (done.wait_for(server ? kServerAnswersAtOnce : kFileAnswersAtOnce) ==
      std::future_status::ready)
    state_->FinishPreparing();
}

RunHistoryRecording::~RunHistoryRecording() = default;

bool RunHistoryRecording::Active() const {
  return state_->history != nullptr;
}

void RunHistoryRecording::Record(const RunRecord& record) {
  if (!state_->history || state_->recorded)
    return;
  state_->recorded = true;
  state_->FinishPreparing();
  const history::RecordOutcome outcome = state_->history->Record(
      history::ToRecordedRun(record, kProgram, state_->bench, history::NewRunId()));
  if (!outcome.message.empty())
    Say(state_->err, outcome.message);
}

}  // namespace vr512b::cli
