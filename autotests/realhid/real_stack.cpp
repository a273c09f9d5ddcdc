#include "autotests/realhid/real_stack.h"

#include <optional>
#include <stdexcept>

#include "autotests/support/child_process.h"
#include "autotests/support/cli_in_process.h"
#include "autotests/support/unprivileged.h"
#include "cli/cli_options.h"
#include "device/hid_loader.h"

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

  testing::CliRun run;
  {
    std::optional<testing::AsUnprivilegedUser> user;
    if (unprivileged) {
      user.emplace();
      if (!user->Effective())
        throw std::runtime_error("cannot run as an unprivileged user");
    }
    run = testing::RunCliInProcess(
        args, "", nullptr, SessionOptions::ExternalBench{stack.bench.get(), stack.hid.get()});
  }
  RunOutput output(std::move(run));
  for (const TUnitRole role : {urUnderTest, urReference}) {
    output.opens[role] = stack.units.Opens(role);
    output.transfers[role] = stack.units.Transfers(role);
    output.inUse[role] = stack.units.InUse(role);
  }
  output.problems = stack.units.Problems();
  return output;
}

RunOutput RunCliProcess(const std::vector<std::string>& args) {
  std::vector<std::string> command{VR512B_CLI_PATH};
  command.insert(command.end(), args.begin(), args.end());
  return RunOutput(testing::RunProcess(command));
}

}  // namespace vr512b::realhid
