#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "history/pg_socket_wait.h"

namespace vr512b::history {

SocketWait WaitForSocket(int socket, bool forWrite, std::chrono::steady_clock::time_point deadline,
                         const volatile std::sig_atomic_t* signalCount,
                         std::sig_atomic_t signalsBefore, std::string& failure) {
  // In slices: a signal whose handler asks for restarts does not end poll().
  constexpr auto kSlice = std::chrono::milliseconds(100);
  for (;;) {
    if (signalCount != nullptr && *signalCount != signalsBefore)
      return SocketWait::Interrupted;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0)
      return SocketWait::TimedOut;
    pollfd waiting{socket, static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
    const int ready = ::poll(&waiting, 1, static_cast<int>(std::min(left, kSlice).count()));
    if (ready > 0)
      return SocketWait::Ready;
    if (ready < 0 && errno != EINTR) {
      failure = std::strerror(errno);
      return SocketWait::Failed;
    }
  }
}

}  // namespace vr512b::history
