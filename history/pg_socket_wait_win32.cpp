#include <winsock2.h>

#include <algorithm>

#include "history/pg_socket_wait.h"

namespace vr512b::history {

SocketWait WaitForSocket(int socket, bool forWrite, std::chrono::steady_clock::time_point deadline,
                         const volatile std::sig_atomic_t* signalCount,
                         std::sig_atomic_t signalsBefore, std::string& failure) {
  // In slices, so that the console's Ctrl+C is seen within one.
  constexpr auto kSlice = std::chrono::milliseconds(100);
  for (;;) {
    if (signalCount != nullptr && *signalCount != signalsBefore)
      return SocketWait::Interrupted;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0)
      return SocketWait::TimedOut;
    WSAPOLLFD waiting{static_cast<SOCKET>(socket), static_cast<SHORT>(forWrite ? POLLOUT : POLLIN),
                      0};
    const int ready = WSAPoll(&waiting, 1, static_cast<INT>(std::min(left, kSlice).count()));
    if (ready > 0)
      return SocketWait::Ready;
    if (ready == SOCKET_ERROR) {
      failure = "WSAPoll: " + std::to_string(WSAGetLastError());
      return SocketWait::Failed;
    }
  }
}

}  // namespace vr512b::history
