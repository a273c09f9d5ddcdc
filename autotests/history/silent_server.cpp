#include "autotests/history/silent_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

namespace vr512b::history::testing {

SilentServer::SilentServer(const std::string& folder, std::function<void(pid_t)> onConnection)
    : folder_(folder), listener_(::socket(AF_UNIX, SOCK_STREAM, 0)) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = folder + "/.s.PGSQL.5432";
  if (path.size() >= sizeof(address.sun_path))
    throw std::runtime_error("socket path too long: " + path);
  path.copy(address.sun_path, path.size());
  int pipeEnds[2];
  if (::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      ::listen(listener_.get(), 8) != 0 || ::pipe(pipeEnds) != 0)
    throw std::runtime_error("silent server: cannot listen on " + path);
  stop_[0] = UniqueFd(pipeEnds[0]);
  stop_[1] = UniqueFd(pipeEnds[1]);
  thread_ = std::thread([this, onConnection = std::move(onConnection)] {
    std::vector<UniqueFd> taken;  // kept open, unanswered, until the end
    for (;;) {
      pollfd waiting[2] = {{listener_.get(), POLLIN, 0}, {stop_[0].get(), POLLIN, 0}};
      if (::poll(waiting, 2, -1) < 0 || waiting[1].revents != 0)
        return;
      taken.emplace_back(::accept(listener_.get(), nullptr, nullptr));
      ++connections_;
      ucred peer{};
      socklen_t size = sizeof(peer);
      if (onConnection &&
          ::getsockopt(taken.back().get(), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0)
        onConnection(peer.pid);
    }
  });
}

SilentServer::~SilentServer() {
  [[maybe_unused]] const auto written = ::write(stop_[1].get(), "x", 1);
  thread_.join();
}

std::string SilentServer::Uri(const std::string& password, const std::string& extra) const {
  return "postgresql://vr" + (password.empty() ? std::string() : ":" + password) +
         "@/history?host=" + folder_ + extra;
}

}  // namespace vr512b::history::testing
