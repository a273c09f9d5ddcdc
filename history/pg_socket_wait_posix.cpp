#include <poll.h>

#include <cerrno>
#include <cstring>

#include "history/pg_socket_wait.h"

namespace vr512b::history {

PollResult PollSocket(int socket, bool forWrite, std::chrono::milliseconds timeout,
                      std::string& failure) {
  pollfd waiting{socket, static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
  const int ready = ::poll(&waiting, 1, static_cast<int>(timeout.count()));
  if (ready > 0)
    return PollResult::Ready;
  if (ready < 0 && errno != EINTR) {
    failure = std::strerror(errno);
    return PollResult::Failed;
  }
  return PollResult::NotYet;
}

}  // namespace vr512b::history
