#pragma once

#include <csignal>
#include <iosfwd>

#include "cli_options.h"

namespace vr512b::cli {

// Exit statuses of the runner.
inline constexpr int kExitOk = 0;
inline constexpr int kExitTestFailed = 1;
inline constexpr int kExitAborted = 2;
inline constexpr int kExitCannotStart = 3;
inline constexpr int kExitUsage = 64;

struct CliStreams {
  std::ostream& out;  // the log
  std::ostream& err;  // questions, notices, the closing status lines
  std::istream& in;   // answers in ask mode
  // Set asynchronously (by a signal handler) to press Abort.
  const volatile std::sig_atomic_t* abortRequest = nullptr;
};

// Runs the tests the options name and returns the exit status.
int RunCli(const CliOptions& options, CliStreams streams);

}  // namespace vr512b::cli
