// What the window's look at the units plugged in costs while it is idle: the
// platform's list of units, read once a second (ListPluggedUnits, nothing
// opened), over SECONDS of wall time, as CPU time of this whole process
// (getrusage: user and system, every thread) against one core.
//
//   LD_PRELOAD=libumockdev-preload.so.0 vr512b-bench-idle-enumeration [SECONDS]
//
// Two HID faces, each with both units plugged in: the virtual bench's own
// (--simulate), and hidapi through libudev on a mocked USB bus (umockdev)
// whose nodes the bench's units answer. The mocked bus's own thread is in
// the count, so the second figure is an upper bound for a real bus.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include "autotests/realhid/mocked_bench.h"
#include "autotests/realhid/mocked_usb_bus.h"
#include "device/clock.h"
#include "device/hid_library.h"
#include "device/hid_loader.h"
#include "device/plugged_units.h"
#include "sim/bench_config.h"
#include "sim/virtual_bench.h"

namespace {

using namespace vr512b;
using Seconds = std::chrono::duration<double>;

// The window's interval (TFmMain::kUnitsPollMs).
constexpr auto kPollInterval = std::chrono::milliseconds(1000);
constexpr int kBurstCalls = 200;

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The idle loop for `seconds`, then `kBurstCalls` calls back to back.
bool Measure(const char* name, HidLibrary& hid, double seconds) {
  const auto units = ListPluggedUnits(hid, 10001);
  if (!units || units->size() != 2) {
    std::fprintf(stderr, "%s: expected two units, found %zu\n", name, units ? units->size() : 0);
    return false;
  }
  const double cpuBefore = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  auto next = start;
  int calls = 0;
  while (Seconds(std::chrono::steady_clock::now() - start).count() < seconds) {
    ListPluggedUnits(hid, 10001);
    ++calls;
    next += kPollInterval;
    std::this_thread::sleep_until(next);
  }
  const double wall = Seconds(std::chrono::steady_clock::now() - start).count();
  const double idleCpu = CpuSeconds() - cpuBefore;

  const double burstBefore = CpuSeconds();
  for (int i = 0; i < kBurstCalls; ++i)
    ListPluggedUnits(hid, 10001);
  const double perCall = (CpuSeconds() - burstBefore) / kBurstCalls;

  std::printf(
      "%-28s idle %5.1f s, %3d looks: CPU %.4f s = %.3f %% of one core; "
      "one look %.3f ms CPU (%.3f %% at 1/s)\n",
      name, wall, calls, idleCpu, 100.0 * idleCpu / wall, perCall * 1e3,
      100.0 * perCall / Seconds(kPollInterval).count());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 60.0;
  if (seconds <= 0) {
    std::fputs("usage: vr512b-bench-idle-enumeration [SECONDS]\n", stderr);
    return 64;
  }
  RealClock clock;
  sim::VirtualBench virtualBench(clock, sim::DefaultBenchConfig());
  if (!Measure("virtual bench (--simulate)", virtualBench.hid(), seconds))
    return 1;

  if (!realhid::MockedUsbBus::UnderPreload()) {
    std::fputs("mocked bus: skipped, not under LD_PRELOAD=libumockdev-preload.so.0\n", stderr);
    return 0;
  }
  realhid::MockedUsbBus bus;
  sim::VirtualBench mockedUnits(clock, sim::DefaultBenchConfig());
  realhid::MockedBench plugged(bus, mockedUnits);
  HidLoadResult loaded = LoadPlatformHidLibrary();
  if (!loaded) {
    std::fprintf(stderr, "hidapi: %s\n", loaded.reason().text.c_str());
    return 1;
  }
  return Measure("hidapi on the mocked bus", **loaded, seconds) ? 0 : 1;
}
