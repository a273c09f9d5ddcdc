#include <winsock2.h>

#include "history/pg_socket_wait.h"

namespace vr512b::history {

PollResult PollSocket(int socket, bool forWrite, std::chrono::milliseconds timeout,
                      std::string& failure) {
  WSAPOLLFD waiting{static_cast<SOCKET>(socket), static_cast<SHORT>(forWrite ? POLLOUT : POLLIN),
                    0};
  const int ready = WSAPoll(&waiting, 1, static_cast<INT>(timeout.count()));
  if (ready > 0)
    return PollResult::Ready;
  if (ready == SOCKET_ERROR) {
    failure = "WSAPoll: " + std::to_string(WSAGetLastError());
    return PollResult::Failed;
  }
  return PollResult::NotYet;
}

}  // namespace vr512b::history
