#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "clock.h"
#include "device_types.h"
#include "hid_library.h"

namespace vr512b::sim {

// Where a unit's telephone-line socket is plugged in.
enum class Wiring { None, Simulator, PhoneLine };

// One virtual unit as set up before the bench starts.
struct UnitSetup {
  bool present = true;
  std::string serial;              // serial-number string
  std::uint16_t version = 0x0203;  // bcdDevice
  std::string phone;               // number on the virtual phone line
};

// A remote alarm panel that calls a unit once it listens (monitor, mode 3/5).
struct RemoteCall {
  TUnitRole target = urUnderTest;
  std::uint8_t format = 0;
  std::vector<std::uint8_t> data;  // message data, at most 24 bytes
  std::optional<std::string> callingNumber;
};

// An error reply a unit sends on its own in the middle of line work.
struct LineError {
  int afterMessages = 1;  // after its N-th message on the line, sent or received
  std::uint8_t code = 0;  // the reply's error code
  bool quiet = false;     // queued with the messages, without sfEvent
};

// Faults and scenarios, as the --sim options of the command-line runner name them.
struct UnitFaults {
  std::optional<int> unplugAfterTransfers;  // every transfer after the N-th fails
  std::optional<int> configByteNotKept;     // index 0..15
  std::vector<std::uint8_t> pendingReply;   // presented first after open (<= 42 bytes)
  bool stuckBusy = false;
  std::optional<int> dropAfterMessages;  // connection dropped after N messages
  std::optional<int> corruptMessage;     // message N (from 0) received with a byte changed
  std::optional<LineError> lineError;
  // The received counter once every stored message has been acknowledged.
  std::optional<int> countAfterReadBack;
};

struct BenchConfig {
  std::array<UnitSetup, 2> units;  // indexed by TUnitRole
  std::array<UnitFaults, 2> faults;
  bool displayBroken = false;  // the unit under test shows nothing
  bool buzzerBroken = false;   // the unit under test makes no sound
  bool noDialTone = false;     // 425 Hz generator off
  bool voltageStays = false;   // the simulator's power cannot be switched off
  // The technician switches the simulator off before closing the notice
  // that asks for it, and takes a second over it.
  bool powerOffBeforeOk = false;
  std::vector<RemoteCall> calls;
  bool withForeignDevice = true;  // a non-matching HID device (keyboard) is present too
};

// Defaults of the virtual bench: reference "10001" at 2001, unit under test
// "10002" at 2002, both version 0x0203.
BenchConfig DefaultBenchConfig();

// Applies one scenario text ("absent ut", "unplug ref after 5", ...) to the
// configuration; returns an error message, empty on success.
std::string ApplyScenario(BenchConfig& config, const std::string& scenario);

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
  VirtualBench(Clock& clock, BenchConfig config);
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

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Answers the console's questions by looking at the bench and carries out its
// notices, like a careful technician would.
class VirtualTechnician {
 public:
  explicit VirtualTechnician(VirtualBench& bench) : bench_(bench) {}
  bool Answer(const std::string& question);
  void CarryOut(const std::string& notice);

 private:
  VirtualBench& bench_;
};

}  // namespace vr512b::sim
