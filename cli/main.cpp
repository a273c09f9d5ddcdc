#include <csignal>
#include <iostream>
#include <string>
#include <vector>

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

}  // namespace

int main(int argc, char** argv) {
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
