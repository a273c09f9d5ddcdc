// Messages from one unit to the other over the line simulator and over the
// phone line, with the state bits the console's exchanges watch.

#include <gtest/gtest.h>

#include "autotests/sim/bench_rig.h"

namespace vr512b::testing {
namespace {

const std::string kPlainNotice =
    "Проверяемое и эталонное УПО должны быть подключены к имитатору телефонной линии, кнопка "
    "'ЛИНИЯ' - нажата.";
const std::string kAttenuatedNotice =
    "Проверяемое и эталонное УПО должны быть подключены к имитатору телефонной линии, кнопки "
    "'ЛИНИЯ' и 'ЗАТУХАНИЕ' - нажаты.";
const std::string kPhoneNotice =
    "Проверяемое и эталонное УПО должны быть подключены к телефонной линии.";

constexpr std::uint8_t kFormats[] = {fcContactID, fcLowSpeed, fcSecsoa, fcKorvex, fcPresto};

std::string Describe(TUnitRole transmitter, std::uint8_t format) {
  return std::string(transmitter == urUnderTest ? "ut" : "ref") + " sends format " +
         std::to_string(format);
}

TEST(SimTransmission, EveryFormatBothWaysOverTheSimulator) {
  for (const std::string& notice : {kPlainNotice, kAttenuatedNotice}) {
    BenchRig rig;
    rig.OpenBoth();
    rig.technician.CarryOut(notice);
    for (const TUnitRole transmitter : {urUnderTest, urReference}) {
      for (const std::uint8_t format : kFormats) {
        const std::int64_t start = rig.clock.NowMs();
        const ExchangeOutcome outcome =
            RunExchange(rig, transmitter, format, 10, false, notice == kAttenuatedNotice);
        EXPECT_EQ(outcome.failure, "") << Describe(transmitter, format) << ", " << notice;
        EXPECT_EQ(outcome.received, 10);
        // On the simulator nobody tells the receiver who calls.
        EXPECT_EQ(outcome.callingNumbers.front(), "");
        // A realistic pace: about a second or two per message.
        const std::int64_t perMessage = (rig.clock.NowMs() - start) / 10;
        EXPECT_GE(perMessage, 900) << Describe(transmitter, format);
        EXPECT_LE(perMessage, 2500) << Describe(transmitter, format);
      }
    }
  }
}

TEST(SimTransmission, EveryFormatBothWaysOverThePhoneLineWithTheCallingNumber) {
  BenchRig rig;
  rig.OpenBoth();
  rig.technician.CarryOut(kPlainNotice);
  rig.technician.CarryOut(kPhoneNotice);
  for (const TUnitRole transmitter : {urUnderTest, urReference}) {
    for (const std::uint8_t format : kFormats) {
      const ExchangeOutcome outcome = RunExchange(rig, transmitter, format, 10, true);
      EXPECT_EQ(outcome.failure, "") << Describe(transmitter, format);
      ASSERT_FALSE(outcome.callingNumbers.empty());
      EXPECT_EQ(outcome.callingNumbers.front(), transmitter == urUnderTest ? "2002" : "2001");
    }
  }
}

TEST(SimTransmission, TransmitterStateAcrossACall) {
  BenchRig rig;
  rig.OpenBoth();
  rig.technician.CarryOut(kPlainNotice);
  rig.unit.ClearUnit(urUnderTest);
  rig.unit.ClearUnit(urReference);
  for (const TUnitRole role : {urUnderTest, urReference}) {
    rig.Configure(role, [](TConfigBlock& c) {
      c[cfgFormatMask] = 0xCF;
      c[cfgDialFlags] = 2;
    });
  }
  TMessageBlock message{};
  message[0] = mcTransmit;
  message[1] = fcContactID;
  const auto data = SampleData(fcContactID, 0);
  std::copy(data.begin(), data.end(), message.begin() + kMsgDataField);
  rig.unit.WriteMessage(urUnderTest, message);
  EXPECT_EQ(rig.unit.PollState(urUnderTest) & (sfCaller | sfOnLine), sfCaller | sfOnLine)
      << "caller and on line as soon as the message is taken";
  rig.unit.SendCommand(urReference, OpAnswer, 0, 0);
  EXPECT_TRUE(rig.unit.PollState(urReference) & sfAnswerer) << "answerer at once";

  ASSERT_TRUE(rig.PollUntil(
      urUnderTest, [](std::uint8_t f) { return !(f & sfOnLine); }, 10000));
  const std::uint8_t between = rig.unit.PollState(urUnderTest);
  EXPECT_TRUE(between & sfCaller) << "the call is kept between messages";
  EXPECT_TRUE(between & sfEvent);
  TMessageBlock reply;
  rig.unit.ReadReply(urUnderTest, reply);
  EXPECT_EQ(rig.log.lines.back(), "Событие проверяемого: передача завершена ОК");
  EXPECT_TRUE(rig.unit.PollState(urReference) & sfAnswerer);
  int sent = 0;
  rig.unit.ReadState(urUnderTest, nullptr, &sent);
  EXPECT_EQ(sent, 1);

  // Hanging up on one side ends the call on the other shortly after.
  rig.unit.SendCommand(urReference, OpHangUp, 0, 0);
  EXPECT_TRUE(rig.PollUntil(
      urUnderTest, [](std::uint8_t f) { return !(f & sfCaller); }, 1000));
  EXPECT_TRUE(rig.PollUntil(
      urReference, [](std::uint8_t f) { return (f & kBusyMask) == 0; }, 100));
}

// One message that the simulator cannot carry: the transmitter reports why and
// drops the call.
int FailedTransmissionEvent(BenchRig& rig, std::uint8_t format, std::uint8_t receiverMask) {
  rig.unit.ClearUnit(urUnderTest);
  rig.unit.ClearUnit(urReference);
  rig.Configure(urUnderTest, [](TConfigBlock& c) { c[cfgDialFlags] = 2; });
  rig.Configure(urReference, [&](TConfigBlock& c) { c[cfgFormatMask] = receiverMask; });
  TMessageBlock message{};
  message[0] = mcTransmit;
  message[1] = format;
  rig.unit.WriteMessage(urUnderTest, message);
  rig.unit.SendCommand(urReference, OpAnswer, 0, 0);
  const std::vector<int> events = rig.EventsUntilIdle(urUnderTest);
  return events.size() == 1 ? events.front() : -1;
}

TEST(SimTransmission, WhatTheSimulatorLetsThrough) {
  BenchRig rig;
  rig.OpenBoth();
  rig.technician.CarryOut(kPlainNotice);
  EXPECT_EQ(FailedTransmissionEvent(rig, fcSecsoa, fmSecsoa), 64);
  // A format the receiver does not accept is not received.
  EXPECT_EQ(FailedTransmissionEvent(rig, fcSecsoa, 0xCF & ~fmSecsoa), 74);
  EXPECT_EQ(FailedTransmissionEvent(rig, fcKorvex, 0xCF), 74);
  EXPECT_TRUE(rig.Drain(urReference).empty());

  // Attenuated: the level-sensitive formats need bytes 6 and 7 at 7 on both.
  rig.technician.CarryOut(kAttenuatedNotice);
  rig.Configure(urUnderTest, [](TConfigBlock& c) { c[6] = c[7] = 7; });
  EXPECT_EQ(FailedTransmissionEvent(rig, fcContactID, 0xFF), 71);
  EXPECT_EQ(FailedTransmissionEvent(rig, fcKorvex, 0xFF), 64);
  EXPECT_EQ(FailedTransmissionEvent(rig, fcPresto, 0xFF), 64);
  rig.Configure(urReference, [](TConfigBlock& c) { c[6] = c[7] = 7; });
  EXPECT_EQ(FailedTransmissionEvent(rig, fcLowSpeed, 0xFF), 64);

  // Without 'ЛИНИЯ' the receiver is never reached.
  rig.bench.SetLineButton(false);
  EXPECT_EQ(FailedTransmissionEvent(rig, fcPresto, 0xFF), 70);
}

TEST(SimTransmission, PhoneCallsReachOnlyAListeningUnitAtTheDialledNumber) {
  BenchRig rig;
  rig.bench.Wire(urUnderTest, sim::Wiring::PhoneLine);
  rig.bench.Wire(urReference, sim::Wiring::PhoneLine);
  rig.OpenBoth();
  auto call = [&](const std::string& number, std::uint8_t receiverMode) {
    rig.unit.ClearUnit(urUnderTest);
    rig.unit.ClearUnit(urReference);
    rig.Configure(urReference, [&](TConfigBlock& c) {
      c[cfgMode] = receiverMode;
      c[cfgFormatMask] = 0xFF;
    });
    TMessageBlock message{};
    message[0] = mcTransmit;
    message[1] = fcPresto;
    std::copy(number.begin(), number.end(), message.begin() + kMsgNumberField);
    rig.unit.WriteMessage(urUnderTest, message);
    const std::vector<int> events = rig.EventsUntilIdle(urUnderTest);
    return events.size() == 1 ? events.front() : -1;
  };
  EXPECT_EQ(call("2001", 5), 64);
  EXPECT_EQ(call("2001", 3), 64);
  EXPECT_EQ(call("2001", 0), 70);
  EXPECT_EQ(call("2009", 5), 70);
  EXPECT_EQ(call("", 5), 73);
  rig.bench.Wire(urReference, sim::Wiring::Simulator);
  EXPECT_EQ(call("2001", 5), 70);
}

TEST(SimTransmission, DroppedConnectionIsSeenByBothSides) {
  {
    BenchRig rig({"drop ref after 3"});
    rig.OpenBoth();
    rig.technician.CarryOut(kPlainNotice);
    const ExchangeOutcome outcome = RunExchange(rig, urUnderTest, fcLowSpeed, 10, false);
    EXPECT_EQ(outcome.received, 3);
    EXPECT_NE(outcome.failure, "");
  }
  {
    BenchRig rig({"drop ut after 2"});
    rig.OpenBoth();
    rig.technician.CarryOut(kPhoneNotice);
    const ExchangeOutcome outcome = RunExchange(rig, urUnderTest, fcPresto, 10, true);
    EXPECT_EQ(outcome.received, 2);
    EXPECT_NE(outcome.failure, "");
  }
}

TEST(SimTransmission, CorruptedLineMessageIsCaught) {
  BenchRig rig({"corrupt ut 4"});
  rig.OpenBoth();
  rig.technician.CarryOut(kPlainNotice);
  EXPECT_EQ(RunExchange(rig, urReference, fcContactID, 10, false).failure,
            "wrong data in message 4");
  EXPECT_EQ(RunExchange(rig, urUnderTest, fcContactID, 10, false).failure, "")
      << "the reference unit receives clean messages";
}

TEST(SimTransmission, RemotePanelCallsAListeningUnit) {
  BenchRig rig({"call ut 50 0E013412 2001", "call ut 11 3132 "});
  rig.Open(urUnderTest);
  rig.unit.ClearUnit(urUnderTest);
  rig.Configure(urUnderTest, [](TConfigBlock& c) {
    c[cfgMode] = 3;
    c[cfgFormatMask] = fmPresto;
  });
  std::vector<TMessageBlock> messages;
  const std::int64_t deadline = rig.clock.NowMs() + 30000;
  while (rig.clock.NowMs() < deadline) {
    rig.clock.Sleep(100);
    for (const TMessageBlock& reply : rig.Drain(urUnderTest)) {
      if (reply[0] == rtMessage)
        messages.push_back(reply);
    }
  }
  // The Contact ID call is not in the mask: only the Presto message arrives.
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0][1], 0x50);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(messages[0].data() + 2)), "2001");
  EXPECT_EQ(messages[0][18], 0x0E);
  EXPECT_EQ(messages[0][21], 0x12);
  EXPECT_EQ(messages[0][22], 0);
  EXPECT_EQ(rig.unit.PollState(urUnderTest) & kBusyMask, 0) << "the panel has hung up";
}

}  // namespace
}  // namespace vr512b::testing
