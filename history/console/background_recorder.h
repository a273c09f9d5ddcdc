#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/run_record.h"
#include "history/console/history_worker.h"
#include "history/run_history.h"

namespace vr512b::history {

// Records a console's runs into a history on a thread of its own: the window
// hands a run over and goes on at once, whatever the disk or the server does.
// Runs are recorded in the order they were handed over; the destructor waits
// until every one of them is recorded (or kept, or said to be lost).
class BackgroundRecorder {
 public:
  // What became of a Prepare (`prepare`) or of one run's record.
  struct News {
    bool prepare = false;
    RecordStatus status = RecordStatus::Stored;  // Failed for a Prepare that failed
    std::string message;                         // empty when there is nothing to say
    std::string runId;                           // the run's, for a record
  };
  // Called on the recorder's thread.
  using Tell = std::function<void(const News&)>;

  // The runs of `program` ("vr512b-diag") on `bench`.
  BackgroundRecorder(std::unique_ptr<RunHistory> history, std::string program, Bench bench,
                     Tell tell);

  // Opens the history (file, or server connection) before the first run ends.
  void Prepare();
  // Records `record` under a new run id, which it returns.
  std::string Record(RunRecord record);

  // For tests: returns once everything handed over so far is done.
  void Drain() { worker_.Drain(); }

 private:
  std::string program_;
  Bench bench_;
  Tell tell_;
  HistoryWorker worker_;
};

}  // namespace vr512b::history
