#pragma once

// Waiting on libpq's socket, so that no wait on a server is longer than its
// bound and the program's own signals end it at once.

#include <chrono>
#include <csignal>
#include <string>

#include "history/history_waits.h"

namespace vr512b::history {

enum class SocketWait { Ready, TimedOut, Interrupted, Failed };
enum class PollResult { Ready, NotYet, Failed };

// One look at the socket, for at most `timeout` (the platform's poll).
PollResult PollSocket(int socket, bool forWrite, std::chrono::milliseconds timeout,
                      std::string& failure);

// Until `socket` is readable (or writable), the deadline passes, or
// `signalCount` is no longer `signalsBefore`. `failure` gets the system's reason of a failed wait.
SocketWait WaitForSocket(int socket, bool forWrite, std::chrono::steady_clock::time_point deadline,
                         const volatile std::sig_atomic_t* signalCount,
                         std::sig_atomic_t signalsBefore, std::string& failure);

}  // namespace vr512b::history
