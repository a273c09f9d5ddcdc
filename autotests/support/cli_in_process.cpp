#include "autotests/support/cli_in_process.h"

#include <sstream>

#include "cli/cli_options.h"
#include "cli/cli_runner.h"

namespace vr512b::testing {

CliRun RunCliInProcess(const std::vector<std::string>& args, const std::string& input,
                       const volatile std::sig_atomic_t* abort,
                       std::optional<SessionOptions::ExternalBench> external) {
  CliRun run;
  const cli::ParseResult parsed = cli::ParseCommandLine(args);
  if (!parsed.error.empty()) {
    run.status = cli::kExitUsage;
    run.err = parsed.error;
    return run;
  }
  std::ostringstream out;
  std::ostringstream err;
  std::istringstream in(input);
  run.status = cli::RunCli(parsed.options, {out, err, in, abort}, external);
  run.out = out.str();
  run.err = err.str();
  return run;
}

}  // namespace vr512b::testing
