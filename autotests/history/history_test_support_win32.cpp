#include <filesystem>
#include <random>
#include <stdexcept>
#include <thread>

#include "autotests/history/history_test_support.h"

namespace vr512b::history::testing {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::random_device entropy;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate =
        fs::temp_directory_path() / ("vr512b-history." + std::to_string(entropy()));
    std::error_code error;
    if (fs::create_directory(candidate, error)) {
      path_ = candidate.string();
      return;
    }
    if (error)
      throw std::runtime_error("create_directory " + candidate.string() + ": " + error.message());
  }
  throw std::runtime_error("no free name for a temporary folder");
}

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
