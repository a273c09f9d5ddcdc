#pragma once

// The virtual bench as the rest of the program sees it: its set-up and
// scenarios (bench_config.h), the bench itself, the virtual technician, and
// the replay of a recorded trace (trace_replay.h).

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/clock.h"
#include "device/device_types.h"
#include "device/hid_library.h"
#include "sim/bench_config.h"
#include "sim/trace_replay.h"
#include "sim/virtual_technician.h"

namespace vr512b::sim {

// What a person looking at the bench sees and hears.
struct UnitSnapshot {
  bool present = false;
  std::string serial;
  std::string phone;
  bool plugged = false;
  bool openByHost = false;
  std::string display;
  bool lineIndicator = false;      // 'Линия'
  bool computerIndicator = false;  // 'Компьютер'
  bool toneOn = false;             // continuous 1000 Hz tone
  int toneVolume = 0;
  int beepsSinceAnswer = 0;  // short signals heard since the last OpAnswer
  std::uint8_t mode = 0;
  std::uint8_t volume = 0;
  std::uint8_t formatMask = 0;
  std::uint8_t stateFlags = 0;
  int received = 0;
  int sent = 0;
  Wiring wiring = Wiring::None;
};

struct SimulatorSnapshot {
  bool lineButton = false;         // 'ЛИНИЯ'
  bool attenuationButton = false;  // 'ЗАТУХАНИЕ'
  bool generator425 = true;
  bool power = true;
};

class VirtualBench {
 public:
  // With a replay, the units of its roles answer from the trace it holds.
  VirtualBench(Clock& clock, BenchConfig config, std::unique_ptr<TraceReplay> replay = nullptr);
  ~VirtualBench();
  VirtualBench(const VirtualBench&) = delete;
  VirtualBench& operator=(const VirtualBench&) = delete;

  // The bench's units as HID devices; valid as long as the bench.
  HidLibrary& hid();
  Clock& clock();

  // Brings the model up to the clock's present time.
  void Update();

  UnitSnapshot Unit(TUnitRole role);
  SimulatorSnapshot Simulator();

  // What the person at the bench can do.
  void SetLineButton(bool pressed);
  void SetAttenuationButton(bool pressed);
  void SetGenerator(bool on);
  void SetSimulatorPower(bool on);
  void Wire(TUnitRole role, Wiring wiring);
  void Unplug(TUnitRole role);
  void Plug(TUnitRole role);
  void PlaceCall(const RemoteCall& call);
  // What the person does a little later, on the bench's own time line (the
  // technician switching the simulator off some seconds after being told).
  void SetSimulatorPowerLater(bool on, int delayMs);

  const BenchConfig& config() const;
  // The trace the replayed units answer from, or null.
  TraceReplay* Replay() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vr512b::sim
