#include "history/pg_socket_wait.h"

#include <algorithm>

namespace vr512b::history {

SocketWait WaitForSocket(int socket, bool forWrite, std::chrono::steady_clock::time_point deadline,
                         const volatile std::sig_atomic_t* signalCount,
                         std::sig_atomic_t signalsBefore, std::string& failure) {
  // In slices: a signal whose handler asks for restarts does not end a poll,
  // and the console's Ctrl+C on Windows comes on a thread of its own.
  constexpr auto kSlice = std::chrono::milliseconds(100);
  for (;;) {
    if (signalCount != nullptr && *signalCount != signalsBefore)
      return SocketWait::Interrupted;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0)
      return SocketWait::TimedOut;
    switch (PollSocket(socket, forWrite, std::min(left, kSlice), failure)) {
      case PollResult::Ready:
        return SocketWait::Ready;
      case PollResult::Failed:
        return SocketWait::Failed;
      case PollResult::NotYet:
        break;
    }
  }
}

}  // namespace vr512b::history
