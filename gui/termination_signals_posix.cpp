#include "gui/termination_signals.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <iterator>

namespace vr512b::gui {

namespace {

// The write end of the pipe, for the handler: a signal handler can reach
// nothing but what is global, and an atomic int is safe to read there.
std::atomic<int> signalPipe{-1};

extern "C" void ForwardSignal(int signal) {
  const int savedErrno = errno;
  const auto number = static_cast<unsigned char>(signal);
  const int fd = signalPipe.load();
  // A full pipe already holds a signal the window has yet to see.
  if (fd >= 0 && ::write(fd, &number, 1) != 1) {
  }
  errno = savedErrno;
}

constexpr int kSignals[] = {SIGINT, SIGTERM};

}  // namespace

struct TerminationSignals::Pipe {
  int readFd = -1;
  int writeFd = -1;
  bool installed = false;
  struct sigaction previous[std::size(kSignals)] = {};
  std::unique_ptr<QSocketNotifier> notifier;

  ~Pipe() {
    notifier.reset();
    for (std::size_t i = 0; installed && i < std::size(kSignals); ++i)
      ::sigaction(kSignals[i], &previous[i], nullptr);
    signalPipe.store(-1);
    for (int fd : {readFd, writeFd}) {
      if (fd >= 0)
        ::close(fd);
    }
  }
};

TerminationSignals::TerminationSignals(QObject* parent)
    : QObject(parent), pipe_(std::make_unique<Pipe>()) {
  int fds[2];
  // Non-blocking: the handler must never wait for the window.
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
    return;
  pipe_->readFd = fds[0];
  pipe_->writeFd = fds[1];
  signalPipe.store(pipe_->writeFd);
  pipe_->notifier =
      std::make_unique<QSocketNotifier>(pipe_->readFd, QSocketNotifier::Read, nullptr);
  connect(pipe_->notifier.get(), &QSocketNotifier::activated, this, [this] {
    unsigned char numbers[16];
    ssize_t got = 0;
    while ((got = ::read(pipe_->readFd, numbers, sizeof numbers)) > 0) {
      for (ssize_t i = 0; i < got; ++i)
        emit received(numbers[i]);
    }
  });
  struct sigaction action {};
  action.sa_handler = ForwardSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < std::size(kSignals); ++i)
    ::sigaction(kSignals[i], &action, &pipe_->previous[i]);
  pipe_->installed = true;
}

TerminationSignals::~TerminationSignals() = default;

}  // namespace vr512b::gui
