#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#endif

#include "cli_runner.h"

namespace {

volatile std::sig_atomic_t abortRequested = 0;

extern "C" void RequestAbort(int) {
  abortRequested = 1;
}

void InstallSignalHandlers() {
#ifndef _WIN32
  struct sigaction action {};
  action.sa_handler = RequestAbort;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // A reader that goes away must not kill the run before the units are closed.
  signal(SIGPIPE, SIG_IGN);
#else
  std::signal(SIGINT, RequestAbort);
  std::signal(SIGTERM, RequestAbort);
#endif
}

#ifndef _WIN32
// A standard descriptor that the parent left closed is opened on /dev/null:
// the next file the console opens (the settings file, a unit's hidraw node)
// would otherwise take its number, and the log would be written into that
// file or sent to the unit.
void ReserveStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      // The lowest free number is fd itself.
      static_cast<void>(open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY));
    }
  }
}
#endif

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // The log is UTF-8 with bare line feeds on every platform; text mode would
  // turn each into CR LF and make the output differ from the Linux console's.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#else
  ReserveStandardDescriptors();
#endif
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  const vr512b::cli::ParseResult parsed = vr512b::cli::ParseCommandLine(args);
  if (!parsed.error.empty()) {
    std::cerr << "vr512b-diag-cli: " << parsed.error << "\n"
              << "Справка: vr512b-diag-cli --help\n";
    return vr512b::cli::kExitUsage;
  }
  InstallSignalHandlers();
  return vr512b::cli::RunCli(parsed.options, {std::cout, std::cerr, std::cin, &abortRequested});
}
