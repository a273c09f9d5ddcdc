#pragma once

#include <chrono>
#include <csignal>

namespace vr512b::history {

// How long the history may keep the program waiting on a server or on a file
// another program holds, and what ends such a wait at once.
struct HistoryWaits {
  // Counts the program's SIGINT and SIGTERM (its handler adds one for each):
  // a wait ends at once when one arrives while it waits, and not for one
  // that came before (Ctrl-C that aborted the tests). None in the window,
  // whose history waits on a thread of its own.
  const volatile std::sig_atomic_t* signalCount = nullptr;
  std::chrono::milliseconds connect{5'000};
  std::chrono::milliseconds statement{15'000};
  // A SQLite file: long beside another console's record, which takes a few
  // milliseconds; short for the operator when another program holds the file.
  std::chrono::milliseconds fileLock{3'000};
};

}  // namespace vr512b::history
