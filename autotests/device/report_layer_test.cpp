#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include "autotests/support/fake_hid.h"
#include "device/report_layer.h"
#include "device/system_error.h"

namespace vr512b {
namespace {

using testing::FakeHid;
using Bytes = std::vector<std::uint8_t>;

class ReportLayerTest : public ::testing::Test {
 protected:
  ReportLayerTest() {
    FakeHid::Device unit;
    unit.path = "dev0";
    hid.AddDevice(unit);
    handle = hid.Open("dev0");
  }
  VirtualClock clock;
  FakeHid hid{clock};
  ReportLayer reports{hid, clock};
  HidHandle handle = kInvalidHandle;
};

TEST_F(ReportLayerTest, SendsEachReportWithItsIdAndFullLength) {
  ASSERT_TRUE(reports.SendShortCommand(handle, OpClear, 5, 6));
  TConfigBlock config{};
  for (int i = 0; i < 16; ++i)
    config[i] = static_cast<std::uint8_t>(i + 1);
  ASSERT_TRUE(reports.SetConfigReport(handle, config));
  TMessageBlock message{};
  message[0] = mcDisplayText;
  message[41] = 0xEE;
  ASSERT_TRUE(reports.SetMessageReport(handle, message));

  const auto sets = hid.Sets();
  ASSERT_EQ(sets.size(), 3u);
  EXPECT_EQ(sets[0], (Bytes{1, 71, 5, 6, 0, 0, 0}));
  ASSERT_EQ(sets[1].size(), 17u);
  EXPECT_EQ(sets[1][0], 2);
  EXPECT_EQ(sets[1][1], 1);
  EXPECT_EQ(sets[1][16], 16);
  ASSERT_EQ(sets[2].size(), 43u);
  EXPECT_EQ(sets[2][0], 3);
  EXPECT_EQ(sets[2][1], mcDisplayText);
  EXPECT_EQ(sets[2][42], 0xEE);
}

TEST_F(ReportLayerTest, ConfigurationWritePausesThirtyMillisecondsEvenWhenItFails) {
  TConfigBlock config{};
  ASSERT_TRUE(reports.SetConfigReport(handle, config));
  EXPECT_EQ(clock.NowMs(), 30);
  hid.FailTransfer(1);
  EXPECT_FALSE(reports.SetConfigReport(handle, config));
  EXPECT_EQ(clock.NowMs(), 60);
  // Short commands and message blocks add no delay.
  ASSERT_TRUE(reports.SendShortCommand(handle, OpSound, 12, 0));
  ASSERT_TRUE(reports.SetMessageReport(handle, TMessageBlock{}));
  EXPECT_EQ(clock.NowMs(), 60);
}

TEST_F(ReportLayerTest, ReadKeepsTheBlockFromByteZeroAndDropsTheLastByte) {
  Bytes returned(17);
  for (int i = 0; i < 17; ++i)
    returned[i] = static_cast<std::uint8_t>(0xA0 + i);
  hid.QueueGet(2, returned);
  TConfigBlock config;
  ASSERT_TRUE(reports.GetConfigReport(handle, config));
  for (int i = 0; i < 16; ++i)
    EXPECT_EQ(config[i], 0xA0 + i);
  // The read went out as a full-length buffer carrying the report id.
  ASSERT_EQ(hid.transfers.size(), 1u);
  EXPECT_EQ(hid.transfers[0].report.size(), 17u);
  EXPECT_EQ(hid.transfers[0].report[0], 2);

  hid.QueueGet(1, {9, 8, 7, 6, 5, 4, 3});
  TStatusBlock status;
  ASSERT_TRUE(reports.GetStatusReport(handle, status));
  EXPECT_EQ(status, (TStatusBlock{9, 8, 7, 6, 5, 4}));
}

TEST_F(ReportLayerTest, EachReplyTypeGetsItsAcknowledgement) {
  struct Case {
    std::uint8_t type;
    std::optional<Bytes> ack;
  };
  const Case cases[] = {
      {rtEvent, Bytes{1, 72, 0, 0, 0, 0, 0}},
      {rtMessage, Bytes{1, 67, 0, 0, 0, 0, 0}},
      {rtError, Bytes{1, 67, 0, 0, 0, 0, 0}},
      {16 + 2, Bytes{1, 67, 0, 0, 0, 0, 0}},
      {rtNone, std::nullopt},
      {3, std::nullopt},
      {19, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.type));
    hid.transfers.clear();
    const std::int64_t before = clock.NowMs();
    Bytes reply(43, 0);
    reply[0] = c.type;
    reply[1] = 0x55;
    hid.QueueGet(3, reply);
    TMessageBlock block;
    ASSERT_TRUE(reports.GetMessageReport(handle, block));
    EXPECT_EQ(block[0], c.type);
    EXPECT_EQ(block[1], 0x55);
    const auto sets = hid.Sets();
    if (c.ack) {
      ASSERT_EQ(sets.size(), 1u);
      EXPECT_EQ(sets[0], *c.ack);
      EXPECT_EQ(clock.NowMs() - before, 50);
    } else {
      EXPECT_TRUE(sets.empty());
      EXPECT_EQ(clock.NowMs(), before);
    }
  }
}

TEST_F(ReportLayerTest, FailedReadLeavesZerosAndSendsNoAcknowledgement) {
  hid.responder = [](std::uint8_t* report, std::size_t length) {
    std::fill(report, report + length, 0x11);
  };
  hid.FailTransfer(0);
  TMessageBlock block;
  block.fill(0x77);
  EXPECT_FALSE(reports.GetMessageReport(handle, block));
  EXPECT_EQ(block, TMessageBlock{});
  EXPECT_TRUE(hid.Sets().empty());
}

TEST_F(ReportLayerTest, FailedAcknowledgementFailsTheReadButFillsTheBlock) {
  Bytes reply(43, 0);
  reply[0] = rtEvent;
  reply[1] = 17;
  hid.QueueGet(3, reply);
  hid.FailTransfer(1);
  TMessageBlock block;
  EXPECT_FALSE(reports.GetMessageReport(handle, block));
  EXPECT_EQ(block[0], rtEvent);
  EXPECT_EQ(block[1], 17);
  EXPECT_EQ(clock.NowMs(), 50);
}

// A unit that moves fewer bytes than the report holds has not answered: the
// exchange fails with the short-transfer error, a read leaves the block all
// zero and sends no acknowledgement, whatever the bytes it did move said.
TEST_F(ReportLayerTest, ShortAndEmptyTransfersOfEveryReportFail) {
  hid.responder = [](std::uint8_t* report, std::size_t length) {
    std::fill(report, report + length, rtEvent);
  };
  using Operation = std::function<Outcome<void>()>;
  TStatusBlock status;
  TConfigBlock config;
  TMessageBlock message;
  const struct {
    const char* name;
    std::size_t length;
    Operation run;
    std::function<Bytes()> block;  // what a read leaves behind
  } operations[] = {
      {"status read", 7, [&] { return reports.GetStatusReport(handle, status); },
       [&] { return Bytes(status.begin(), status.end()); }},
      {"configuration read", 17, [&] { return reports.GetConfigReport(handle, config); },
       [&] { return Bytes(config.begin(), config.end()); }},
      {"reply read", 43, [&] { return reports.GetMessageReport(handle, message); },
       [&] { return Bytes(message.begin(), message.end()); }},
      {"short command", 7, [&] { return reports.SendShortCommand(handle, OpClear, 0, 0); }, {}},
      {"configuration write", 17, [&] { return reports.SetConfigReport(handle, config); }, {}},
      {"message write", 43, [&] { return reports.SetMessageReport(handle, message); }, {}},
  };
  const std::string shortTransfer = SystemErrorText(SystemErrorCode(SystemError::ShortTransfer));
#ifndef _WIN32
  EXPECT_EQ(shortTransfer, std::string(std::strerror(EPROTO)) + "\n");
#endif
  for (const auto& op : operations) {
    for (const std::size_t moved : {std::size_t{0}, std::size_t{1}, op.length - 1}) {
      SCOPED_TRACE(std::string(op.name) + ", " + std::to_string(moved) + " bytes");
      hid.transfers.clear();
      hid.ShortenTransfer(0, moved);
      status.fill(0x77);
      config.fill(0x77);
      message.fill(0x77);
      const Outcome<void> done = op.run();
      ASSERT_FALSE(done);
      EXPECT_EQ(done.reason().text, shortTransfer);
      EXPECT_EQ(hid.transfers.size(), 1u) << "no acknowledgement of a short reply";
      if (op.block) {
        const Bytes left = op.block();
        EXPECT_EQ(left, Bytes(left.size(), 0));
      }
    }
  }
  // The full length is an answer.
  hid.transfers.clear();
  hid.ShortenTransfer(0, 7);
  EXPECT_TRUE(reports.GetStatusReport(handle, status));
}

TEST_F(ReportLayerTest, InvalidHandleFailsWithoutCrashing) {
  TStatusBlock status;
  EXPECT_FALSE(reports.GetStatusReport(kInvalidHandle, status));
  EXPECT_FALSE(reports.SendShortCommand(kInvalidHandle, OpClear, 0, 0));
}

}  // namespace
}  // namespace vr512b
