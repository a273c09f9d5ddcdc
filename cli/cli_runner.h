#pragma once

#include <csignal>
#include <iosfwd>
#include <optional>

#include "app/console_session.h"
#include "cli/cli_options.h"

namespace vr512b::cli {

// Exit statuses of the runner.
inline constexpr int kExitOk = 0;
inline constexpr int kExitTestFailed = 1;
inline constexpr int kExitAborted = 2;
inline constexpr int kExitCannotStart = 3;
// The log (stdout) or the run record (--report) could not be written whole;
// it outranks the verdicts, since a record left from an earlier run would
// otherwise pass for this one's.
inline constexpr int kExitNotWritten = 4;
inline constexpr int kExitUsage = 64;

// Why the log goes nowhere when stdout was closed at start.
inline constexpr char kClosedStdoutReason[] = "стандартный вывод закрыт";

struct CliStreams {
  std::ostream& out;  // the log
  std::ostream& err;  // questions, notices, the closing status lines
  std::istream& in;   // answers in ask mode
  // Set asynchronously (by a signal handler) to press Abort.
  const volatile std::sig_atomic_t* abortRequest = nullptr;
  // stdout was closed when the program started: the log goes nowhere.
  bool outClosed = false;
};

// Runs the tests the options name and returns the exit status. With an
// external bench (tests of the HID stack below the console), the options
// must ask for the virtual bench, whose units the console then reaches
// through the given library.
int RunCli(const CliOptions& options, CliStreams streams,
           std::optional<SessionOptions::ExternalBench> externalBench = std::nullopt);

}  // namespace vr512b::cli
