#include "autotests/sim/bench_rig.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <gtest/gtest.h>

namespace vr512b::testing {

bool LogRecorder::Contains(std::string_view text) const {
  return std::find(lines.begin(), lines.end(), text) != lines.end();
}

sim::BenchConfig ConfigWith(const std::vector<std::string>& scenarios) {
  sim::BenchConfig config = sim::DefaultBenchConfig();
  for (const std::string& scenario : scenarios) {
    const std::string error = sim::ApplyScenario(config, scenario);
    EXPECT_EQ(error, "") << scenario;
  }
  return config;
}

BenchRig::BenchRig(const std::vector<std::string>& scenarios)
    : bench(clock, ConfigWith(scenarios)),
      link(bench.hid(), log),
      reports(bench.hid(), clock),
      commands(link, reports, log, clock),
      technician(bench) {
  link.SetRefSerial(10001);
}

void BenchRig::Open(TUnitRole role) {
  ASSERT_TRUE(link.OpenDevice(role));
}

void BenchRig::OpenBoth() {
  Open(urUnderTest);
  Open(urReference);
}

void BenchRig::Configure(TUnitRole role, const std::function<void(TConfigBlock&)>& change) {
  TConfigBlock config{};
  unit.ReadConfig(role, config);
  change(config);
  unit.WriteConfig(role, config);
}

std::vector<TMessageBlock> BenchRig::Drain(TUnitRole role) {
  std::vector<TMessageBlock> replies;
  for (;;) {
    TMessageBlock reply{};
    unit.ReadReply(role, reply);
    if (reply[0] == rtNone)
      return replies;
    replies.push_back(reply);
  }
}

bool BenchRig::PollUntil(TUnitRole role, const std::function<bool(std::uint8_t)>& test,
                         int timeoutMs, int stepMs) {
  const std::int64_t deadline = clock.NowMs() + timeoutMs;
  while (clock.NowMs() < deadline) {
    if (test(unit.PollState(role)))
      return true;
    clock.Sleep(stepMs);
  }
  return false;
}

std::vector<int> BenchRig::EventsUntilIdle(TUnitRole role) {
  std::vector<int> events;
  const std::int64_t deadline = clock.NowMs() + 120000;
  while (clock.NowMs() < deadline) {
    const std::uint8_t flags = unit.PollState(role);
    if (flags & sfEvent) {
      TMessageBlock reply{};
      unit.ReadReply(role, reply);
      if (reply[0] == rtEvent)
        events.push_back(reply[1]);
      continue;
    }
    if ((flags & kBusyMask) == 0)
      return events;
    clock.Sleep(20);
  }
  ADD_FAILURE() << "unit stayed busy";
  return events;
}

std::vector<std::uint8_t> SampleData(std::uint8_t format, int index) {
  char text[24] = {};
  switch (format >> 4) {
    case 1:
      std::snprintf(text, sizeof text, "%04d18111000%03d", 1000 + index, index);
      return std::vector<std::uint8_t>(text, text + std::strlen(text) + 1);
    case 2:
    case 3:
      std::snprintf(text, sizeof text, "%06d", 100000 + index * 7);
      return std::vector<std::uint8_t>(text, text + std::strlen(text) + 1);
    case 4:
      return {0x98, 1, 2, 3, static_cast<std::uint8_t>(index), 0xF0, 3, 0x30, 0xFF, 0x50};
    default:
      return {
          0x0E, 0x01, static_cast<std::uint8_t>(index), 0x12, 0x6E, 0, 1, 0, 0x34, 0x12, 0x6E, 0,
          1,    0};
  }
}

ExchangeOutcome RunExchange(BenchRig& rig, TUnitRole transmitter, std::uint8_t format, int count,
                            bool phoneLine, bool attenuatedLevels) {
  const TUnitRole receiver = transmitter == urUnderTest ? urReference : urUnderTest;
  UnitSteps& unit = rig.unit;
  ExchangeOutcome outcome;
  unit.ClearUnit(urUnderTest);
  unit.ClearUnit(urReference);
  for (const TUnitRole role : {urUnderTest, urReference}) {
    rig.Configure(role, [&](TConfigBlock& c) {
      c[cfgMode] = phoneLine && role == receiver ? 5 : 0;
      c[cfgVolume] = 0;
      c[cfgFormatMask] = 0xFF;
      c[cfgDialFlags] = 2;
      if (attenuatedLevels)
        c[6] = c[7] = 7;
    });
  }
  const std::string number = rig.bench.Unit(receiver).phone;
  bool answerSent = false;
  const std::int64_t deadline = rig.clock.NowMs() + 60000 + count * 10000;
  auto fail = [&](const std::string& why) {
    outcome.failure = why;
    return outcome;
  };
  while (rig.clock.NowMs() < deadline) {
    rig.clock.Sleep(phoneLine ? 200 : 100);
    std::uint8_t flags = unit.PollState(transmitter);
    if (flags & sfEvent) {
      TMessageBlock event{};
      unit.ReadReply(transmitter, event);
      if (event[1] >= 0x41 && event[1] <= 0x4F) {
        return fail("transmission failed, event " + std::to_string(event[1]));
      }
      flags = unit.PollState(transmitter);
    }
    if (!(flags & sfOnLine) && outcome.sent < count) {
      TMessageBlock record{};
      record[0] = mcTransmit;
      record[1] = format;
      if (phoneLine)
        std::copy(number.begin(), number.end(), record.begin() + kMsgNumberField);
      const auto data = SampleData(format, outcome.sent);
      std::copy(data.begin(), data.end(), record.begin() + kMsgDataField);
      unit.WriteMessage(transmitter, record);
      ++outcome.sent;
      if (phoneLine) {
        rig.clock.Sleep(50);
        continue;
      }
    }
    const int callerFrom = phoneLine ? 1 : 2;
    if (!(flags & sfCaller) && outcome.sent >= callerFrom && outcome.sent < count) {
      return fail("transmitter lost the connection");
    }
    if (!phoneLine && !answerSent) {
      unit.SendCommand(receiver, OpAnswer, 0, 0);
      answerSent = true;
    }
    TMessageBlock reply{};
    unit.ReadReply(receiver, reply);
    if (reply[0] == rtMessage) {
      outcome.callingNumbers.emplace_back(reinterpret_cast<const char*>(reply.data() + 2));
      if (reply[1] != format)
        return fail("wrong format");
      const auto expected = SampleData(format, outcome.received);
      if (!std::equal(expected.begin(), expected.end(), reply.begin() + kMsgDataField)) {
        return fail("wrong data in message " + std::to_string(outcome.received));
      }
      ++outcome.received;
    } else if (reply[0] != rtNone && phoneLine) {
      return fail("receiver reported an event or error");
    }
    if (outcome.sent >= count && outcome.received >= count)
      break;
    std::uint8_t flags2 = unit.PollState(receiver);
    if (flags2 & sfEvent) {
      TMessageBlock scratch{};
      unit.ReadReply(receiver, scratch);
      flags2 = unit.PollState(receiver);
    }
    const bool mustAnswer = !phoneLine || (outcome.received >= 1 && outcome.received < count);
    if (mustAnswer && !(flags2 & sfAnswerer))
      return fail("receiver lost the connection");
  }
  if (outcome.received < count)
    return fail("exchange did not complete");
  unit.SendCommand(urUnderTest, OpHangUp, 0, 0);
  unit.SendCommand(urReference, OpHangUp, 0, 0);
  unit.WaitIdle(urUnderTest);
  unit.WaitIdle(urReference);
  unit.ClearUnit(urUnderTest);
  unit.ClearUnit(urReference);
  return outcome;
}

}  // namespace vr512b::testing
