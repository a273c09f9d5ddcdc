#include <csignal>
#include <iostream>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "cli/process_setup.h"
#include "common/url_password.h"

namespace {

// Written by the signal handler, read by the runner between steps: the
// number of SIGINT and SIGTERM so far (a wait on the history server ends on
// one that comes while it waits).
volatile std::sig_atomic_t abortRequested = 0;

extern "C" void RequestAbort(int) {
  abortRequested = abortRequested + 1;
}

}  // namespace

int main(int argc, char** argv) {
  const bool stdoutClosed = vr512b::cli::PrepareStandardStreams();
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  const vr512b::cli::ParseResult parsed = vr512b::cli::ParseCommandLine(args);
  if (!parsed.error.empty()) {
    std::cerr << "vr512b-diag-cli: " << parsed.error << "\n"
              << "Справка: vr512b-diag-cli --help\n";
    return vr512b::cli::kExitUsage;
  }
  vr512b::HidePasswordsInArguments(argc, argv);
  vr512b::cli::InstallAbortSignals(RequestAbort);
  const std::unique_ptr<std::streambuf> abortableInput =
      vr512b::cli::AbortableStandardInput(&abortRequested);
  std::istream answers(abortableInput ? abortableInput.get() : std::cin.rdbuf());
  vr512b::cli::CliStreams streams{std::cout, std::cerr, answers, &abortRequested};
  streams.outClosed = stdoutClosed;
  return vr512b::cli::RunCli(parsed.options, streams);
}
