#pragma once

// A "server" on a Unix socket where libpq looks for one (FOLDER/.s.PGSQL.5432)
// that takes connections and never says a word: a server whose backend is
// stopped, or a host that went away behind a connection. For each
// connection taken, `onConnection` gets the connecting process's id.

#include <sys/types.h>
#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "common/unique_fd.h"

namespace vr512b::history::testing {

class SilentServer {
 public:
  SilentServer(const std::string& folder, std::function<void(pid_t)> onConnection = {});
  ~SilentServer();
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;

  // A libpq URI for it, with `password` and `extra` parameters.
  std::string Uri(const std::string& password = {}, const std::string& extra = {}) const;
  int connections() const { return connections_; }

 private:
  std::string folder_;
  UniqueFd listener_;
  UniqueFd stop_[2];
  std::thread thread_;
  std::atomic<int> connections_ = 0;
};

}  // namespace vr512b::history::testing
