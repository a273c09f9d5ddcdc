#include "autotests/replay/replay_support.h"

#include <stdexcept>

#include "autotests/support/cli_in_process.h"
#include "autotests/support/first_difference.h"
#include "cli/cli_runner.h"
#include "procedures/procedure_table.h"
#include "sim/virtual_bench.h"

namespace vr512b::replaytest {
namespace {

std::vector<std::string> Command(const std::string& store, const std::vector<std::string>& args) {
  std::vector<std::string> command{"--simulate", "--virtual-time", "--settings", store};
  command.insert(command.end(), args.begin(), args.end());
  return command;
}

RunOutput Run(const std::vector<std::string>& command,
              std::optional<SessionOptions::ExternalBench> external = std::nullopt) {
  if (const std::string error = cli::ParseCommandLine(command).error; !error.empty())
    throw std::invalid_argument(error);
  return testing::RunCliInProcess(command, "", nullptr, external);
}

}  // namespace

RunOutput RunRunner(const std::string& store, const std::vector<std::string>& args) {
  return Run(Command(store, args));
}

RecordedRun RecordRun(const std::string& store, const std::string& trace,
                      const std::vector<std::string>& args) {
  std::vector<std::string> withTrace{"--trace", trace};
  withTrace.insert(withTrace.end(), args.begin(), args.end());
  const std::vector<std::string> command = Command(store, withTrace);
  const cli::ParseResult parsed = cli::ParseCommandLine(command);
  sim::BenchConfig config = sim::DefaultBenchConfig();
  for (const std::string& scenario : parsed.options.scenarios) {
    const std::string error = sim::ApplyScenario(config, scenario);
    if (!error.empty())
      throw std::invalid_argument(error);
  }
  VirtualClock clock;
  sim::VirtualBench bench(clock, config);
  CountingHid counting(bench.hid());
  RecordedRun recorded;
  recorded.run = Run(command, SessionOptions::ExternalBench{&bench, &counting});
  recorded.transfers = counting.transfers;
  return recorded;
}

RunOutput ReplayRun(const std::string& store, const std::string& trace,
                    const std::vector<std::string>& args) {
  std::vector<std::string> replayed{"--sim", "replay ut " + trace, "--sim", "replay ref " + trace};
  const cli::ParseResult parsed = cli::ParseCommandLine(Command(store, args));
  replayed.insert(replayed.end(), parsed.options.tests.begin(), parsed.options.tests.end());
  return Run(Command(store, replayed));
}

std::vector<NamedRun> EveryTestAndCheckAll() {
  std::vector<NamedRun> runs;
  for (const TestProcedure& test : AllProcedures()) {
    if (test.id == "monitor")
      runs.push_back({test.id, {"--abort-after", "120000", "monitor"}});
    else
      runs.push_back({test.id, {test.id}});
  }
  runs.push_back({"all", {"all"}});
  runs.push_back({"all_short", {"--set", "ShortTest=1", "all"}});
  return runs;
}

std::vector<NamedRun> RecordedRuns() {
  std::vector<NamedRun> runs = EveryTestAndCheckAll();
  const std::vector<NamedRun> more = {
      {"three_tests_one_session", {"func", "indic", "sound"}},
      {"monitor_with_calls",
       {"--sim", "call ut 11 3132333435 5551234", "--sim", "call ut 50 0E013412C8000100 2001",
        "--abort-after", "60000", "monitor"}},
      {"unplugged_in_check_all", {"--sim", "unplug ut after 500", "all"}},
      {"unplugged_reference", {"--sim", "unplug ref after 30", "rx"}},
      {"absent_reference", {"--sim", "absent ref", "tr"}},
      {"busy_unit_aborted", {"--sim", "busy ut", "--abort-after", "3000", "line"}},
      {"no_to_every_question", {"--answer", "no", "indic"}},
      {"display_broken", {"--sim", "display-broken", "indic"}},
      {"error_reply", {"--sim", "error ref 5 after 3", "tr"}},
      {"corrupt_message", {"--sim", "corrupt ut 1", "rxmess"}},
      {"pending_reply", {"--sim", "pending ut 07", "func"}},
      {"odd_serial", {"--sim", "serial ut  -5", "func"}},
      {"reference_serial_changed",
       {"--sim", "serial ref 77", "--set", "NameVR512BSample=77", "rx"}},
      {"korvex_test_messages", {"--set", "KorvexTestMsg=1", "trmess"}},
  };
  runs.insert(runs.end(), more.begin(), more.end());
  return runs;
}

namespace {

std::uint32_t U32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i)
    value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
  return value;
}

void PutU32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes[at + i] = static_cast<char>(value >> (8 * i));
}

constexpr std::uint32_t kPacketBlock = 6;
constexpr std::size_t kPacketStart = 8 + 20;  // block header, packet fields

}  // namespace

bool FlipPacketByte(const std::string& path, std::uint64_t frame, std::size_t offset) {
  std::string bytes = testing::ReadFile(path);
  std::uint64_t frames = 0;
  for (std::size_t at = 0; at + 12 <= bytes.size(); at += U32(bytes, at + 4)) {
    if (U32(bytes, at) != kPacketBlock || ++frames != frame)
      continue;
    bytes[at + kPacketStart + offset] ^= 0x01;
    testing::WriteFile(path, bytes);
    return true;
  }
  return false;
}

bool DropDigest(const std::string& path) {
  std::string bytes = testing::ReadFile(path);
  std::size_t last = bytes.size();
  for (std::size_t at = 0; at + 12 <= bytes.size(); at += U32(bytes, at + 4))
    last = at;
  if (last == bytes.size() || U32(bytes, last) != kPacketBlock)
    return false;
  const std::uint32_t captured = U32(bytes, last + 8 + 12);
  const auto length = static_cast<std::uint32_t>(kPacketStart + ((captured + 3) & ~3u) + 4);
  bytes.resize(last + length);
  PutU32(bytes, last + 4, length);
  PutU32(bytes, last + length - 4, length);
  testing::WriteFile(path, bytes);
  return true;
}

std::string Difference(const std::string& got, const std::string& want) {
  return testing::FirstDifference(got, want, "replayed", "recorded");
}

}  // namespace vr512b::replaytest
