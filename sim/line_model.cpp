#include "sim/line_model.h"

#include <algorithm>
#include <iterator>

namespace vr512b::sim {

namespace {

// Line times, in ms of clock time.
constexpr int kHangUpMs = 20;
constexpr int kCarrierLossMs = 200;  // until a unit notices that its peer has gone
constexpr int kAnswerWaitMs = 10000;
constexpr int kSimulatorNoAnswerMs = 8000;
constexpr int kPhoneNoAnswerMs = 20000;  // inside the console's bound on waiting for idle
constexpr int kDialToneWaitMs = 1000;
constexpr int kNoLineMs = 2000;
constexpr int kDigitMs = 100;
constexpr int kBadNumberMs = 500;
constexpr int kSimulatorRingMs = 1000;
constexpr int kPhoneRingMs = 2000;
constexpr int kHandshakeMs = 300;
constexpr int kIdleHangUpMs = 5000;  // a caller with nothing left to send gives up the line
constexpr int kRetryMs = 50;
constexpr int kRemoteCallDelayMs = 1000;

// One message on the line, kissoff included: Contact ID sends sixteen DTMF
// digits; Low Speed, Secsoa, Korvex and Presto take about a second each.
int MessageMs(std::uint8_t format) {
  return FormatFamily(format) == FormatFamily(fcContactID) ? 1500 : 1000;
}

std::string DialledNumber(const TMessageBlock& message) {
  const auto* begin = message.data() + kMsgNumberField;
  return std::string(begin, std::find(begin, begin + kMsgNumberMaxDigits, std::uint8_t{0}));
}

bool IsDialDigit(char c) {
  return (c >= '0' && c <= '9') || c == '*' || c == '#';
}

// The digits that reach the exchange; separators are not dialled.
std::string DialDigits(const std::string& number) {
  std::string digits;
  std::copy_if(number.begin(), number.end(), std::back_inserter(digits), IsDialDigit);
  return digits;
}

bool ValidNumber(const std::string& number) {
  const bool allowed = std::all_of(number.begin(), number.end(), [](char c) {
    return IsDialDigit(c) || c == ' ' || c == '-' || c == '(' || c == ')';
  });
  return allowed && !DialDigits(number).empty();
}

bool LevelsForAttenuation(const VirtualUnit& unit) {
  const TConfigBlock config = unit.Config();
  return config[cfgLineLevelA] == kAttenuatedLineLevel &&
         config[cfgLineLevelB] == kAttenuatedLineLevel;
}

}  // namespace

LineModel::LineModel(Scheduler& scheduler, const BenchConfig& config)
    : scheduler_(scheduler),
      generator_(!config.noDialTone),
      generatorBroken_(config.noDialTone),
      powerStuckOn_(config.voltageStays),
      remoteCalls_(config.calls.begin(), config.calls.end()) {
  // A unit a remote panel is going to call listens on the telephone line.
  for (const RemoteCall& call : config.calls)
    wiring_[call.target] = Wiring::PhoneLine;
}

void LineModel::Attach(VirtualUnit& underTest, VirtualUnit& reference) {
  units_[urUnderTest] = &underTest;
  units_[urReference] = &reference;
}

SimulatorSnapshot LineModel::Simulator() const {
  return SimulatorSnapshot{lineButton_, attenuationButton_, generator_, power_};
}

void LineModel::SetLineButton(bool pressed) {
  lineButton_ = pressed;
  ConditionsChanged();
}

void LineModel::SetAttenuationButton(bool pressed) {
  attenuationButton_ = pressed;
  ConditionsChanged();
}

void LineModel::SetGenerator(bool on) {
  generator_ = on && !generatorBroken_;
  ConditionsChanged();
}

void LineModel::SetSimulatorPower(bool on) {
  if (!on && powerStuckOn_)
    return;
  power_ = on;
  ConditionsChanged();
}

void LineModel::Wire(TUnitRole unit, Wiring wiring) {
  wiring_[unit] = wiring;
  ConditionsChanged();
}

void LineModel::PlaceCall(const RemoteCall& call) {
  remoteCalls_.push_back(call);
  OfferRemoteCall(call.target, kRemoteCallDelayMs);
}

void LineModel::ConditionsChanged() {
  for (int u = 0; u < 2; ++u)
    Unit(u).LineConditionsChanged();
  CheckPaths();
  for (int u = 0; u < 2; ++u)
    OfferRemoteCall(u, kRemoteCallDelayMs);
}

bool LineModel::HasVoltage(TUnitRole unit) {
  switch (wiring_[unit]) {
    case Wiring::PhoneLine:
      return true;
    case Wiring::Simulator:
      return power_;
    case Wiring::None:
      break;
  }
  return false;
}

bool LineModel::HasDialTone(TUnitRole unit) {
  switch (wiring_[unit]) {
    case Wiring::PhoneLine:
      return true;
    case Wiring::Simulator:
      return power_ && generator_;
    case Wiring::None:
      break;
  }
  return false;
}

bool LineModel::HasGeneratorTone(TUnitRole unit) {
  return wiring_[unit] == Wiring::Simulator && power_ && generator_;
}

std::uint8_t LineModel::CallFlags(TUnitRole unit) {
  const Party& p = parties_[unit];
  std::uint8_t flags = 0;
  switch (p.phase) {
    case Phase::Idle:
      break;
    case Phase::Answering:
      flags |= sfAnswerer;
      break;
    case Phase::Ringing:
      flags |= sfRinging;
      break;
    case Phase::Dialing:
    case Phase::Awaiting:
      flags |= sfCaller;
      break;
    case Phase::Connected:
      flags |= p.caller ? sfCaller : sfAnswerer;
      break;
  }
  if (!p.outbox.empty())
    flags |= sfOnLine;
  return flags;
}

bool LineModel::LineLamp(TUnitRole unit) {
  return parties_[unit].phase != Phase::Idle;
}

void LineModel::Enter(int u, Phase phase) {
  parties_[u].phase = phase;
  ++parties_[u].course;
}

void LineModel::Later(int u, std::int64_t delayMs, std::function<void()> action) {
  const std::uint64_t course = parties_[u].course;
  scheduler_.After(delayMs, [this, u, course, action = std::move(action)] {
    if (parties_[u].course == course)
      action();
  });
}

bool LineModel::SimulatorJoins(int a, int b) const {
  return a != b && units_[a]->Plugged() && units_[b]->Plugged() &&
         wiring_[a] == Wiring::Simulator && wiring_[b] == Wiring::Simulator && lineButton_ &&
         power_;
}

bool LineModel::PathHolds(int u) {
  const Party& p = parties_[u];
  if (p.peer == kNobody)
    return true;
  if (p.peer == kRemotePanel)
    return Unit(u).Plugged() && wiring_[u] == Wiring::PhoneLine;
  if (!p.viaPhone)
    return SimulatorJoins(u, p.peer);
  return Unit(u).Plugged() && Unit(p.peer).Plugged() && wiring_[u] == Wiring::PhoneLine &&
         wiring_[p.peer] == Wiring::PhoneLine;
}

int LineModel::FindCallee(int caller) {
  const Party& p = parties_[caller];
  if (!p.viaPhone) {
    const int other = 1 - caller;
    return SimulatorJoins(caller, other) ? other : kNobody;
  }
  if (p.outbox.empty() || wiring_[caller] != Wiring::PhoneLine)
    return kNobody;
  const std::string number = DialDigits(DialledNumber(p.outbox.front()));
  for (int v = 0; v < 2; ++v) {
    if (v != caller && Unit(v).Plugged() && wiring_[v] == Wiring::PhoneLine &&
        DialDigits(Unit(v).Setup().phone) == number) {
      return v;
    }
  }
  return kNobody;
}

void LineModel::Transmit(TUnitRole unit, const TMessageBlock& message) {
  Party& p = parties_[unit];
  p.outbox.push_back(message);
  ++p.idleTimer;
  if (p.phase == Phase::Idle) {
    StartCall(unit);
  } else if (p.phase == Phase::Connected && p.caller && !p.sending && !p.hangingUp) {
    SendNext(unit);
  }
}

void LineModel::StartCall(int u) {
  Party& p = parties_[u];
  Enter(u, Phase::Dialing);
  p.caller = true;
  p.peer = kNobody;
  p.messages = 0;
  p.viaPhone = wiring_[u] == Wiring::PhoneLine;
  if (!HasVoltage(static_cast<TUnitRole>(u))) {
    Later(u, kNoLineMs, [this, u] { Fail(u, evTransmitNoDialTone); });
    return;
  }
  if ((Unit(u).Config()[cfgDialFlags] & dfNoDialToneCheck) != 0) {
    Dial(u);
    return;
  }
  Later(u, kDialToneWaitMs, [this, u] {
    if (HasDialTone(static_cast<TUnitRole>(u))) {
      Dial(u);
    } else {
      Fail(u, evTransmitNoDialTone);
    }
  });
}

void LineModel::Dial(int u) {
  Party& p = parties_[u];
  if (!p.viaPhone) {
    Await(u, scheduler_.Now() + kSimulatorNoAnswerMs);
    return;
  }
  const std::string number = DialledNumber(p.outbox.front());
  if (!ValidNumber(number)) {
    Later(u, kBadNumberMs, [this, u] { Fail(u, evTransmitBadNumber); });
    return;
  }
  const auto dialMs = static_cast<std::int64_t>(DialDigits(number).size()) * kDigitMs;
  Later(u, dialMs, [this, u] { Await(u, scheduler_.Now() + kPhoneNoAnswerMs); });
}

void LineModel::Await(int u, std::int64_t deadline) {
  if (parties_[u].phase != Phase::Awaiting)
    Enter(u, Phase::Awaiting);
  const int callee = FindCallee(u);
  if (callee != kNobody) {
    const Party& c = parties_[callee];
    if (c.phase == Phase::Answering && !parties_[u].viaPhone) {
      Connect(u, callee);
      return;
    }
    if (c.phase == Phase::Idle && Unit(callee).Listening()) {
      Ring(callee, u, parties_[u].viaPhone ? kPhoneRingMs : kSimulatorRingMs);
    }
  }
  if (scheduler_.Now() >= deadline) {
    Fail(u, evTransmitNoAnswer);
    return;
  }
  Later(u, kRetryMs, [this, u, deadline] { Await(u, deadline); });
}

void LineModel::Ring(int callee, int caller, int ringMs) {
  Party& c = parties_[callee];
  Enter(callee, Phase::Ringing);
  c.caller = false;
  c.peer = caller;
  c.viaPhone = parties_[caller].viaPhone;
  parties_[caller].peer = callee;
  Later(callee, ringMs, [this, callee, caller] {
    if (parties_[caller].phase != Phase::Awaiting || !PathHolds(callee)) {
      ReleaseParty(callee);
      return;
    }
    Unit(callee).PlayAnswerSignals();
    Connect(caller, callee);
  });
}

void LineModel::Connect(int caller, int callee) {
  const bool viaPhone = parties_[caller].viaPhone;
  for (const int u : {caller, callee}) {
    Party& p = parties_[u];
    Enter(u, Phase::Connected);
    p.caller = u == caller;
    p.peer = u == caller ? callee : caller;
    p.viaPhone = viaPhone;
    p.messages = 0;
    p.sending = false;
  }
  if (DropsNow(callee)) {
    Later(callee, kHandshakeMs, [this, callee] { ReleaseParty(callee); });
  }
  // The handshake occupies the line like a message does.
  parties_[caller].sending = true;
  Later(caller, kHandshakeMs, [this, caller] {
    parties_[caller].sending = false;
    if (DropsNow(caller)) {
      ReleaseParty(caller);
    } else {
      SendNext(caller);
    }
  });
}

void LineModel::SendNext(int u) {
  Party& p = parties_[u];
  if (p.outbox.empty()) {
    const std::uint64_t timer = ++p.idleTimer;
    Later(u, kIdleHangUpMs, [this, u, timer] {
      if (parties_[u].idleTimer == timer)
        ReleaseParty(u);
    });
    return;
  }
  p.sending = true;
  Later(u, MessageMs(p.outbox.front()[1]), [this, u] { Deliver(u); });
}

void LineModel::Deliver(int u) {
  Party& p = parties_[u];
  p.sending = false;
  const int r = p.peer;
  if (r == kNobody || r == kRemotePanel || !PathHolds(u)) {
    Fail(u, evTransmitNoAcknowledge);
    return;
  }
  const TMessageBlock message = p.outbox.front();
  const std::uint8_t format = message[1];
  VirtualUnit& receiver = Unit(r);
  if (!receiver.Accepts(format)) {
    Fail(u, evTransmitBadAnswer);
    return;
  }
  // Korvex and Presto get through the attenuated line whatever the levels.
  const bool levelSensitive = FormatFamily(format) >= FormatFamily(fcContactID) &&
                              FormatFamily(format) <= FormatFamily(fcSecsoa);
  if (!p.viaPhone && attenuationButton_ && levelSensitive &&
      !(LevelsForAttenuation(Unit(u)) && LevelsForAttenuation(receiver))) {
    Fail(u, evTransmitNoAcknowledge);
    return;
  }
  p.outbox.pop_front();
  receiver.ReceiveMessage(format, p.viaPhone ? Unit(u).Setup().phone : std::string(),
                          message.data() + kMsgDataField, kMsgDataFieldSize);
  Unit(u).QueueEvent(evTransmitted);
  Unit(u).MessageSent();
  ++p.messages;
  ++parties_[r].messages;
  if (DropsNow(r))
    ReleaseParty(r);
  if (DropsNow(u)) {
    ReleaseParty(u);
    return;
  }
  SendNext(u);
}

bool LineModel::DropsNow(int u) {
  const auto& limit = Unit(u).Faults().dropAfterMessages;
  return limit && parties_[u].messages >= *limit;
}

void LineModel::Fail(int u, std::uint8_t event) {
  Unit(u).QueueEvent(event);
  ReleaseParty(u);
}

void LineModel::Release(TUnitRole unit) {
  ReleaseParty(unit);
}

void LineModel::ReleaseParty(int u) {
  Party& p = parties_[u];
  const int peer = p.peer;
  Enter(u, Phase::Idle);
  p.caller = false;
  p.peer = kNobody;
  p.sending = false;
  p.hangingUp = false;
  p.messages = 0;
  p.outbox.clear();
  ++p.idleTimer;
  if (peer == kRemotePanel) {
    activeRemoteCall_.reset();
  } else if (peer != kNobody && parties_[peer].peer == u) {
    if (parties_[peer].phase == Phase::Ringing) {
      ReleaseParty(peer);
    } else if (parties_[peer].phase == Phase::Connected) {
      Later(peer, kCarrierLossMs, [this, peer] { PeerLost(peer); });
    }
  }
  OfferRemoteCall(u, kRemoteCallDelayMs);
}

void LineModel::PeerLost(int u) {
  const Party& p = parties_[u];
  if (p.caller && p.sending)
    Unit(u).QueueEvent(evTransmitNoAcknowledge);
  ReleaseParty(u);
}

void LineModel::HangUp(TUnitRole unit) {
  Party& p = parties_[unit];
  if (p.phase == Phase::Idle) {
    p.outbox.clear();
    return;
  }
  if (p.hangingUp)
    return;
  Enter(unit, p.phase);  // whatever the call was about to do is off
  p.hangingUp = true;
  p.sending = false;
  ++p.idleTimer;
  const int u = unit;
  Later(u, kHangUpMs, [this, u] { ReleaseParty(u); });
}

void LineModel::Answer(TUnitRole unit) {
  Party& p = parties_[unit];
  const int u = unit;
  if (p.phase == Phase::Ringing) {
    if (p.peer == kRemotePanel) {
      AnswerRemoteCall(u);
    } else if (parties_[p.peer].phase == Phase::Awaiting) {
      Connect(p.peer, u);
    }
    return;
  }
  if (p.phase != Phase::Idle)
    return;
  Enter(u, Phase::Answering);
  p.caller = false;
  p.peer = kNobody;
  Later(u, kAnswerWaitMs, [this, u] { ReleaseParty(u); });
}

void LineModel::ConfigChanged(TUnitRole unit) {
  OfferRemoteCall(unit, kRemoteCallDelayMs);
}

void LineModel::CheckPaths() {
  for (int u = 0; u < 2; ++u) {
    const Party& p = parties_[u];
    if (p.phase != Phase::Connected && p.phase != Phase::Ringing)
      continue;
    if (PathHolds(u))
      continue;
    if (p.phase == Phase::Ringing) {
      ReleaseParty(u);
    } else if (p.caller || p.peer == kRemotePanel) {
      // The answering unit notices the loss through its caller going away.
      if (p.sending && p.caller)
        Unit(u).QueueEvent(evTransmitNoAcknowledge);
      ReleaseParty(u);
    }
  }
}

void LineModel::OfferRemoteCall(int u, int delayMs) {
  if (remoteCalls_.empty())
    return;
  scheduler_.After(delayMs, [this, u] { StartRemoteCall(u); });
}

void LineModel::StartRemoteCall(int u) {
  VirtualUnit& unit = Unit(u);
  Party& p = parties_[u];
  if (activeRemoteCall_ || !unit.Plugged() || wiring_[u] != Wiring::PhoneLine ||
      p.phase != Phase::Idle || !unit.Listening()) {
    return;
  }
  const auto call = std::find_if(remoteCalls_.begin(), remoteCalls_.end(),
                                 [u](const RemoteCall& c) { return c.target == u; });
  if (call == remoteCalls_.end())
    return;
  activeRemoteCall_ = *call;
  remoteCalls_.erase(call);
  Enter(u, Phase::Ringing);
  p.caller = false;
  p.peer = kRemotePanel;
  p.viaPhone = true;
  Later(u, kPhoneRingMs, [this, u] { AnswerRemoteCall(u); });
}

void LineModel::AnswerRemoteCall(int u) {
  Party& p = parties_[u];
  Enter(u, Phase::Connected);
  p.caller = false;
  p.peer = kRemotePanel;
  p.messages = 0;
  Unit(u).PlayAnswerSignals();
  Later(u, kHandshakeMs + MessageMs(activeRemoteCall_->format),
        [this, u] { DeliverRemoteCall(u); });
}

void LineModel::DeliverRemoteCall(int u) {
  const RemoteCall& call = *activeRemoteCall_;
  if (Unit(u).Accepts(call.format)) {
    Unit(u).ReceiveMessage(call.format, call.callingNumber.value_or(std::string()),
                           call.data.data(), call.data.size());
  }
  // The panel has said what it had to say and puts the receiver down.
  Later(u, kCarrierLossMs, [this, u] { ReleaseParty(u); });
}

}  // namespace vr512b::sim
