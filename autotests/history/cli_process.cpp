#include "autotests/history/cli_process.h"

namespace vr512b::history::testing {

CliResult RunCliProcess(const std::vector<std::string>& args, const EnvChanges& changes) {
  std::vector<std::string> command{VR512B_CLI_PATH};
  command.insert(command.end(), args.begin(), args.end());
  return vr512b::testing::RunProcess(command, changes);
}

}  // namespace vr512b::history::testing
