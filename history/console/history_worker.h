#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "history/run_history.h"

namespace vr512b::history {

// One history on a thread of its own. Jobs run there one at a time, in the
// order they were posted, so that whoever posts them is never held by a
// slow disk or by a server that does not answer (which holds a call for up
// to its connect timeout). The history is used on that thread only.
class HistoryWorker {
 public:
  using Job = std::function<void(RunHistory&)>;

  // `history` is not null.
  explicit HistoryWorker(std::unique_ptr<RunHistory> history);
  // Runs every job still waiting, then ends the thread.
  ~HistoryWorker();
  HistoryWorker(const HistoryWorker&) = delete;
  HistoryWorker& operator=(const HistoryWorker&) = delete;

  void Post(Job job);
  // Forgets the jobs that have not started yet (reads nobody waits for any
  // more); returns how many there were.
  std::size_t DropWaiting();
  // Returns once every job posted before the call has run.
  void Drain();

 private:
  void Loop();

  std::unique_ptr<RunHistory> history_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> jobs_;
  bool busy_ = false;
  bool stopping_ = false;
  // Last, so that it starts once everything it uses is there.
  std::thread thread_;
};

}  // namespace vr512b::history
