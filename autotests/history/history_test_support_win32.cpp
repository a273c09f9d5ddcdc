#include <stdexcept>
#include <thread>

#include "autotests/history/history_test_support.h"

namespace vr512b::history::testing {

// Windows has no fork: each writer is a thread, and opens the history for
// itself as a process of its own would, so SQLite's file locks still decide
// who writes when.
std::vector<int> RunInChildren(int count, const std::function<int(int)>& work) {
  std::vector<int> statuses(static_cast<std::size_t>(count), -1);
  {
    std::vector<std::jthread> writers;
    for (int i = 0; i < count; ++i) {
      writers.emplace_back([&statuses, &work, i] {
        try {
          statuses[static_cast<std::size_t>(i)] = work(i);
        } catch (...) {
          statuses[static_cast<std::size_t>(i)] = 101;
        }
      });
    }
  }
  return statuses;
}

}  // namespace vr512b::history::testing
