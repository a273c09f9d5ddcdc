#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "sim/scheduler.h"
#include "sim/virtual_bench.h"
#include "sim/virtual_unit.h"

namespace vr512b::sim {

// The telephone side of the bench: the line simulator with its switches, the
// phone line with the units' numbers, the wiring of each unit, the calls
// between the units and from remote alarm panels, and the time each step of a
// call takes on the line.
class LineModel final : public LinePort {
 public:
  LineModel(Scheduler& scheduler, const BenchConfig& config);
  void Attach(VirtualUnit& underTest, VirtualUnit& reference);

  SimulatorSnapshot Simulator() const;
  Wiring WiringOf(TUnitRole unit) const { return wiring_[unit]; }
  void SetLineButton(bool pressed);
  void SetAttenuationButton(bool pressed);
  void SetGenerator(bool on);
  void SetSimulatorPower(bool on);
  void Wire(TUnitRole unit, Wiring wiring);
  void PlaceCall(const RemoteCall& call);
  // Something changed that a unit on the line may notice (plugging too).
  void ConditionsChanged();

  bool HasVoltage(TUnitRole unit) override;
  bool HasDialTone(TUnitRole unit) override;
  bool HasGeneratorTone(TUnitRole unit) override;
  void Answer(TUnitRole unit) override;
  void HangUp(TUnitRole unit) override;
  void Release(TUnitRole unit) override;
  void Transmit(TUnitRole unit, const TMessageBlock& message) override;
  void ConfigChanged(TUnitRole unit) override;
  std::uint8_t CallFlags(TUnitRole unit) override;
  bool LineLamp(TUnitRole unit) override;

 private:
  static constexpr int kNobody = -1;
  static constexpr int kRemotePanel = 2;

  enum class Phase { Idle, Answering, Ringing, Dialing, Awaiting, Connected };

  struct Party {
    Phase phase = Phase::Idle;
    bool caller = false;
    int peer = kNobody;
    bool viaPhone = false;
    bool sending = false;
    bool hangingUp = false;
    int messages = 0;  // delivered or received in this call
    std::uint64_t idleTimer = 0;
    std::deque<TMessageBlock> outbox;
    // Bumped whenever the party's course changes; a timer set before that
    // belongs to a course that no longer exists.
    std::uint64_t course = 0;
  };

  VirtualUnit& Unit(int u) { return *units_[u]; }
  void Enter(int u, Phase phase);
  void Later(int u, std::int64_t delayMs, std::function<void()> action);
  bool SimulatorJoins(int a, int b) const;
  bool PathHolds(int u);
  int FindCallee(int caller);
  void StartCall(int u);
  void Dial(int u);
  void Await(int u, std::int64_t deadline);
  void Ring(int callee, int caller, int ringMs);
  void Connect(int caller, int callee);
  void SendNext(int u);
  void Deliver(int u);
  void Fail(int u, std::uint8_t event);
  void ReleaseParty(int u);
  void PeerLost(int u);
  bool DropsNow(int u);
  void CheckPaths();
  void OfferRemoteCall(int u, int delayMs);
  void StartRemoteCall(int u);
  void AnswerRemoteCall(int u);
  void DeliverRemoteCall(int u);

  Scheduler& scheduler_;
  std::array<VirtualUnit*, 2> units_{};
  // The bench starts as the first notice of the data tests asks: both units
  // on the simulator, 'ЛИНИЯ' pressed and 'ЗАТУХАНИЕ' released (the short
  // data test, which shows no notice, passes so too).
  std::array<Wiring, 2> wiring_{Wiring::Simulator, Wiring::Simulator};
  std::array<Party, 2> parties_;
  bool lineButton_ = true;
  bool attenuationButton_ = false;
  bool generator_ = true;
  bool power_ = true;
  const bool generatorBroken_;
  const bool powerStuckOn_;
  std::deque<RemoteCall> remoteCalls_;
  std::optional<RemoteCall> activeRemoteCall_;
};

}  // namespace vr512b::sim
