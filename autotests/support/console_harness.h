#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/console_view.h"
#include "app/diag_console.h"
#include "device/clock.h"
#include "device/serial_number.h"
#include "sim/virtual_bench.h"

namespace vr512b::testing {

// A front end that records everything the console shows and answers its
// questions through a replaceable function.
class RecordingView final : public ConsoleView {
 public:
  void AppendLog(std::string_view line) override { log.emplace_back(line); }
  void ClearLog() override { log.clear(); }
  void SetStatus(const TestProcedure& test, std::string_view text) override {
    cells[test.statusCell] = std::string(text);
    statusHistory.emplace_back(test.statusCell + ": " + std::string(text));
  }
  bool AskYesNo(const std::string& question) override {
    questions.push_back(question);
    questionTimes.push_back(clock ? clock->NowMs() : 0);
    return answer ? answer(question) : false;
  }
  void ShowNotice(const std::string& text) override {
    notices.push_back(text);
    if (notice)
      notice(text);
  }
  void ProcessMessages() override {
    ++pumps;
    if (onPump)
      onPump();
  }
  void UpdateActions() override { ++updates; }
  TestParameterValues Parameters() const override { return parameters; }
  void TestFinished(const TestProcedure& test, Verdict verdict) override {
    verdicts.emplace_back(test.id + ": " + std::string(VerdictText(verdict)));
  }

  std::string Cell(const std::string& cell) const {
    auto it = cells.find(cell);
    return it == cells.end() ? std::string() : it->second;
  }

  std::vector<std::string> log;
  std::map<std::string, std::string> cells;  // by status cell
  std::vector<std::string> statusHistory;
  std::vector<std::string> questions;
  std::vector<std::int64_t> questionTimes;
  std::vector<std::string> notices;
  std::vector<std::string> verdicts;
  std::function<bool(const std::string&)> answer;
  std::function<void(const std::string&)> notice;
  std::function<void()> onPump;
  TestParameterValues parameters;
  Clock* clock = nullptr;
  int pumps = 0;
  int updates = 0;
};

// The whole console on the virtual bench with a virtual clock and the
// virtual technician answering, as `vr512b-diag-cli --simulate --virtual-time`.
struct SimConsole {
  explicit SimConsole(const std::vector<std::string>& scenarios = {});

  // Presses Abort at the first pump at or after this clock time.
  void AbortAt(std::int64_t ms);
  bool Run(const std::string& name) { return console.RunByName(name); }

  VirtualClock clock;
  std::unique_ptr<sim::VirtualBench> bench;
  std::unique_ptr<sim::VirtualTechnician> technician;
  RecordingView view;
  std::unique_ptr<DiagConsole> console_ptr;
  DiagConsole& console;
};

// The three banner lines of a test title.
std::vector<std::string> Banner(const std::string& title);
void Append(std::vector<std::string>& lines, const std::vector<std::string>& more);

}  // namespace vr512b::testing
