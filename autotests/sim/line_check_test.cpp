// The unit's own checks of the line: the dial-tone check and the line-voltage
// watch, with the technician doing what the line test's notices ask.

#include <gtest/gtest.h>

#include "autotests/sim/bench_rig.h"

namespace vr512b::testing {
namespace {

const std::string kWireForLineTest =
    "Проверяемое УПО должно быть подключено к имитатору телефонной линии, генератор 425Гц "
    "включен.";
const std::string kSwitchOff =
    "Выключите питание имитатора телефонной линии или отсоедините его от проверяемого УПО.";

struct DialToneOutcome {
  std::uint8_t state = 0;
  std::vector<int> events;
  std::int64_t busyMs = 0;
};

// The console's dial-tone check: mode 0, 'E', poll every 20 ms until none of
// the four low state bits is left, then the state.
DialToneOutcome CheckDialTone(BenchRig& rig) {
  rig.unit.ClearUnit(urUnderTest);
  rig.Configure(urUnderTest, [](TConfigBlock& c) { c[cfgMode] = 0; });
  rig.unit.SendCommand(urUnderTest, OpLineTest, 0, 0);
  DialToneOutcome outcome;
  const std::int64_t start = rig.clock.NowMs();
  EXPECT_TRUE(rig.unit.PollState(urUnderTest) & 0x0F) << "the check shows while it runs";
  for (;;) {
    const std::uint8_t flags = rig.unit.PollState(urUnderTest);
    if (flags & sfEvent) {
      TMessageBlock reply;
      rig.unit.ReadReply(urUnderTest, reply);
      outcome.events.push_back(reply[1]);
    }
    if ((flags & 0x0F) == 0)
      break;
    rig.clock.Sleep(20);
    if (rig.clock.NowMs() - start > 60000) {
      ADD_FAILURE() << "the dial-tone check never ends";
      break;
    }
  }
  outcome.busyMs = rig.clock.NowMs() - start;
  outcome.state = rig.unit.PollState(urUnderTest);
  return outcome;
}

TEST(SimLineCheck, DialToneFoundOnlyOnAPoweredSimulatorWithTheGenerator) {
  {
    BenchRig rig;
    rig.Open(urUnderTest);
    rig.technician.CarryOut(kWireForLineTest);
    const DialToneOutcome ok = CheckDialTone(rig);
    EXPECT_EQ(ok.state, 0);
    EXPECT_TRUE(ok.events.empty());
    EXPECT_GE(ok.busyMs, 1000);
    EXPECT_LE(ok.busyMs, 2100);
  }
  {
    BenchRig rig({"no-dial-tone"});
    rig.Open(urUnderTest);
    rig.technician.CarryOut(kWireForLineTest);
    EXPECT_FALSE(rig.bench.Simulator().generator425)
        << "the broken generator cannot be switched on";
    const DialToneOutcome fault = CheckDialTone(rig);
    EXPECT_NE(fault.state & ~sfEvent, 0);
    EXPECT_EQ(fault.events, std::vector<int>{34});
  }
  {
    BenchRig rig;  // on the phone line the simulator's tone is not there
    rig.bench.Wire(urUnderTest, sim::Wiring::PhoneLine);
    rig.Open(urUnderTest);
    EXPECT_NE(CheckDialTone(rig).state, 0);
  }
}

TEST(SimLineCheck, VoltageWatchReportsLossAndReturn) {
  BenchRig rig;
  rig.Open(urUnderTest);
  rig.technician.CarryOut(kWireForLineTest);
  rig.unit.ClearRegisters(urUnderTest);
  rig.Configure(urUnderTest, [](TConfigBlock& c) { c[cfgMode] = 8; });
  // Half a minute with the simulator on: no event and a clean state.
  EXPECT_FALSE(rig.PollUntil(
      urUnderTest, [](std::uint8_t f) { return f != 0; }, 31000, 1000));

  rig.technician.CarryOut(kSwitchOff);
  const std::int64_t told = rig.clock.NowMs();
  ASSERT_TRUE(rig.PollUntil(
      urUnderTest, [](std::uint8_t f) { return f & sfEvent; }, 31000, 1000));
  EXPECT_GE(rig.clock.NowMs() - told, 3000) << "the technician needs a moment to reach the switch";
  EXPECT_FALSE(rig.bench.Simulator().power);
  TMessageBlock reply;
  rig.unit.ReadReply(urUnderTest, reply);
  EXPECT_EQ(rig.log.lines.back(), "Событие проверяемого: нет ULine");

  rig.bench.SetSimulatorPower(true);
  ASSERT_TRUE(rig.PollUntil(
      urUnderTest, [](std::uint8_t f) { return f & sfEvent; }, 5000, 100));
  rig.unit.ReadReply(urUnderTest, reply);
  EXPECT_EQ(rig.log.lines.back(), "Событие проверяемого: восстановление ULine");

  // Pulling the wire does the same as switching off.
  rig.bench.Wire(urUnderTest, sim::Wiring::None);
  ASSERT_TRUE(rig.PollUntil(
      urUnderTest, [](std::uint8_t f) { return f & sfEvent; }, 5000, 100));
  rig.unit.ReadReply(urUnderTest, reply);
  EXPECT_EQ(reply[1], 33);
}

TEST(SimLineCheck, VoltageThatCannotBeSwitchedOffIsNeverReportedLost) {
  BenchRig rig({"voltage-stays"});
  rig.Open(urUnderTest);
  rig.technician.CarryOut(kWireForLineTest);
  rig.Configure(urUnderTest, [](TConfigBlock& c) { c[cfgMode] = 8; });
  rig.technician.CarryOut(kSwitchOff);
  rig.bench.SetSimulatorPower(false);
  rig.unit.ClearUnit(urUnderTest);
  EXPECT_FALSE(rig.PollUntil(
      urUnderTest, [](std::uint8_t f) { return f & sfEvent; }, 31000, 1000));
  EXPECT_TRUE(rig.bench.Simulator().power);
}

TEST(SimLineCheck, WatchOnlyInModeEight) {
  BenchRig rig;
  rig.Open(urUnderTest);
  rig.technician.CarryOut(kWireForLineTest);
  rig.unit.ClearUnit(urUnderTest);
  rig.bench.SetSimulatorPower(false);
  EXPECT_FALSE(rig.PollUntil(
      urUnderTest, [](std::uint8_t f) { return f != 0; }, 5000, 100));
  // Entering the watch without voltage reports the loss at once.
  rig.Configure(urUnderTest, [](TConfigBlock& c) { c[cfgMode] = 8; });
  EXPECT_TRUE(rig.PollUntil(
      urUnderTest, [](std::uint8_t f) { return f & sfEvent; }, 1000, 20));
}

}  // namespace
}  // namespace vr512b::testing
