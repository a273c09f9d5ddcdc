#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "device/device_types.h"

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

// Units that answer from a recorded HID trace instead of the model: the
// roles named, all from the one trace.
struct ReplaySetup {
  std::string path;
  std::array<bool, 2> roles{};  // indexed by TUnitRole
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
  std::optional<ReplaySetup> replay;
  bool withForeignDevice = true;  // a non-matching HID device (keyboard) is present too
};

// Defaults of the virtual bench: reference "10001" at 2001, unit under test
// "10002" at 2002, both version 0x0203.
BenchConfig DefaultBenchConfig();

// One scenario or fault of the --sim option: a keyword and its arguments.
// A new fault is one more row of AllScenarios(); the runner's help and the
// checks of the documentation are made from the table.
struct BenchScenario {
  struct Words {
    const std::string& text;                // the scenario as given
    const std::vector<std::string>& words;  // words[0] is the keyword
    TUnitRole role;                         // for a unit's scenario: the unit words[1] names
  };

  std::string_view keyword;
  // The arguments after the keyword, as the help shows them; a unit's
  // scenario starts with РОЛЬ (ut or ref).
  std::string_view arguments;
  std::string_view hint;  // more about the arguments, for the error message
  // Changes the configuration; false, with the configuration unchanged, when
  // the arguments do not fit.
  bool (*apply)(BenchConfig& config, const Words& scenario);

  bool ForUnit() const { return arguments.starts_with("РОЛЬ"); }
  std::string Usage() const;  // keyword and arguments
};
std::span<const BenchScenario> AllScenarios();

// Applies one scenario text ("absent ut", "unplug ref after 5", ...) to the
// configuration; returns an error message, empty on success.
std::string ApplyScenario(BenchConfig& config, const std::string& scenario);

}  // namespace vr512b::sim
