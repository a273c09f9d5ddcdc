#include "autotests/realhid/real_stack.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "autotests/support/unprivileged.h"
#include "cli/cli_options.h"
#include "cli/cli_runner.h"
#include "device/hid_loader.h"

extern char** environ;

namespace vr512b::realhid {

namespace {

sim::BenchConfig ConfigFor(const std::vector<std::string>& scenarios) {
  sim::BenchConfig config = sim::DefaultBenchConfig();
  for (const std::string& scenario : scenarios) {
    const std::string error = sim::ApplyScenario(config, scenario);
    if (!error.empty())
      throw std::invalid_argument(scenario + ": " + error);
  }
  return config;
}

}  // namespace

RealStack::RealStack(const std::vector<std::string>& scenarios, Clock* givenClock)
    : clock(givenClock != nullptr ? *givenClock : virtualClock),
      bench(std::make_unique<sim::VirtualBench>(clock, ConfigFor(scenarios))),
      units(bus, *bench) {
  HidLoadResult loaded = LoadPlatformHidLibrary();
  if (!loaded)
    throw std::runtime_error("the platform HID library did not load: " + loaded.reason().text);
  hid = std::move(*loaded);
}

RunOutput RunOverRealStack(const std::vector<std::string>& args,
                           const std::function<void(RealStack&)>& prepare, bool unprivileged,
                           Clock* clock) {
  const cli::ParseResult parsed = cli::ParseCommandLine(args);
  if (!parsed.error.empty() || !parsed.options.simulate || !parsed.options.virtualTime ||
      !parsed.options.settingsPath) {
    throw std::invalid_argument("expected --simulate --virtual-time --settings: " + parsed.error);
  }
  const cli::CliOptions& options = parsed.options;
  RealStack stack(options.scenarios, clock);
  if (prepare)
    prepare(stack);

  std::ostringstream out;
  std::ostringstream err;
  std::istringstream in;
  const volatile std::sig_atomic_t noSignal = 0;
  RunOutput output;
  {
    std::optional<testing::AsUnprivilegedUser> user;
    if (unprivileged) {
      user.emplace();
      if (!user->Effective())
        throw std::runtime_error("cannot run as an unprivileged user");
    }
    output.status = cli::RunCli(options, {out, err, in, &noSignal},
                                SessionOptions::ExternalBench{stack.bench.get(), stack.hid.get()});
  }
  for (const TUnitRole role : {urUnderTest, urReference}) {
    output.opens[role] = stack.units.Opens(role);
    output.transfers[role] = stack.units.Transfers(role);
    output.inUse[role] = stack.units.InUse(role);
  }
  output.problems = stack.units.Problems();
  output.out = out.str();
  output.err = err.str();
  return output;
}

RunOutput RunCliProcess(const std::vector<std::string>& args) {
  testing::TempDir dir;
  const std::string outPath = dir.File("out");
  const std::string errPath = dir.File("err");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  std::vector<std::string> command{VR512B_CLI_PATH};
  command.insert(command.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : command)
    argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0)
    throw std::runtime_error("cannot start " + command[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  RunOutput output;
  output.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  output.out = testing::ReadFile(outPath);
  output.err = testing::ReadFile(errPath);
  return output;
}

}  // namespace vr512b::realhid
