// What recording a run in the history adds to the end of a run of the real
// runner: vr512b-diag-cli is started K times for each history named, and
// each time the time from its last log line (the last bytes on its stdout)
// to its exit is taken. With --history none that is the runner's own end
// (the status lines, the exit); the difference is the record.
//
//   vr512b-bench-history-cli CLI [--samples K] [--test T] HISTORY...
//
// Each HISTORY is a --history URL (none, a file path, postgresql://...). The
// runs are on the virtual bench, on virtual time, with a fresh parameters
// file each; the whole run's wall time is given too.

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

void Fail(const std::string& what) {
  std::fprintf(stderr, "vr512b-bench-history-cli: %s\n", what.c_str());
  std::exit(1);
}

double Ms(Clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

struct Sample {
  double end;    // from the last log bytes to the exit
  double whole;  // from the start to the exit
};

// One run; stderr goes to /dev/null, stdout is read as it comes.
Sample RunOnce(const std::vector<std::string>& command) {
  int out[2];
  if (::pipe(out) != 0)
    Fail("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::vector<std::string> args = command;
  std::vector<char*> argv;
  for (std::string& arg : args)
    argv.push_back(arg.data());
  argv.push_back(nullptr);
  const auto start = Clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
    Fail("cannot start " + command[0]);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  auto lastOutput = start;
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(out[0], buffer, sizeof buffer);
    if (got > 0) {
      lastOutput = Clock::now();
    } else if (got == 0 || errno != EINTR) {
      break;
    }
  }
  ::close(out[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  const auto exited = Clock::now();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    Fail("the run failed: " + command.back());
  return {Ms(exited - lastOutput), Ms(exited - start)};
}

struct Stats {
  double median;
  double p95;
  double max;
};

Stats Of(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return {values[values.size() / 2], values[std::min(values.size() - 1, values.size() * 95 / 100)],
          values.back()};
}

}  // namespace

int main(int argc, char** argv) {
  int samples = 30;
  std::string test = "func";
  std::string cli;
  std::vector<std::string> histories;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--samples" && i + 1 < argc) {
      samples = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--test" && i + 1 < argc) {
      test = argv[++i];
    } else if (cli.empty()) {
      cli = arg;
    } else {
      histories.push_back(arg);
    }
  }
  if (cli.empty() || histories.empty()) {
    std::fprintf(stderr, "usage: %s CLI [--samples K] [--test T] HISTORY...\n", argv[0]);
    return 64;
  }
  std::string folder = (std::filesystem::temp_directory_path() / "vr512b-bench.XXXXXX").string();
  if (::mkdtemp(folder.data()) == nullptr)
    Fail("mkdtemp failed");

  double baseline = -1;
  int run = 0;
  for (const std::string& history : histories) {
    // One run not timed: the caches warm, the history file made.
    const auto command = [&] {
      return std::vector<std::string>{cli,
                                      "--simulate",
                                      "--virtual-time",
                                      "--settings",
                                      folder + "/p" + std::to_string(run++) + ".reg",
                                      "--history",
                                      history,
                                      test};
    };
    RunOnce(command());
    std::vector<double> ends;
    std::vector<double> wholes;
    for (int i = 0; i < samples; ++i) {
      const Sample sample = RunOnce(command());
      ends.push_back(sample.end);
      wholes.push_back(sample.whole);
    }
    const Stats end = Of(ends);
    const Stats whole = Of(wholes);
    if (baseline < 0)
      baseline = end.median;
    std::printf(
        "%-60.60s end: median %7.2f ms  p95 %7.2f ms  max %7.2f ms  (+%6.2f ms)   whole run: "
        "median %7.2f ms\n",
        history.c_str(), end.median, end.p95, end.max, end.median - baseline, whole.median);
  }
  std::filesystem::remove_all(folder);
  return 0;
}
