#include "history/console/background_recorder.h"

#include <exception>

#include "history/console/run_record_to_history.h"

namespace vr512b::history {

BackgroundRecorder::BackgroundRecorder(std::unique_ptr<RunHistory> history, std::string program,
                                       Bench bench, Tell tell)
    : program_(std::move(program)),
      bench_(bench),
      tell_(std::move(tell)),
      worker_(std::move(history)) {}

void BackgroundRecorder::Prepare() {
  worker_.Post([this](RunHistory& history) {
    const std::string error = history.Prepare();
    tell_({true, error.empty() ? RecordStatus::Stored : RecordStatus::Failed, error, {}});
  });
}

std::string BackgroundRecorder::Record(RunRecord record) {
  std::string runId = NewRunId();
  // The record is moved along, so that a long log is never copied on the
  // window's thread.
  worker_.Post([this, runId, record = std::move(record)](RunHistory& history) mutable {
    News news{false, RecordStatus::Failed, {}, runId};
    try {
      const RecordOutcome outcome =
          history.Record(ToRecordedRun(std::move(record), program_, bench_, runId));
      news.status = outcome.status;
      news.message = outcome.message;
    } catch (const std::exception& error) {
      news.message = std::string("запуск не записан в историю: ") + error.what();
    }
    tell_(news);
  });
  return runId;
}

}  // namespace vr512b::history
