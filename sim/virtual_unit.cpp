#include "sim/virtual_unit.h"

#include <algorithm>

namespace vr512b::sim {

namespace {

constexpr std::size_t kDisplayChars = 23;
// Line levels of a unit as it leaves the factory.
constexpr std::uint8_t kFactoryLineLevel = 3;

constexpr int kLineTestMs = 1500;
constexpr int kVoltageLossMs = 300;  // a short dip is not reported
constexpr int kVoltageReturnMs = 1000;
constexpr int kAnswerSignals = 8;
constexpr int kAnswerSignalSpacingMs = 100;

// A corrupted message has this data byte flipped; the byte lies inside every
// message the console sends, so its comparison must notice.
constexpr int kCorruptedByte = kMsgDataField + 2;

}  // namespace

std::uint8_t FormatMaskFor(std::uint8_t format) {
  switch (FormatFamily(format)) {
    case FormatFamily(fcContactID):
      return fmContactID;
    case FormatFamily(fcLowSpeed):
      return fmLowSpeed;
    case FormatFamily(fcSecsoa):
      return fmSecsoa;
    case FormatFamily(fcKorvex):
      return fmKorvex;
    case FormatFamily(fcPresto):
      return fmPresto;
    default:
      return fmNone;
  }
}

VirtualUnit::VirtualUnit(TUnitRole role, const UnitSetup& setup, const UnitFaults& faults,
                         bool displayBroken, bool buzzerBroken, Scheduler& scheduler,
                         LinePort& line)
    : role_(role),
      setup_(setup),
      faults_(faults),
      displayBroken_(displayBroken),
      buzzerBroken_(buzzerBroken),
      scheduler_(scheduler),
      line_(line),
      present_(setup.present),
      plugged_(setup.present) {
  // Factory settings: normal volume, nothing accepted, line levels mid-way.
  config_[cfgVolume] = kVolumeNormal;
  config_[cfgLineLevelA] = kFactoryLineLevel;
  config_[cfgLineLevelB] = kFactoryLineLevel;
  if (faults_.configByteNotKept)
    config_[*faults_.configByteNotKept] = 0;
  if (plugged_)
    QueueEvent(evPowerOn);
}

void VirtualUnit::PlugIn() {
  if (plugged_)
    return;
  present_ = true;
  plugged_ = true;
  ++plugGeneration_;
  ResetVolatileState();
  QueueEvent(evPowerOn);
}

void VirtualUnit::Unplug() {
  if (!plugged_)
    return;
  plugged_ = false;
  ++plugGeneration_;
  openCount_ = 0;
  ResetVolatileState();
  line_.Release(role_);
}

// The configuration lives in non-volatile memory; everything else goes with
// the power.
void VirtualUnit::ResetVolatileState() {
  display_.clear();
  toneOn_ = false;
  beepsHeard_ = 0;
  ++beepSeries_;
  events_.clear();
  messages_.clear();
  pendingAfterOpen_.reset();
  presented_.reset();
  received_ = 0;
  sent_ = 0;
  receivedSinceClear_ = 0;
  lineMessages_ = 0;
  EndLineTest();
  lineFault_ = false;
  voltageSeen_ = true;
  stuckBits_ = 0;
}

void VirtualUnit::HostOpened() {
  ++openCount_;
  if (openCount_ == 1 && !faults_.pendingReply.empty()) {
    TMessageBlock block{};
    std::copy_n(faults_.pendingReply.begin(), std::min(faults_.pendingReply.size(), block.size()),
                block.begin());
    if (block[0] != rtNone)
      pendingAfterOpen_ = MakeReply(block);
  }
}

void VirtualUnit::HostClosed() {
  if (openCount_ > 0)
    --openCount_;
}

bool VirtualUnit::CountTransfer() {
  if (faults_.unplugAfterTransfers && transfers_ >= *faults_.unplugAfterTransfers) {
    Unplug();
    return false;
  }
  ++transfers_;
  return true;
}

std::uint8_t VirtualUnit::StateFlags() {
  std::uint8_t flags = line_.CallFlags(role_);
  if (lineTestRunning_)
    flags |= sfLineTest;
  if (lineFault_ || (Mode() == mdLineVoltageWatch && !voltageSeen_))
    flags |= sfLineFault;
  const bool pendingEvent = pendingAfterOpen_ && pendingAfterOpen_->block[0] != rtMessage;
  if (!events_.empty() || pendingEvent)
    flags |= sfEvent;
  if (faults_.stuckBusy) {
    stuckBits_ |= flags & kBusyMask;
    flags |= stuckBits_;
  }
  return flags;
}

// A stuck unit keeps a busy bit that was set even for a moment between polls.
void VirtualUnit::NoteBusyBits() {
  if (faults_.stuckBusy)
    StateFlags();
}

TStatusBlock VirtualUnit::Status() {
  // Bytes 0 to 2 carry the firmware version and the mode; the console ignores
  // them, so a console that misreads the framing shows up in bytes 3 to 5.
  return TStatusBlock{static_cast<std::uint8_t>(setup_.version >> 8),
                      static_cast<std::uint8_t>(setup_.version & 0xFF),
                      Mode(),
                      static_cast<std::uint8_t>(received_ & 0xFF),
                      static_cast<std::uint8_t>(sent_ & 0xFF),
                      StateFlags()};
}

TMessageBlock VirtualUnit::PresentReply() {
  if (pendingAfterOpen_) {
    presented_ = pendingAfterOpen_;
  } else if (!events_.empty()) {
    presented_ = events_.front();
  } else if (!messages_.empty()) {
    presented_ = messages_.front();
  } else {
    presented_.reset();
    return TMessageBlock{};
  }
  return presented_->block;
}

void VirtualUnit::Acknowledge(std::uint8_t opcode) {
  if (!presented_)
    return;
  const std::uint8_t type = presented_->block[0];
  const bool matches =
      opcode == OpAckEvent ? type == rtEvent : type == rtMessage || type == rtError;
  if (!matches)
    return;
  const std::uint64_t id = presented_->id;
  presented_.reset();
  if (pendingAfterOpen_ && pendingAfterOpen_->id == id) {
    pendingAfterOpen_.reset();
    return;
  }
  for (auto* queue : {&events_, &messages_}) {
    auto it = std::find_if(queue->begin(), queue->end(),
                           [id](const Reply& reply) { return reply.id == id; });
    if (it != queue->end()) {
      queue->erase(it);
      break;
    }
  }
  if (type == rtMessage && messages_.empty() && faults_.countAfterReadBack)
    received_ = *faults_.countAfterReadBack;
}

// The reply presented before a clear was held for a different queue, so it is
// forgotten too: a late acknowledgement must not remove a newer reply.
void VirtualUnit::ClearReplies() {
  events_.clear();
  messages_.clear();
  presented_.reset();
  receivedSinceClear_ = 0;
}

void VirtualUnit::Command(std::uint8_t opcode, std::uint8_t param1, std::uint8_t) {
  switch (opcode) {
    case OpSound:
      toneOn_ = param1 == sndContinuousTone;
      break;
    case OpAckReply:
    case OpAckEvent:
      Acknowledge(opcode);
      break;
    case OpAnswer:
      beepsHeard_ = 0;
      PlayAnswerSignals();
      line_.Answer(role_);
      break;
    case OpLineTest:
      StartLineTest();
      break;
    case OpHangUp:
      EndLineTest();
      line_.HangUp(role_);
      break;
    case OpClear:
      ClearReplies();
      EndLineTest();
      lineFault_ = false;
      line_.Release(role_);
      break;
    case OpClearRegisters:
      ClearReplies();
      EndLineTest();
      lineFault_ = false;
      received_ = 0;
      sent_ = 0;
      line_.Release(role_);
      break;
    default:
      break;  // the firmware ignores opcodes it does not know
  }
  NoteBusyBits();
}

void VirtualUnit::StartLineTest() {
  lineTestRunning_ = true;
  lineFault_ = false;
  const std::uint64_t run = ++lineTestRun_;
  scheduler_.After(kLineTestMs, [this, run] {
    if (run != lineTestRun_ || !lineTestRunning_)
      return;
    lineTestRunning_ = false;
    if (!line_.HasGeneratorTone(role_)) {
      lineFault_ = true;
      QueueEvent(evNoDialTone);
    }
  });
}

void VirtualUnit::EndLineTest() {
  lineTestRunning_ = false;
  ++lineTestRun_;
}

void VirtualUnit::WriteConfig(const TConfigBlock& block) {
  const bool wasWatching = Mode() == mdLineVoltageWatch;
  const TConfigBlock old = config_;
  config_ = block;
  if (faults_.configByteNotKept) {
    const int k = *faults_.configByteNotKept;
    config_[k] = old[k];
  }
  if (!wasWatching && Mode() == mdLineVoltageWatch) {
    voltageSeen_ = true;
    scheduler_.After(kVoltageLossMs, [this] { CheckVoltage(); });
  }
  line_.ConfigChanged(role_);
  NoteBusyBits();
}

void VirtualUnit::LineConditionsChanged() {
  if (Mode() != mdLineVoltageWatch)
    return;
  const int delay = line_.HasVoltage(role_) ? kVoltageReturnMs : kVoltageLossMs;
  const std::uint64_t generation = plugGeneration_;
  scheduler_.After(delay, [this, generation] {
    if (generation == plugGeneration_)
      CheckVoltage();
  });
}

void VirtualUnit::CheckVoltage() {
  if (!plugged_ || Mode() != mdLineVoltageWatch)
    return;
  const bool voltage = line_.HasVoltage(role_);
  if (voltage == voltageSeen_)
    return;
  voltageSeen_ = voltage;
  QueueEvent(voltage ? evLineVoltageBack : evNoLineVoltage);
}

void VirtualUnit::WriteMessage(const TMessageBlock& block) {
  switch (block[0]) {
    case mcDisplayText: {
      const auto* text = block.data() + kMsgDataField;
      const auto* end = std::find(text, text + kDisplayChars, std::uint8_t{0});
      display_.assign(text, end);
      break;
    }
    case mcTransmit:
      if (FormatMaskFor(block[1]) == 0) {
        QueueEvent(evTransmitBadMessage);
      } else {
        line_.Transmit(role_, block);
      }
      break;
    case mcTestMessage: {
      // Stored as if it had come over the line, bytes 1 to 41 as written.
      TMessageBlock reply = block;
      reply[0] = rtMessage;
      StoreReceived(reply);
      break;
    }
    default:
      break;
  }
  NoteBusyBits();
}

void VirtualUnit::QueueEvent(std::uint8_t code) {
  TMessageBlock block{};
  block[0] = rtEvent;
  block[1] = code;
  events_.push_back(MakeReply(block));
}

void VirtualUnit::ReceiveMessage(std::uint8_t format, const std::string& callingNumber,
                                 const std::uint8_t* data, std::size_t size) {
  TMessageBlock block{};
  block[0] = rtMessage;
  block[1] = format;
  std::copy_n(callingNumber.begin(),
              std::min<std::size_t>(callingNumber.size(), kMsgNumberFieldSize - 1),
              block.begin() + kMsgNumberField);
  if (data) {
    std::copy_n(data, std::min<std::size_t>(size, kMsgDataFieldSize),
                block.begin() + kMsgDataField);
  }
  StoreReceived(block);
  LineMessageDone();
}

// A reception error goes with the messages and raises no sfEvent; any other
// error is reported like an event.
void VirtualUnit::LineMessageDone() {
  ++lineMessages_;
  const std::optional<LineError>& error = faults_.lineError;
  if (!error || lineMessages_ != error->afterMessages)
    return;
  TMessageBlock block{};
  block[0] = rtError;
  block[1] = error->code;
  (error->quiet ? messages_ : events_).push_back(MakeReply(block));
}

void VirtualUnit::StoreReceived(TMessageBlock block) {
  if (faults_.corruptMessage && receivedSinceClear_ == *faults_.corruptMessage) {
    block[kCorruptedByte] ^= 0x01;
  }
  ++receivedSinceClear_;
  ++received_;
  messages_.push_back(MakeReply(block));
}

void VirtualUnit::PlayAnswerSignals() {
  if (config_[cfgFormatMask] == 0)
    return;
  const std::uint64_t series = ++beepSeries_;
  for (int i = 1; i <= kAnswerSignals; ++i) {
    scheduler_.After(i * kAnswerSignalSpacingMs, [this, series] {
      if (series == beepSeries_ && plugged_ && Volume() > 0 && !buzzerBroken_)
        ++beepsHeard_;
    });
  }
}

UnitSnapshot VirtualUnit::Snapshot() {
  UnitSnapshot s;
  s.present = present_;
  s.plugged = plugged_;
  s.serial = setup_.serial;
  s.phone = setup_.phone;
  s.mode = Mode();
  s.volume = Volume();
  s.formatMask = config_[cfgFormatMask];
  if (!plugged_)
    return s;
  s.openByHost = OpenByHost();
  s.display = displayBroken_ ? std::string() : display_;
  s.lineIndicator = line_.LineLamp(role_);
  s.computerIndicator = OpenByHost();
  s.toneOn = toneOn_ && !buzzerBroken_;
  s.toneVolume = s.toneOn ? Volume() : 0;
  s.beepsSinceAnswer = beepsHeard_;
  s.stateFlags = StateFlags();
  s.received = received_;
  s.sent = sent_;
  return s;
}

}  // namespace vr512b::sim
