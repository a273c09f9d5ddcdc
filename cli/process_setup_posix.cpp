#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "process_setup.h"

namespace vr512b::cli {

void PrepareStandardStreams() {
  // A standard descriptor that the parent left closed is opened on /dev/null:
  // the next file the console opens (the settings file, a unit's hidraw node)
  // would otherwise take its number, and the log would be written into that
  // file or sent to the unit.
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      // The lowest free number is fd itself.
      static_cast<void>(open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY));
    }
  }
}

void InstallAbortSignals(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

}  // namespace vr512b::cli
