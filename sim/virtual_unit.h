#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "device/device_types.h"
#include "sim/line_port.h"
#include "sim/scheduler.h"
#include "sim/virtual_bench.h"

namespace vr512b::sim {

// Reporting-format bits of FormatMask that accept a format code (0 for none).
std::uint8_t FormatMaskFor(std::uint8_t format);

// One VR512B unit: its USB face (reports 1 to 3), its memory, display,
// indicators and buzzer. Calls and the line are left to the line model.
class VirtualUnit {
 public:
  VirtualUnit(TUnitRole role, const UnitSetup& setup, const UnitFaults& faults, bool displayBroken,
              bool buzzerBroken, Scheduler& scheduler, LinePort& line);

  TUnitRole Role() const { return role_; }
  const UnitSetup& Setup() const { return setup_; }
  bool Present() const { return present_; }
  bool Plugged() const { return plugged_; }
  // Changes with every plug-in, so handles from before a power loss stay dead.
  std::uint64_t PlugGeneration() const { return plugGeneration_; }

  void PlugIn();
  void Unplug();
  void HostOpened();
  void HostClosed();
  bool OpenByHost() const { return openCount_ > 0; }
  // Counts one feature-report transfer; false (and the unit unplugged) once
  // the transfers allowed by the unplug fault are used up.
  bool CountTransfer();

  TStatusBlock Status();
  TConfigBlock Config() const { return config_; }
  TMessageBlock PresentReply();
  void Command(std::uint8_t opcode, std::uint8_t param1, std::uint8_t param2);
  void WriteConfig(const TConfigBlock& block);
  void WriteMessage(const TMessageBlock& block);

  // What the line model does to the unit.
  void QueueEvent(std::uint8_t code);
  void ReceiveMessage(std::uint8_t format, const std::string& callingNumber,
                      const std::uint8_t* data, std::size_t size);
  void MessageSent() {
    ++sent_;
    LineMessageDone();
  }
  void PlayAnswerSignals();
  void LineConditionsChanged();

  std::uint8_t Mode() const { return config_[cfgMode]; }
  std::uint8_t Volume() const { return config_[cfgVolume]; }
  bool Listening() const { return Mode() == mdMonitor || Mode() == mdAnswerCalls; }
  bool Accepts(std::uint8_t format) const {
    return (config_[cfgFormatMask] & FormatMaskFor(format)) != 0;
  }
  const UnitFaults& Faults() const { return faults_; }

  UnitSnapshot Snapshot();

 private:
  struct Reply {
    std::uint64_t id = 0;
    TMessageBlock block{};
  };

  std::uint8_t StateFlags();
  void NoteBusyBits();
  void Acknowledge(std::uint8_t opcode);
  void ClearReplies();
  void StoreReceived(TMessageBlock block);
  void LineMessageDone();
  void EndLineTest();
  void StartLineTest();
  void CheckVoltage();
  void ResetVolatileState();
  Reply MakeReply(const TMessageBlock& block) { return Reply{++nextReplyId_, block}; }

  const TUnitRole role_;
  const UnitSetup setup_;
  const UnitFaults faults_;
  const bool displayBroken_;
  const bool buzzerBroken_;
  Scheduler& scheduler_;
  LinePort& line_;

  bool present_;
  bool plugged_;
  std::uint64_t plugGeneration_ = 0;
  int openCount_ = 0;
  int transfers_ = 0;

  TConfigBlock config_{};
  std::string display_;
  bool toneOn_ = false;
  int beepsHeard_ = 0;
  std::uint64_t beepSeries_ = 0;

  // Events and errors are presented before messages and alone raise sfEvent,
  // so a console that reads a reply only when sfEvent is up never swallows a
  // received message.
  std::deque<Reply> events_;
  std::deque<Reply> messages_;
  std::optional<Reply> pendingAfterOpen_;
  std::optional<Reply> presented_;
  std::uint64_t nextReplyId_ = 0;

  int received_ = 0;
  int sent_ = 0;
  int receivedSinceClear_ = 0;
  int lineMessages_ = 0;  // sent and received over the line since power-on

  bool lineTestRunning_ = false;
  bool lineFault_ = false;
  std::uint64_t lineTestRun_ = 0;
  bool voltageSeen_ = true;  // as the line-voltage watch last reported it
  std::uint8_t stuckBits_ = 0;
};

}  // namespace vr512b::sim
