// What a unit keeps and gives back over USB: replies and their
// acknowledgements, counters and state, the configuration block, stored test
// messages, and the faults that spoil them.

#include <gtest/gtest.h>

#include "autotests/sim/bench_rig.h"

namespace vr512b::testing {
namespace {

// A transmit block with a format no unit knows: the unit refuses it at once
// with an event, which gives the tests an event whenever they need one.
TMessageBlock UnknownFormatMessage() {
  TMessageBlock block{};
  block[0] = mcTransmit;
  block[1] = 0x70;
  return block;
}

TMessageBlock RawReply(BenchRig& rig, TUnitRole role) {
  std::array<std::uint8_t, kMessageReportLength> report{kReportMessage};
  const FeatureBytes moved =
      rig.bench.hid().GetFeature(rig.link.Device(role), report.data(), report.size());
  EXPECT_TRUE(moved && *moved == report.size());
  TMessageBlock block;
  std::copy_n(report.begin(), block.size(), block.begin());
  return block;
}

TEST(SimUnit, PowerOnEventIsPendingOnceAfterTheBenchStarts) {
  BenchRig rig;
  rig.Open(urUnderTest);
  EXPECT_TRUE(rig.unit.PollState(urUnderTest) & sfEvent);
  TMessageBlock reply;
  rig.unit.ReadReply(urUnderTest, reply);
  EXPECT_EQ(rig.log.lines.back(), "Событие проверяемого: включение питания");
  rig.unit.ReadReply(urUnderTest, reply);
  EXPECT_EQ(reply, TMessageBlock{}) << "an empty queue reads as an all-zero block";
  EXPECT_EQ(rig.unit.PollState(urUnderTest), 0);

  rig.link.CloseDevices();
  rig.Open(urUnderTest);
  EXPECT_TRUE(rig.Drain(urUnderTest).empty()) << "reopening is not a power-on";
}

TEST(SimUnit, ReplyStaysUntilItsOwnAcknowledgement) {
  BenchRig rig;
  rig.Open(urUnderTest);
  rig.unit.ClearUnit(urUnderTest);
  rig.unit.WriteMessage(urUnderTest, UnknownFormatMessage());
  TMessageBlock test;
  BuildTestMessage(test, 1);
  rig.unit.WriteMessage(urUnderTest, test);
  const HidHandle handle = rig.link.Device(urUnderTest);

  // The event is presented ahead of the message that was stored before it...
  TMessageBlock first = RawReply(rig, urUnderTest);
  EXPECT_EQ(first[0], rtEvent);
  EXPECT_EQ(first[1], 72);
  // ...and a message acknowledgement does not take it away.
  ASSERT_TRUE(rig.reports.SendShortCommand(handle, OpAckReply, 0, 0));
  EXPECT_EQ(RawReply(rig, urUnderTest), first);
  ASSERT_TRUE(rig.reports.SendShortCommand(handle, OpAckEvent, 0, 0));

  // Only events raise sfEvent: a stored message waits without it.
  EXPECT_EQ(rig.unit.PollState(urUnderTest) & sfEvent, 0);
  const TMessageBlock message = RawReply(rig, urUnderTest);
  EXPECT_EQ(message[0], rtMessage);
  ASSERT_TRUE(rig.reports.SendShortCommand(handle, OpAckEvent, 0, 0));
  EXPECT_EQ(RawReply(rig, urUnderTest), message);
  ASSERT_TRUE(rig.reports.SendShortCommand(handle, OpAckReply, 0, 0));
  EXPECT_EQ(RawReply(rig, urUnderTest), TMessageBlock{});
}

TEST(SimUnit, TwoHundredTestMessagesComeBackInOrder) {
  BenchRig rig;
  rig.Open(urUnderTest);
  rig.unit.ClearUnit(urUnderTest);
  rig.unit.ClearRegisters(urUnderTest);
  int received = -1;
  int sent = -1;
  EXPECT_EQ(rig.unit.ReadState(urUnderTest, &received, &sent), 0);
  EXPECT_EQ(received, 0);
  EXPECT_EQ(sent, 0);

  for (int n = 1; n <= 200; ++n) {
    TMessageBlock block;
    BuildTestMessage(block, n);
    rig.unit.WriteMessage(urUnderTest, block);
    rig.clock.Sleep(20);
  }
  EXPECT_EQ(rig.unit.ReadState(urUnderTest, &received, &sent), 0);
  EXPECT_EQ(received, 200);
  EXPECT_EQ(sent, 0);

  for (int n = 1; n <= 200; ++n) {
    TMessageBlock expected;
    BuildTestMessage(expected, n);
    TMessageBlock reply;
    rig.unit.ReadReply(urUnderTest, reply);
    ASSERT_EQ(reply[0], rtMessage) << n;
    ASSERT_TRUE(std::equal(expected.begin() + 1, expected.end(), reply.begin() + 1)) << n;
  }
  EXPECT_EQ(rig.unit.ReadState(urUnderTest, &received, &sent), 0);
  EXPECT_TRUE(received == 200 || received == 0);
  EXPECT_EQ(sent, 0);
}

TEST(SimUnit, ClearingForgetsRepliesAndClearingRegistersTheCountersToo) {
  BenchRig rig;
  rig.Open(urUnderTest);
  TMessageBlock block;
  BuildTestMessage(block, 7);
  rig.unit.WriteMessage(urUnderTest, block);
  rig.unit.WriteMessage(urUnderTest, UnknownFormatMessage());

  rig.unit.ClearUnit(urUnderTest);
  int received = 0;
  EXPECT_EQ(rig.unit.PollState(urUnderTest, &received), 0);
  EXPECT_EQ(received, 1);
  EXPECT_TRUE(rig.Drain(urUnderTest).empty());

  rig.unit.WriteMessage(urUnderTest, block);
  rig.unit.ClearRegisters(urUnderTest);
  EXPECT_EQ(rig.unit.PollState(urUnderTest, &received), 0);
  EXPECT_EQ(received, 0);
  EXPECT_TRUE(rig.Drain(urUnderTest).empty());
}

TEST(SimUnit, ConfigurationIsKeptExceptTheByteTheUnitDoesNotKeep) {
  for (const int notKept : {-1, 5, 3}) {
    BenchRig rig(notKept < 0
                     ? std::vector<std::string>{}
                     : std::vector<std::string>{"config-byte ut " + std::to_string(notKept)});
    rig.Open(urUnderTest);
    bool allKept = true;
    for (int cycle = 0; cycle < 20; ++cycle) {
      TConfigBlock written;
      rig.unit.FillRandom(written.data(), static_cast<int>(written.size()));
      written[5] = 0;
      ASSERT_TRUE(rig.reports.SetConfigReport(rig.link.Device(urUnderTest), written));
      TConfigBlock back;
      ASSERT_TRUE(rig.reports.GetConfigReport(rig.link.Device(urUnderTest), back));
      allKept = allKept && back == written;
    }
    // Byte 5 is always written as 0, so not keeping it goes unnoticed.
    EXPECT_EQ(allKept, notKept != 3) << notKept;
  }
}

TEST(SimUnit, PendingReplyComesFirstAfterEveryOpenAndSurvivesAClear) {
  BenchRig rig({"pending ut 11 90"});
  rig.Open(urUnderTest);
  rig.unit.ClearUnit(urUnderTest);
  TMessageBlock reply;
  rig.unit.ReadReply(urUnderTest, reply);
  EXPECT_EQ(rig.log.lines.back(), "Событие проверяемого: неизвестное событие -112");
  EXPECT_EQ(rig.unit.PollState(urUnderTest), 0);
  rig.link.CloseDevices();
  rig.Open(urUnderTest);
  rig.unit.ReadReply(urUnderTest, reply);
  EXPECT_EQ(reply[1], 0x90);

  // A reply type the console does not know is never acknowledged, so it stays.
  BenchRig odd({"pending ref 03 01 02"});
  odd.Open(urReference);
  EXPECT_THROW(odd.unit.ReadReply(urReference, reply), std::exception);
  EXPECT_EQ(odd.log.lines.back(), "Неизвестный ответ 3");
  EXPECT_EQ(RawReply(odd, urReference)[2], 2);
}

TEST(SimUnit, CorruptedMessageDiffersFromWhatWasStored) {
  BenchRig rig({"corrupt ut 2"});
  rig.Open(urUnderTest);
  rig.unit.ClearRegisters(urUnderTest);
  for (int n = 1; n <= 4; ++n) {
    TMessageBlock block;
    BuildTestMessage(block, n);
    rig.unit.WriteMessage(urUnderTest, block);
  }
  const auto replies = rig.Drain(urUnderTest);
  ASSERT_EQ(replies.size(), 4u);
  for (int n = 1; n <= 4; ++n) {
    TMessageBlock expected;
    BuildTestMessage(expected, n);
    const bool same = std::equal(expected.begin() + 1, expected.end(), replies[n - 1].begin() + 1);
    EXPECT_EQ(same, n != 3) << n;
  }
}

TEST(SimUnit, DisplayShowsUpTo23CharactersAndBlanks) {
  BenchRig rig;
  rig.Open(urUnderTest);
  TMessageBlock block{};
  block[0] = mcDisplayText;
  const std::string text = "ABCDEFGHIJKLMNOPQRSTUVWX";  // 24 characters, no terminator
  std::copy(text.begin(), text.end(), block.begin() + kMsgDataField);
  rig.unit.WriteMessage(urUnderTest, block);
  EXPECT_EQ(rig.bench.Unit(urUnderTest).display, text.substr(0, 23));
  TMessageBlock blank{};
  blank[0] = mcDisplayText;
  rig.unit.WriteMessage(urUnderTest, blank);
  EXPECT_EQ(rig.bench.Unit(urUnderTest).display, "");
}

TEST(SimUnit, StuckBusyUnitNeverBecomesIdle) {
  BenchRig rig({"busy ut"});
  rig.Open(urUnderTest);
  rig.unit.ClearUnit(urUnderTest);
  rig.unit.SendCommand(urUnderTest, OpAnswer, 0, 0);
  rig.unit.SendCommand(urUnderTest, OpHangUp, 0, 0);
  rig.unit.ClearUnit(urUnderTest);
  EXPECT_FALSE(rig.PollUntil(
      urUnderTest, [](std::uint8_t f) { return (f & kBusyMask) == 0; }, 60000, 500));

  BenchRig healthy;
  healthy.Open(urUnderTest);
  healthy.unit.SendCommand(urUnderTest, OpAnswer, 0, 0);
  EXPECT_TRUE(healthy.unit.PollState(urUnderTest) & sfAnswerer);
  healthy.unit.SendCommand(urUnderTest, OpHangUp, 0, 0);
  const std::int64_t before = healthy.clock.NowMs();
  healthy.unit.WaitIdle(urUnderTest);
  EXPECT_LT(healthy.clock.NowMs() - before, 200);
}

}  // namespace
}  // namespace vr512b::testing
