// Start-up time of the console window: from launching the program to its
// main window being shown, median of several launches.
//
//   vr512b-bench-startup PATH-TO-vr512b-diag [RUNS]      (default 5 runs)
//
// The program is started offscreen (unless QT_QPA_PLATFORM says otherwise) on the virtual bench
// with a fresh parameters file and told (VR512B_REPORT_SHOWN) to print "shown" once its windows are
// up.

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

double LaunchOnce(const std::string& program, const std::string& settings) {
  int out[2];
  if (pipe(out) != 0)
    return -1;
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);  // a platform the caller set wins
    setenv("VR512B_REPORT_SHOWN", "1", 1);
    execl(program.c_str(), program.c_str(), "--simulate", "--settings", settings.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  std::string seen;
  char buffer[256];
  double ms = -1;
  for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) {
    seen.append(buffer, static_cast<std::size_t>(n));
    if (seen.find("shown") != std::string::npos) {
      ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
               .count();
      break;
    }
  }
  close(out[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s PATH-TO-vr512b-diag [RUNS]\n", argv[0]);
    return 64;
  }
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  char dir[] = "/tmp/vr512b-startup-XXXXXX";
  if (mkdtemp(dir) == nullptr)
    return 1;
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const double ms = LaunchOnce(argv[1], std::string(dir) + "/s.reg");
    if (ms < 0) {
      std::fprintf(stderr, "run %d: the window was never shown\n", i + 1);
      return 1;
    }
    std::printf("run %d: %.1f ms\n", i + 1, ms);
    times.push_back(ms);
  }
  std::sort(times.begin(), times.end());
  std::printf("startup_median_ms=%.1f\n", times[times.size() / 2]);
  std::string settings = std::string(dir) + "/s.reg";
  std::remove(settings.c_str());
  std::string lock = settings + ".lock";
  std::remove(lock.c_str());
  rmdir(dir);
  return 0;
}
