// Every test against a unit that fails from its k-th transfer on, for every k
// the test reaches, and against every other bench fault: the verdict, the
// units, the flags and the end of the log must always come out right.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <ostream>
#include <thread>

#include "autotests/support/console_harness.h"
#include "procedures/procedure_table.h"

namespace vr512b {
namespace {

using testing::RecordingView;
using Lines = std::vector<std::string>;

// Counts the feature-report transfers of each unit, told apart by serial.
class CountingHid final : public HidLibrary {
 public:
  explicit CountingHid(HidLibrary& inner) : inner_(inner) {}
  std::optional<std::vector<std::string>> EnumeratePaths() override {
    return inner_.EnumeratePaths();
  }
  HidHandle Open(const std::string& path) override {
    const HidHandle handle = inner_.Open(path);
    if (handle == kInvalidHandle)
      return handle;
    char16_t serial[32] = {};
    static_cast<void>(inner_.GetSerialNumberString(handle, serial, 32));
    roles_[handle] = std::u16string(serial) == u"10001" ? urReference : urUnderTest;
    return handle;
  }
  void Close(HidHandle handle) override {
    roles_.erase(handle);
    inner_.Close(handle);
  }
  Outcome<void> GetAttributes(HidHandle h, HidAttributes& a) override {
    return inner_.GetAttributes(h, a);
  }
  Outcome<void> GetSerialNumberString(HidHandle h, void* b, std::size_t l) override {
    return inner_.GetSerialNumberString(h, b, l);
  }
  FeatureBytes GetFeature(HidHandle h, std::uint8_t* r, std::size_t l) override {
    Count(h);
    return inner_.GetFeature(h, r, l);
  }
  FeatureBytes SetFeature(HidHandle h, const std::uint8_t* r, std::size_t l) override {
    Count(h);
    return inner_.SetFeature(h, r, l);
  }
  int transfers[2] = {0, 0};

