#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "cli/process_setup.h"

namespace vr512b::cli {

namespace {

// Reads descriptor 0 as std::cin would, except that a signal that sets the
// abort flag ends the wait: the flag is checked with SIGINT and SIGTERM
// blocked, and ppoll unblocks them only while it waits, so a signal cannot
// slip in between the check and the wait.
class AbortableInput final : public std::streambuf {
 public:
  explicit AbortableInput(const volatile std::sig_atomic_t* abortRequest)
      : abortRequest_(abortRequest) {}

 protected:
  int_type underflow() override {
    if (gptr() < egptr())
      return traits_type::to_int_type(*gptr());
    const ssize_t got = ReadSome();
    if (got <= 0)
      return traits_type::eof();
    setg(buffer_, buffer_, buffer_ + got);
    return traits_type::to_int_type(*gptr());
  }

 private:
  ssize_t ReadSome() {
    sigset_t abortSignals;
    sigemptyset(&abortSignals);
    sigaddset(&abortSignals, SIGINT);
    sigaddset(&abortSignals, SIGTERM);
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &abortSignals, &previous);
    ssize_t got = -1;
    for (;;) {
      if (*abortRequest_ != 0)
        break;
      pollfd input{STDIN_FILENO, POLLIN, 0};
      const int ready = ::ppoll(&input, 1, nullptr, &previous);
      if (ready < 0 && errno == EINTR)
        continue;
      if (ready < 0)
        break;
      got = ::read(STDIN_FILENO, buffer_, sizeof buffer_);
      if (got < 0 && (errno == EINTR || errno == EAGAIN))
        continue;
      break;
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return got;
  }

  const volatile std::sig_atomic_t* abortRequest_;
  char buffer_[4096];
};

}  // namespace

bool PrepareStandardStreams() {
  // A standard descriptor that the parent left closed is opened on /dev/null:
  // the next file the console opens (the settings file, a unit's hidraw node)
  // would otherwise take its number, and the log would be written into that
  // file or sent to the unit.
  bool stdoutClosed = false;
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      stdoutClosed = stdoutClosed || fd == STDOUT_FILENO;
      // The lowest free number is fd itself.
      static_cast<void>(open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY));
    }
  }
  return stdoutClosed;
}

void InstallAbortSignals(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
  // A file grown past the size limit (ulimit -f) fails its write with EFBIG,
  // reported as a full disk is, instead of killing the run mid-log.
  signal(SIGXFSZ, SIG_IGN);
}

std::unique_ptr<std::streambuf> AbortableStandardInput(
    const volatile std::sig_atomic_t* abortRequest) {
  return std::make_unique<AbortableInput>(abortRequest);
}

}  // namespace vr512b::cli
