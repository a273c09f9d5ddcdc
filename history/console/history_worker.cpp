#include "history/console/history_worker.h"

namespace vr512b::history {

HistoryWorker::HistoryWorker(std::unique_ptr<RunHistory> history)
    : history_(std::move(history)), thread_([this] { Loop(); }) {}

HistoryWorker::~HistoryWorker() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void HistoryWorker::Post(Job job) {
  {
    const std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  changed_.notify_all();
}

std::size_t HistoryWorker::DropWaiting() {
  std::deque<Job> dropped;
  {
    const std::lock_guard lock(mutex_);
    dropped.swap(jobs_);
  }
  // Destroyed outside the lock: what a job holds may take its time to go.
  return dropped.size();
}

void HistoryWorker::Drain() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return jobs_.empty() && !busy_; });
}

void HistoryWorker::Loop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
    if (jobs_.empty())
      return;  // stopping, and nothing left to do
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    busy_ = true;
    lock.unlock();
    // A RunHistory never throws; a job that does must not end the program
    // with the run it was recording.
    try {
      job(*history_);
    } catch (...) {
    }
    job = nullptr;
    lock.lock();
    busy_ = false;
    changed_.notify_all();
  }
}

}  // namespace vr512b::history
