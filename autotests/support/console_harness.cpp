#include "autotests/support/console_harness.h"

#include <stdexcept>

#include "common/utf8.h"

namespace vr512b::testing {

namespace {

std::unique_ptr<sim::VirtualBench> MakeBench(Clock& clock,
                                             const std::vector<std::string>& scenarios) {
  sim::BenchConfig config = sim::DefaultBenchConfig();
  for (const std::string& scenario : scenarios) {
    const std::string error = sim::ApplyScenario(config, scenario);
    if (!error.empty())
      throw std::invalid_argument(scenario + ": " + error);
  }
  return std::make_unique<sim::VirtualBench>(clock, std::move(config));
}

}  // namespace

SimConsole::SimConsole(const std::vector<std::string>& scenarios)
    : bench(MakeBench(clock, scenarios)),
      technician(std::make_unique<sim::VirtualTechnician>(*bench)),
      console_ptr(std::make_unique<DiagConsole>(bench->hid(), clock, view)),
      console(*console_ptr) {
  view.clock = &clock;
  view.parameters.NameVR512BSample = "10001";
  view.parameters.PhoneSample = "2001";
  view.parameters.Phone = "2002";
  console.SetRefSerial(ReferenceSerialFromText(view.parameters.NameVR512BSample));
  view.answer = [this](const std::string& q) { return technician->Answer(q); };
  view.notice = [this](const std::string& n) { technician->CarryOut(n); };
}

void SimConsole::AbortAt(std::int64_t ms) {
  view.onPump = [this, ms] {
    if (clock.NowMs() >= ms && console.Busy()) {
      console.RequestAbort();
      view.onPump = nullptr;
    }
  };
}

std::vector<std::string> Banner(const std::string& title) {
  const std::string rule(Utf8Length(title), '-');
  return {rule, title, rule};
}

void Append(std::vector<std::string>& lines, const std::vector<std::string>& more) {
  lines.insert(lines.end(), more.begin(), more.end());
}

}  // namespace vr512b::testing
