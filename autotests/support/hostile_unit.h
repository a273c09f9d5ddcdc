#pragma once

// Two units whose every answer comes from an untrusted byte string, and the
// console driven against them. The fuzz target of the reply handling and the
// regression tests of its findings replay inputs through this one path.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <deque>
#include <exception>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "app/diag_console.h"
#include "autotests/support/console_harness.h"
#include "device/clock.h"
#include "device/device_link.h"
#include "device/hid_library.h"
#include "device/report_layer.h"
#include "device/system_error.h"
#include "device/unit_commands.h"
#include "procedures/test_failure.h"

namespace vr512b::testing {

// The input, one byte at a time. Reading past its end gives zeros; once it is
// exhausted the units fail every transfer, which is what ends procedures that
// would otherwise run for ever (the monitor, a unit that stays busy).
class ByteFeed {
 public:
  ByteFeed(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool Exhausted() const { return pos_ >= size_; }
  std::uint8_t Next() { return pos_ < size_ ? data_[pos_++] : 0; }
  void Take(std::uint8_t* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
      out[i] = Next();
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// The unit under test (serial 2) and the reference unit (serial 10001). Their
// identities are fixed so that every test gets past opening; what they answer
// afterwards is up to the input:
//   status read: one byte, the state flags (the received counter follows the
//     stored test messages, so that the functioning test can reach its
//     read-back);
//   configuration read: one byte; even gives back the last block written,
//     odd is followed by 16 raw bytes;
//   reply read: one control byte; bit 7 makes the next write (usually the
//     acknowledgement) fail, bits 0-3 (modulo 9) choose the block:
//     0 nothing waiting;
//     1 the oldest message written to either unit and not yet acknowledged,
//       looped back as received (a failed acknowledgement presents it again);
//     2 the same with 1 to 4 (position, value) patches from the input;
//     3 an event, 4 an error, with the code from the next byte;
//     5 any type and code from the next two bytes;
//     6 42 raw bytes;
//     7 a message with the format from the next byte and 40 raw bytes of
//       number and data;
//     8 any message ever written, clears included, picked by the next byte:
//       a unit that presents old messages again or out of order.
class HostileUnits final : public HidLibrary {
 public:
  static constexpr std::int32_t kReferenceSerial = 10001;

  HostileUnits(ByteFeed& feed, VirtualClock& clock) : feed_(feed), clock_(clock) {}

  std::optional<std::vector<std::string>> EnumeratePaths() override {
    return std::vector<std::string>{kPaths[0], kPaths[1]};
  }
  HidHandle Open(const std::string& path) override {
    for (int i = 0; i < 2; ++i) {
      if (path != kPaths[i])
        continue;
      if (open_[i])
        return kInvalidHandle;
      open_[i] = true;
      return i + 1;
    }
    return kInvalidHandle;
  }
  void Close(HidHandle handle) override {
    const int unit = Index(handle);
    if (unit >= 0)
      open_[unit] = false;
  }
  Outcome<void> GetAttributes(HidHandle handle, HidAttributes& attributes) override {
    if (Index(handle) < 0)
      return Fail();
    attributes = {kUnitVendorId, kUnitProductId, 0x0105};
    return {};
  }
  Outcome<void> GetSerialNumberString(HidHandle handle, void* buffer, std::size_t length) override {
    const int unit = Index(handle);
    if (unit < 0)
      return Fail();
    const std::u16string_view serial = unit == 0 ? u"2" : u"10001";
    auto* out = static_cast<char16_t*>(buffer);
    for (std::size_t i = 0; i < serial.size() && i < length / 2; ++i)
      out[i] = serial[i];
    return {};
  }

  FeatureBytes GetFeature(HidHandle handle, std::uint8_t* report, std::size_t length) override {
    clock_.Advance(1);
    const int unit = Index(handle);
    if (unit < 0 || feed_.Exhausted())
      return FailTransfer();
    const std::uint8_t id = report[0];
    std::memset(report, 0, length);
    if (id == kReportShort && length == kShortReportLength) {
      report[kStatusReceivedCount] = static_cast<std::uint8_t>(std::min<std::size_t>(
          std::count_if(pending_.begin(), pending_.end(),
                        [](const TMessageBlock& b) { return b[0] == mcTestMessage; }),
          255));
      report[kStatusStateFlags] = feed_.Next();
    } else if (id == kReportConfig && length == kConfigReportLength) {
      if (feed_.Next() & 1)
        feed_.Take(report, std::tuple_size_v<TConfigBlock>);
      else
        std::memcpy(report, config_[unit].data(), config_[unit].size());
    } else if (id == kReportMessage && length == kMessageReportLength) {
      Reply(report);
    } else {
      return FailTransfer();
    }
    // The byte behind the block is not part of it; the console must drop it.
    report[length - 1] = 0xA5;
    return length;
  }

  FeatureBytes SetFeature(HidHandle handle, const std::uint8_t* report,
                          std::size_t length) override {
    clock_.Advance(1);
    const int unit = Index(handle);
    const bool refused = failNextWrite_;
    failNextWrite_ = false;
    if (unit < 0 || feed_.Exhausted() || refused)
      return FailTransfer();
    if (report[0] == kReportShort && length == kShortReportLength) {
      if (report[1] == OpClear) {
        pending_.clear();
      } else if (report[1] == OpAckReply && presented_ && !pending_.empty()) {
        pending_.pop_front();
      }
      presented_ = false;
    } else if (report[0] == kReportConfig && length == kConfigReportLength) {
      std::memcpy(config_[unit].data(), report + 1, config_[unit].size());
    } else if (report[0] == kReportMessage && length == kMessageReportLength &&
               (report[1] == mcTestMessage || report[1] == mcTransmit) &&
               history_.size() < kMaxWritten) {
      TMessageBlock block;
      std::memcpy(block.data(), report + 1, block.size());
      pending_.push_back(block);
      history_.push_back(block);
    }
    return length;
  }

  int OpenUnits() const { return int{open_[0]} + int{open_[1]}; }

 private:
  static constexpr const char* kPaths[2] = {"hostile/ut", "hostile/ref"};
  static constexpr std::size_t kMaxWritten = 1024;

  int Index(HidHandle handle) const {
    if (handle == 1 || handle == 2) {
      const int unit = static_cast<int>(handle) - 1;
      if (open_[unit])
        return unit;
    }
    return -1;
  }
  static ErrorReason Fail() { return SystemReason(SystemError::IoFailure); }
  static FeatureBytes FailTransfer() { return Fail(); }

  // The message stays queued until its acknowledgement arrives.
  void LoopBack(std::uint8_t* block) {
    if (pending_.empty())
      return;
    std::memcpy(block, pending_.front().data(), kMessageBlockSize);
    block[0] = rtMessage;
    presented_ = true;
  }

  void Reply(std::uint8_t* block) {
    presented_ = false;
    const std::uint8_t control = feed_.Next();
    if (control & 0x80)
      failNextWrite_ = true;
    switch ((control & 0x0F) % 9) {
      case 0:
        break;
      case 1:
        LoopBack(block);
        break;
      case 2: {
        LoopBack(block);
        const int patches = feed_.Next() % 4 + 1;
        for (int i = 0; i < patches; ++i) {
          const std::size_t at = feed_.Next() % kMessageBlockSize;
          block[at] = feed_.Next();
        }
        break;
      }
      case 3:
        block[0] = rtEvent;
        block[1] = feed_.Next();
        break;
      case 4:
        block[0] = rtError;
        block[1] = feed_.Next();
        break;
      case 5:
        feed_.Take(block, 2);
        break;
      case 6:
        feed_.Take(block, kMessageBlockSize);
        break;
      case 7:
        block[0] = rtMessage;
        feed_.Take(block + 1, kMessageBlockSize - 1);
        break;
      default: {
        const std::uint8_t pick = feed_.Next();
        if (!history_.empty()) {
          std::memcpy(block, history_[pick % history_.size()].data(), kMessageBlockSize);
          block[0] = rtMessage;
        }
        break;
      }
    }
  }

  static constexpr std::size_t kMessageBlockSize = std::tuple_size_v<TMessageBlock>;

  ByteFeed& feed_;
  VirtualClock& clock_;
  std::array<bool, 2> open_{};
  std::array<TConfigBlock, 2> config_{};
  std::deque<TMessageBlock> pending_;
  std::vector<TMessageBlock> history_;
  bool presented_ = false;  // the oldest pending message was the last reply read
  bool failNextWrite_ = false;
};

// What went wrong in one run: broken invariants, in words. Empty when the
// console coped.
struct HostileOutcome {
  std::vector<std::string> problems;
  std::vector<std::string> log;
};

// A log line must stay one readable line whatever a unit sends: valid UTF-8,
// no control characters, and short (a reply field is at most 24 bytes).
inline void CheckLogLine(const std::string& line, std::size_t index,
                         std::vector<std::string>& problems) {
  auto report = [&](const char* what) {
    problems.push_back("log line " + std::to_string(index) + " " + what + ": " + line);
  };
  if (line.size() > 300)
    report("is too long");
  for (std::size_t i = 0; i < line.size();) {
    const auto c = static_cast<unsigned char>(line[i]);
    if (c < 0x20 || c == 0x7F) {
      report("has a control character");
      return;
    }
    std::size_t extra = 0;
    if (c >= 0x80) {
      if (c >= 0xC2 && c <= 0xDF) {
        extra = 1;
      } else if (c >= 0xE0 && c <= 0xEF) {
        extra = 2;
      } else if (c >= 0xF0 && c <= 0xF4) {
        extra = 3;
      } else {
        report("is not UTF-8");
        return;
      }
    }
    for (std::size_t k = 1; k <= extra; ++k) {
      if (i + k >= line.size() || (static_cast<unsigned char>(line[i + k]) & 0xC0) != 0x80) {
        report("is not UTF-8");
        return;
      }
    }
    i += extra + 1;
  }
}

// Role-level reads one after another, each chosen by an input byte: reply
// reads, state reads with and without counters, polls and idle waits. They go
// through the console, whose log writer splits the system's error texts.
inline void RunHostileCommands(ByteFeed& feed, DiagConsole& console, const RecordingView& view,
                               std::vector<std::string>& problems) {
  console.link().SetRefSerial(HostileUnits::kReferenceSerial);
  if (!console.link().OpenDevice(urUnderTest) || !console.link().OpenDevice(urReference))
    problems.push_back("the units did not open");
  UnitSteps unit = console.unit();
  while (!feed.Exhausted()) {
    const std::uint8_t op = feed.Next();
    const TUnitRole role = (op & 0x10) ? urReference : urUnderTest;
    const std::size_t before = view.log.size();
    try {
      switch (op % 5) {
        case 0: {
          TMessageBlock reply;
          unit.ReadReply(role, reply);
          // A reply read that returns names events and errors in one line and
          // says nothing about messages or an empty queue.
          const std::size_t added = view.log.size() - before;
          const bool named = reply[0] == rtEvent || reply[0] == rtError;
          if (added != (named ? 1u : 0u) || (reply[0] != rtNone && reply[0] != rtMessage && !named))
            problems.push_back("reply type " + std::to_string(reply[0]) + " gave " +
                               std::to_string(added) + " log lines");
          break;
        }
        case 1: {
          int received = -1;
          int sent = -1;
          unit.ReadState(role, &received, &sent);
          if (received < 0 || received > 255 || sent < 0 || sent > 255)
            problems.push_back("counters out of range");
          break;
        }
        case 2:
          unit.ReadState(role);
          break;
        case 3:
          unit.PollState(role);
          break;
        default:
          unit.WaitIdle(role);
          break;
      }
    } catch (const TestFailure&) {
      // A failed exchange or an unknown reply type: the next command goes on.
    }
  }
  console.link().CloseDevices();
}

inline TestParameterValues HostileParameters(std::uint8_t boxes, std::uint8_t phones) {
  TestParameterValues p;
  p.NameVR512BSample = std::to_string(HostileUnits::kReferenceSerial);
  p.IDContact = boxes & 0x01;
  p.LowSpeed = boxes & 0x02;
  p.Secsoa = boxes & 0x04;
  p.Korvex = boxes & 0x08;
  p.Presto = boxes & 0x10;
  p.ShortTest = boxes & 0x20;
  p.KorvexTestMsg = boxes & 0x40;
  p.CBNoTone = boxes & 0x80;
  // Numbers from empty to longer than the 14-byte field, with blanks and
  // control characters around them.
  const std::string digits(phones & 0x1F, '7');
  // Built by appending: GCC 12 sees a false overlap (-Wrestrict) in
  // literal + string at -O2.
  p.PhoneSample.assign(phones & 0x20 ? " " : "");
  p.PhoneSample.append(digits).append(phones & 0x40 ? "\t" : "");
  p.Phone.assign(phones & 0x80 ? "\x01" : "");
  p.Phone.append(digits.rbegin(), digits.rend()).append("5");
  return p;
}

// The input: a byte choosing the run (a test, the monitor, or role-level
// commands), a byte of parameter check boxes, a byte N (Abort at the N-th
// message pump; 0 never), a byte shaping the telephone numbers, then the
// units' answers.
inline HostileOutcome RunHostileInput(const std::uint8_t* data, std::size_t size) {
  static constexpr const char* kRuns[] = {"func", "indic",  "sound",  "tr",      "rx",
                                          "line", "trmess", "rxmess", "monitor", ""};
  HostileOutcome outcome;
  ByteFeed feed(data, size);
  const std::string id = kRuns[feed.Next() % std::size(kRuns)];
  const std::uint8_t boxes = feed.Next();
  const int abortAtPump = feed.Next();
  const std::uint8_t phones = feed.Next();

  VirtualClock clock;
  HostileUnits units(feed, clock);
  RecordingView view;
  view.clock = &clock;
  view.parameters = HostileParameters(boxes, phones);
  view.answer = [&feed](const std::string&) { return (feed.Next() & 1) != 0; };
  DiagConsole console(units, clock, view);
  console.SetRefSerial(HostileUnits::kReferenceSerial);
  int pumps = 0;
  view.onPump = [&] {
    if (++pumps == abortAtPump)
      console.RequestAbort();
  };
  if (id.empty()) {
    RunHostileCommands(feed, console, view, outcome.problems);
  } else {
    try {
      if (!console.RunByName(id))
        outcome.problems.push_back("the console refused to start " + id);
    } catch (const std::exception& e) {
      outcome.problems.push_back(std::string("escaped the test frame: ") + e.what());
    }
    if (console.Busy() || console.HandlerRunning())
      outcome.problems.push_back("the console stayed busy");
    if (view.verdicts.size() != 1) {
      outcome.problems.push_back("expected one verdict, got " +
                                 std::to_string(view.verdicts.size()));
    } else {
      const std::string verdict = view.verdicts.front().substr(id.size() + 2);
      const bool known = verdict == VerdictText(Verdict::Ok) ||
                         verdict == VerdictText(Verdict::Failed) ||
                         verdict == VerdictText(Verdict::Aborted);
      if (!known || (id == "monitor" && verdict == VerdictText(Verdict::Ok)))
        outcome.problems.push_back("verdict " + verdict);
    }
    if (view.log.empty() || !view.log.back().empty())
      outcome.problems.push_back("the log does not end with the frame's empty line");
  }
  outcome.log = view.log;
  if (units.OpenUnits() != 0)
    outcome.problems.push_back("a unit was left open");
  for (std::size_t i = 0; i < outcome.log.size(); ++i)
    CheckLogLine(outcome.log[i], i, outcome.problems);
  return outcome;
}

}  // namespace vr512b::testing
