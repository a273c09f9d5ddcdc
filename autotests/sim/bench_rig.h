#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "device/clock.h"
#include "device/device_link.h"
#include "device/log_sink.h"
#include "device/report_layer.h"
#include "device/unit_commands.h"
#include "procedures/unit_steps.h"
#include "sim/virtual_bench.h"

namespace vr512b::testing {

class LogRecorder final : public LogSink {
 public:
  void WriteLog(std::string_view text) override { lines.emplace_back(text); }
  bool Contains(std::string_view text) const;
  std::vector<std::string> lines;
};

// The virtual bench driven through the console's own device layer, on a
// virtual clock.
struct BenchRig {
  explicit BenchRig(const std::vector<std::string>& scenarios = {});

  void Open(TUnitRole role);
  void OpenBoth();
  // Read-modify-write of a unit's configuration, as the procedures do it.
  void Configure(TUnitRole role, const std::function<void(TConfigBlock&)>& change);
  // Reads replies until the unit has none left; returns them in order.
  std::vector<TMessageBlock> Drain(TUnitRole role);
  // Polls the unit every stepMs until the state satisfies the test.
  bool PollUntil(TUnitRole role, const std::function<bool(std::uint8_t)>& test, int timeoutMs,
                 int stepMs = 20);
  // Events read (and logged) from the unit, in order, until it is idle.
  std::vector<int> EventsUntilIdle(TUnitRole role);

  VirtualClock clock;
  sim::VirtualBench bench;
  LogRecorder log;
  DeviceLink link;
  ReportLayer reports;
  UnitCommands commands;
  // The commands as the procedures take them: a failed one raises TestFailure.
  UnitSteps unit{commands};
  sim::VirtualTechnician technician;
};

sim::BenchConfig ConfigWith(const std::vector<std::string>& scenarios);

// Message data as the exchanges send it: text formats a zero-terminated text,
// Korvex 10 and Presto 14 binary bytes.
std::vector<std::uint8_t> SampleData(std::uint8_t format, int index);

struct ExchangeOutcome {
  std::string failure;  // empty when every message arrived in order and intact
  int sent = 0;
  int received = 0;
  std::vector<std::string> callingNumbers;
};

// Drives a series of messages from one unit to the other the way the console's
// exchanges do: a message is handed over only while sfOnLine is clear, the
// transmitter must stay sfCaller from its second message on, the receiver (told
// to answer on the simulator, in mode 5 on the phone line) must stay
// sfAnswerer, and every message must arrive in order with its data intact.
ExchangeOutcome RunExchange(BenchRig& rig, TUnitRole transmitter, std::uint8_t format, int count,
                            bool phoneLine, bool attenuatedLevels = false);

}  // namespace vr512b::testing