 private:
  void Count(HidHandle h) {
    auto it = roles_.find(h);
    if (it != roles_.end())
      ++transfers[it->second];
  }
  HidLibrary& inner_;
  std::map<HidHandle, TUnitRole> roles_;
};

// Every test of the procedure table, and Check all.
std::vector<std::string> EveryTestAndCheckAll() {
  std::vector<std::string> names;
  for (const TestProcedure& test : AllProcedures())
    names.push_back(test.id);
  names.push_back("all");
  return names;
}

struct Outcome {
  std::vector<std::string> verdicts;
  int pumps = 0;
  Lines log;
  bool utOpen = false;
  bool refOpen = false;
  int busy = 0;
  int failed = 0;
  int transfers[2] = {0, 0};
  int transfersAtAbort[2] = {-1, -1};
};

constexpr std::int64_t kMonitorRunMs = 15000;

// One run of a test on a fresh bench; the monitor is stopped by Abort.
Outcome RunOnce(const std::string& test, const std::vector<std::string>& scenarios,
                std::optional<int> abortAtPump = std::nullopt) {
  VirtualClock clock;
  sim::BenchConfig config = sim::DefaultBenchConfig();
  for (const std::string& scenario : scenarios) {
    const std::string error = sim::ApplyScenario(config, scenario);
    if (!error.empty())
      throw std::invalid_argument(error);
  }
  if (test == "monitor") {
    config.calls.push_back({urUnderTest, 0x50, {0x0E, 0x01, 0x34, 0x12, 0x6E, 0, 1, 0}, "2001"});
  }
  sim::VirtualBench bench(clock, config);
  sim::VirtualTechnician technician(bench);
  CountingHid hid(bench.hid());
  RecordingView view;
  view.parameters.NameVR512BSample = "10001";
  view.parameters.PhoneSample = "2001";
  view.parameters.Phone = "2002";
  view.answer = [&](const std::string& q) { return technician.Answer(q); };
  view.notice = [&](const std::string& n) { technician.CarryOut(n); };
  DiagConsole console(hid, clock, view);
  console.SetRefSerial(10001);
  int atAbort[2] = {-1, -1};
  view.onPump = [&] {
    const bool monitorDone = test == "monitor" && !abortAtPump && clock.NowMs() >= kMonitorRunMs;
    if ((monitorDone || (abortAtPump && view.pumps >= *abortAtPump)) && console.Busy()) {
      console.RequestAbort();
      atAbort[0] = hid.transfers[0];
      atAbort[1] = hid.transfers[1];
    }
  };
  console.RunByName(test);
  Outcome o;
  o.verdicts = view.verdicts;
  o.log = view.log;
  o.utOpen = bench.Unit(urUnderTest).openByHost;
  o.refOpen = bench.Unit(urReference).openByHost;
  o.pumps = view.pumps;
  o.busy = console.Busy();
  o.failed = console.TestFailed();
  o.transfers[0] = hid.transfers[0];
  o.transfers[1] = hid.transfers[1];
  o.transfersAtAbort[0] = atAbort[0];
  o.transfersAtAbort[1] = atAbort[1];
  return o;
}

const char* RoleName(TUnitRole role) {
  return role == urReference ? "ref" : "ut";
}

// What every ended test must leave behind, whatever went wrong.
std::string CheckEnded(const Outcome& o, const std::string& expectVerdict) {
  if (o.verdicts.empty())
    return "no test ran";
  const std::string& last = o.verdicts.back();
  if (last.substr(last.find(": ") + 2) != expectVerdict)
    return "verdict " + last;
  if (o.utOpen || o.refOpen)
    return "a unit left open";
  if (o.busy != 0)
    return "FBusy left set";
  if (o.failed != 1)
    return "FTestFailed not set";
  if (o.log.empty() || !o.log.back().empty())
    return "log does not end with an empty line";
  if (o.log.size() >= 2 && o.log[o.log.size() - 2].empty())
    return "two empty lines at the end";
  return "";
}

bool HasErrorLineOf(const Lines& log, TUnitRole role) {
  const std::string prefix = role == urReference ? "Эталонное: " : "Проверяемое: ";
  const std::string bare = std::strerror(ENODEV);
  for (const std::string& line : log) {
    if (line.rfind(prefix, 0) == 0 || line == bare)
      return true;
  }
  return false;
}

// Runs work(i) for i in [0, n) on both cores.
template <typename Work>
void Parallel(int n, Work work) {
  std::vector<std::thread> threads;
  const int workers = std::max(1u, std::min(2u, std::thread::hardware_concurrency()));
  for (int w = 0; w < workers; ++w) {
    threads.emplace_back([&, w] {
      for (int i = w; i < n; i += workers)
        work(i);
    });
  }
  for (std::thread& t : threads)
    t.join();
}

// Every k is tried unless VR512B_MATRIX_STRIDE asks for every n-th (the
// sanitizer build does, to stay quick).
int StrideFor() {
  const char* env = std::getenv("VR512B_MATRIX_STRIDE");
  return env != nullptr ? std::max(1, std::atoi(env)) : 1;
}

class UnplugMatrix : public ::testing::TestWithParam<std::string> {};

TEST_P(UnplugMatrix, EveryTransferOfEveryUnitMayBeTheLast) {
#ifdef _WIN32
  GTEST_SKIP() << "the unit's error line is told by the strerror() wording of ENODEV; Windows "
                  "words a GetLastError() code";
#endif
  const std::string test = GetParam();
  const Outcome clean = RunOnce(test, {});
  const std::string cleanVerdict = test == "monitor" ? "Прервано" : "OK";
  ASSERT_EQ(clean.verdicts.back(), test == "all" ? "rxmess: OK" : test + ": " + cleanVerdict);

  int runs = 0;
  std::vector<std::string> problems;
  std::mutex mutex;
  for (TUnitRole role : {urUnderTest, urReference}) {
    const int total = clean.transfers[role];
    const int stride = StrideFor();
    Parallel((total + stride - 1) / stride, [&](int step) {
      const int k = step * stride;
      const std::string scenario =
          std::string("unplug ") + RoleName(role) + " after " + std::to_string(k);
      const Outcome o = RunOnce(test, {scenario});
      // The monitor is stopped by Abort: a transfer that fails in its clean-up
      // after the abort still reads "Прервано".
      const bool afterAbort =
          clean.transfersAtAbort[role] >= 0 && k >= clean.transfersAtAbort[role];
      std::string problem = CheckEnded(o, afterAbort ? "Прервано" : "Ошибка");
      if (problem.empty() && !HasErrorLineOf(o.log, role))
        problem = "no error line of the unit";
      std::lock_guard lock(mutex);
      ++runs;
      if (!problem.empty() && problems.size() < 10)
        problems.push_back(scenario + ": " + problem);
    });
  }
  RecordProperty("runs", runs);
  std::printf("[ matrix   ] %s: %d unplug runs\n", test.c_str(), runs);
  EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
}

INSTANTIATE_TEST_SUITE_P(AllTests, UnplugMatrix, ::testing::ValuesIn(EveryTestAndCheckAll()));

struct FaultCase {
  std::string test;
  std::vector<std::string> scenarios;
  std::string verdict;
  std::string line;  // a line the log must hold, if any
  std::optional<int> abortAtPump = std::nullopt;
};

class FaultCases : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FaultCases, EndsWithTheRightVerdict) {
  const FaultCase& c = GetParam();
  const Outcome o = RunOnce(c.test, c.scenarios, c.abortAtPump);
  EXPECT_EQ(CheckEnded(o, c.verdict), "") << ::testing::PrintToString(o.log);
  if (!c.line.empty()) {
    EXPECT_NE(std::find(o.log.begin(), o.log.end(), c.line), o.log.end())
        << c.line << "\n"
        << ::testing::PrintToString(o.log);
  }
}

std::vector<FaultCase> FaultTable() {
  std::vector<FaultCase> cases;
  // Every test with a status cell opens the unit under test first.
  for (const TestProcedure& procedure : AllProcedures()) {
    if (!procedure.HasStatusCell())
      continue;
    const std::string& test = procedure.id;
    cases.push_back({test, {"absent ut"}, "Ошибка", "Не удалось открыть проверяемое УПО"});
    cases.push_back({test, {"pending ut 07"}, "Ошибка", "Неизвестный ответ 7"});
  }
  for (const std::string test : {"tr", "rx", "trmess", "rxmess"}) {
    cases.push_back({test, {"absent ref"}, "Ошибка", "Не удалось открыть эталонное УПО"});
    cases.push_back({test, {"serial ref 77"}, "Ошибка", "Не удалось открыть эталонное УПО"});
    cases.push_back({test, {"corrupt ut 1", "corrupt ref 1"}, "Ошибка", ""});
    cases.push_back({test, {"drop ut after 2"}, "Ошибка", ""});
    cases.push_back({test, {"drop ref after 2"}, "Ошибка", ""});
  }
  for (const std::string test : {"indic", "sound"}) {
    cases.push_back({test, {"busy ut"}, "Ошибка", "Проверяемое УПО не завершило операцию за 30 с"});
  }
  for (const std::string test : {"tr", "trmess"}) {
    cases.push_back({test, {"busy ut"}, "Ошибка", ""});
  }
  cases.push_back({"indic", {"display-broken"}, "Ошибка", ""});
  cases.push_back({"sound", {"buzzer-broken"}, "Ошибка", ""});
  cases.push_back({"line", {"no-dial-tone"}, "Ошибка", ""});
  cases.push_back({"line",
                   {"voltage-stays"},
                   "Ошибка",
                   "Линейное напряжение обнаруживается при его отсутствии"});
  cases.push_back({"func", {"config-byte ut 9"}, "Ошибка", "Данные не совпадают"});
  cases.push_back({"func", {"count-after-read ut 199"}, "Ошибка", "Неверное состояние"});
  // An error reply from the transmitter with a code in the end-of-transmission
  // range fails the exchange.
  cases.push_back({"tr", {"error ut 72 after 2"}, "Ошибка", "Ошибка передачи"});
  cases.push_back({"rx", {"error ref 72 after 2"}, "Ошибка", "Ошибка передачи"});
  cases.push_back({"rxmess", {"error ut 14 after 1 quiet"}, "Ошибка", "Ошибка: шумы при приеме"});
  cases.push_back({"all", {"buzzer-broken"}, "Ошибка", ""});
  cases.push_back({"monitor", {"absent ut", "absent ref"}, "Ошибка", ""});
  cases.push_back({"monitor", {"pending ut 2A"}, "Ошибка", "Неизвестный ответ 42"});
  cases.push_back({"monitor", {"busy ut"}, "Прервано", ""});
  // The dial-tone wait lasts until the unit is done or Abort is pressed; the
  // wait for the stuck unit after the abort gives up, and the units are closed.
  cases.push_back(
      {"line", {"busy ut"}, "Прервано", "Проверяемое УПО не завершило операцию за 30 с", 200});
  return cases;
}

void PrintTo(const FaultCase& c, std::ostream* out) {
  *out << c.test;
  for (const std::string& scenario : c.scenarios)
    *out << " --sim '" << scenario << "'";
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultCases, ::testing::ValuesIn(FaultTable()));

// Abort at every pump of every test: always "Прервано", units closed.
class AbortMatrix : public ::testing::TestWithParam<std::string> {};

TEST_P(AbortMatrix, AbortAtAnyPumpEndsCleanly) {
  const std::string test = GetParam();
  // Abort is noticed only where the window's messages are pumped: press it in
  // each pump of a clean run (every one, or an even spread of 400 in the long
  // tests).
  const int pumps = RunOnce(test, {}).pumps;
  const int steps = std::min(pumps, 400);
  std::vector<std::string> problems;
  std::mutex mutex;
  int runs = 0;
  Parallel(steps, [&](int i) {
    const int at =
        1 + static_cast<int>(static_cast<long long>(pumps - 1) * i / std::max(1, steps - 1));
    const Outcome o = RunOnce(test, {}, at);
    const std::string& last = o.verdicts.empty() ? std::string() : o.verdicts.back();
    // A test may end before the press: then it passed.
    std::string problem;
    if (last.find(": OK") == std::string::npos)
      problem = CheckEnded(o, "Прервано");
    std::lock_guard lock(mutex);
    ++runs;
    if (!problem.empty() && problems.size() < 10) {
      problems.push_back("at pump " + std::to_string(at) + ": " + problem);
    }
  });
  std::printf("[ matrix   ] %s: %d abort runs over %d pumps\n", test.c_str(), runs, pumps);
  EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
}

INSTANTIATE_TEST_SUITE_P(AllTests, AbortMatrix, ::testing::ValuesIn(EveryTestAndCheckAll()));

}  // namespace
}  // namespace vr512b
