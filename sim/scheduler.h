#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <utility>

namespace vr512b::sim {

// The bench's own time line. Nothing runs by itself: whoever looks at the bench
// first brings it up to the clock with RunUntil, which plays the due actions in
// time order (equal times in the order they were scheduled). That keeps the
// model identical on a real clock and on a virtual one.
class Scheduler {
 public:
  explicit Scheduler(std::int64_t start) : now_(start) {}

  std::int64_t Now() const { return now_; }

  void At(std::int64_t time, std::function<void()> action) {
    queue_.emplace(std::max(time, now_), std::move(action));
  }
  void After(std::int64_t delay, std::function<void()> action) {
    At(now_ + delay, std::move(action));
  }

  void RunUntil(std::int64_t time) {
    while (!queue_.empty() && queue_.begin()->first <= time) {
      auto due = queue_.extract(queue_.begin());
      now_ = std::max(now_, due.key());
      due.mapped()();
    }
    now_ = std::max(now_, time);
  }

 private:
  std::multimap<std::int64_t, std::function<void()>> queue_;
  std::int64_t now_;
};

}  // namespace vr512b::sim
