// Runs tests on the virtual bench with the real clock and splits each run's
// wall time into the pauses the console is told to take, the virtual bench's
// transfer time, and the rest: the console's own time. Also reports CPU time
// over wall time (busy waiting would show there).
//
//   vr512b-bench-protocol-overhead [TEST...]      (default: func)
//
// The monitor never ends by itself: it is stopped with Abort after 10 s.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/diag_console.h"
#include "device/serial_number.h"
#include "sim/virtual_bench.h"

namespace {

using namespace vr512b;

// Delegates to the real clock and adds up the time asked for.
class CountingClock final : public Clock {
 public:
  explicit CountingClock(Clock& real) : real_(real) {}
  void Sleep(int ms) override {
    if (ms > 0)
      requestedMs += ms;
    real_.Sleep(ms);
  }
  std::int64_t NowMs() override { return real_.NowMs(); }
  std::int64_t requestedMs = 0;

 private:
  Clock& real_;
};

class BenchView final : public ConsoleView {
 public:
  explicit BenchView(sim::VirtualTechnician& technician) : technician_(technician) {
    parameters.NameVR512BSample = "10001";
    parameters.PhoneSample = "2001";
    parameters.Phone = "2002";
  }
  void AppendLog(std::string_view) override { ++lines; }
  void ClearLog() override {}
  void SetStatus(const TestProcedure&, std::string_view) override {}
  bool AskYesNo(const std::string& q) override { return technician_.Answer(q); }
  void ShowNotice(const std::string& n) override { technician_.CarryOut(n); }
  void ProcessMessages() override {
    if (onPump)
      onPump();
  }
  void UpdateActions() override {}
  TestParameterValues Parameters() const override { return parameters; }
  void TestFinished(const TestProcedure&, Verdict v) override { verdict = v; }

  TestParameterValues parameters;
  std::function<void()> onPump;
  Verdict verdict = Verdict::Ok;
  long lines = 0;

 private:
  sim::VirtualTechnician& technician_;
};

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> tests(argv + 1, argv + argc);
  if (tests.empty())
    tests.push_back("func");
  std::printf("%-8s %-8s %10s %10s %10s %10s %9s %9s\n", "test", "verdict", "wall_ms", "pauses_ms",
              "bench_ms", "own_ms", "own_%", "cpu_%");
  int status = 0;
  for (const std::string& id : tests) {
    RealClock real;
    CountingClock consoleClock(real);
    CountingClock benchClock(real);
    sim::VirtualBench bench(benchClock, sim::DefaultBenchConfig());
    sim::VirtualTechnician technician(bench);
    BenchView view(technician);
    DiagConsole console(bench.hid(), consoleClock, view);
    console.SetRefSerial(ReferenceSerialFromText(view.parameters.NameVR512BSample));
    const std::int64_t stopAt = real.NowMs() + 10000;
    if (id == "monitor") {
      view.onPump = [&] {
        if (real.NowMs() >= stopAt)
          console.RequestAbort();
      };
    }

    const double cpu0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    if (!console.RunByName(id)) {
      std::fprintf(stderr, "unknown test %s\n", id.c_str());
      return 64;
    }
    const double wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    const double cpuMs = (CpuSeconds() - cpu0) * 1000.0;
    const double own = wallMs - consoleClock.requestedMs - benchClock.requestedMs;
    std::printf("%-8s %-8s %10.1f %10lld %10lld %10.1f %9.3f %9.3f\n", id.c_str(),
                view.verdict == Verdict::Ok || id == "monitor" ? "OK" : "FAILED", wallMs,
                static_cast<long long>(consoleClock.requestedMs),
                static_cast<long long>(benchClock.requestedMs), own, 100.0 * own / wallMs,
                100.0 * cpuMs / wallMs);
    std::printf("ratio wall/pauses %s: %.4f\n", id.c_str(),
                wallMs / static_cast<double>(consoleClock.requestedMs));
    std::fflush(stdout);
    if (view.verdict != Verdict::Ok)
      status = 1;
  }
  return status;
}
