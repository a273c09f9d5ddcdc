#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

#include "autotests/support/fake_hid.h"
#include "device/device_link.h"
#include "device/system_error.h"
#include "device/unit_commands.h"
#include "procedures/unit_steps.h"

namespace vr512b {
namespace {

using testing::FakeHid;
using testing::LogRecorder;
using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

Bytes Status(std::uint8_t received, std::uint8_t sent, std::uint8_t flags) {
  return {0, 0, 0, received, sent, flags, 0};
}
Bytes Reply(std::uint8_t type, std::uint8_t code) {
  Bytes r(43, 0);
  r[0] = type;
  r[1] = code;
  return r;
}

class UnitCommandsTest : public ::testing::Test {
 protected:
  UnitCommandsTest() {
    FakeHid::Device ref;
    ref.path = "ref";
    ref.serial = u"10001";
    hid.AddDevice(ref);
    FakeHid::Device ut;
    ut.path = "ut";
    ut.serial = u"2";
    hid.AddDevice(ut);
    link.SetRefSerial(10001);
    link.OpenDevice(urReference);
    link.OpenDevice(urUnderTest);
    log.lines.clear();
    hid.transfers.clear();
  }
  VirtualClock clock;
  FakeHid hid{clock};
  LogRecorder log;
  DeviceLink link{hid, log};
  ReportLayer reports{hid, clock};
  UnitCommands commands{link, reports, log, clock};
  // As a procedure calls them: a failed command ends the test.
  UnitSteps unit{commands};
};

TEST_F(UnitCommandsTest, ClearCommandsLogSendAndPause) {
  unit.ClearUnit(urReference);
  EXPECT_EQ(clock.NowMs(), 150);
  unit.ClearRegisters(urReference);
  EXPECT_EQ(clock.NowMs(), 300);
  EXPECT_EQ(log.lines, (Lines{"Очистка эталонного", "Очистка регистров эталонного"}));
  EXPECT_EQ(hid.Sets(), (std::vector<Bytes>{{1, 71, 0, 0, 0, 0, 0}, {1, 73, 0, 0, 0, 0, 0}}));
}

TEST_F(UnitCommandsTest, ConfigurationLinesNameTheRole) {
  TConfigBlock block{};
  unit.WriteConfig(urUnderTest, block);
  unit.ReadConfig(urReference, block);
  EXPECT_EQ(log.lines,
            (Lines{"Запись конфигурации проверяемого", "чтение конфигурации эталонного"}));
}

TEST_F(UnitCommandsTest, AFailedExchangeLogsTheRoleAndTheSystemText) {
  hid.FailTransfer(0);
  try {
    unit.SendCommand(urUnderTest, OpSound, 12, 0);
    FAIL() << "no failure raised";
  } catch (const TestFailure& failure) {
    EXPECT_STREQ(failure.what(), "Ошибка выполнения команды");
  }
  EXPECT_EQ(hid.Sets(), (std::vector<Bytes>{{1, 65, 12, 0, 0, 0, 0}}));
  // The system's text ends in a line break, which the console logs as is.
  EXPECT_EQ(log.lines, Lines{"Проверяемое: " + SystemErrorText(EIO)});
  EXPECT_EQ(clock.NowMs(), 0);

  log.lines.clear();
  hid.FailTransfer(1);
  TConfigBlock block;
  block.fill(9);
  EXPECT_THROW(unit.ReadConfig(urReference, block), TestFailure);
  EXPECT_EQ(block, TConfigBlock{});
  ASSERT_EQ(log.lines.size(), 2u);
  EXPECT_EQ(log.lines[0], "чтение конфигурации эталонного");
  EXPECT_EQ(log.lines[1].rfind("Эталонное: ", 0), 0u);
}

TEST_F(UnitCommandsTest, StateLinesListTheBitsInOrder) {
  hid.QueueGet(1, Status(0, 0, 0));
  hid.QueueGet(1, Status(3, 250, 0x81));
  hid.QueueGet(1, Status(0, 0, 0xFF));
  EXPECT_EQ(unit.ReadState(urUnderTest), 0);
  int received = -1;
  int sent = -1;
  EXPECT_EQ(unit.ReadState(urUnderTest, &received, &sent), 0x81);
  EXPECT_EQ(received, 3);
  EXPECT_EQ(sent, 250);
  unit.ReadState(urReference);
  EXPECT_EQ(
      log.lines,
      (Lines{"Читаю состояние проверяемого", "Состояние: отсутствует",
             "Читаю состояние проверяемого", "Принятых сообщений: 3", "Переданных сообщений: 250",
             "Состояние: отвечатель, на линии", "Читаю состояние эталонного",
             "Состояние: отвечатель, вызыватель, телефон, тест линии, событие, отказ "
             "линии, вызов, на линии"}));
}

TEST_F(UnitCommandsTest, RepliesAreLoggedByType) {
  for (const Bytes& r :
       {Reply(rtEvent, 17), Reply(rtEvent, 23), Reply(rtEvent, 18), Reply(rtEvent, 0x90),
        Reply(rtEvent, 64), Reply(rtError, 5), Reply(rtError, 99), Reply(rtError, 12),
        Reply(rtNone, 0), Reply(rtMessage, 0x11)}) {
    hid.QueueGet(3, r);
  }
  TMessageBlock block;
  unit.ReadReply(urUnderTest, block);
  unit.ReadReply(urUnderTest, block);
  unit.ReadReply(urUnderTest, block);
  unit.ReadReply(urReference, block);
  unit.ReadReply(urUnderTest, block);
  for (int i = 0; i < 5; ++i)
    unit.ReadReply(urUnderTest, block);
  EXPECT_EQ(block[0], rtMessage);
  EXPECT_EQ(
      log.lines,
      (Lines{"Событие проверяемого: включение питания", "Событие проверяемого: включение питания",
             "Событие проверяемого: сброс кнопкой", "Событие эталонного: неизвестное событие -112",
             "Событие проверяемого: передача завершена ОК", "Ошибка: неизвестная ошибка",
             "Ошибка: неизвестная ошибка", "Ошибка: ошибка  контрольной  суммы  (КС)"}));
}

TEST_F(UnitCommandsTest, UnknownReplyTypeFailsTheCommand) {
  hid.QueueGet(3, Reply(3, 0));
  TMessageBlock block;
  EXPECT_THROW(unit.ReadReply(urUnderTest, block), TestFailure);
  EXPECT_EQ(log.lines, Lines{"Неизвестный ответ 3"});
  hid.QueueGet(3, Reply(0xF0, 0));
  log.lines.clear();
  EXPECT_THROW(unit.ReadReply(urUnderTest, block), TestFailure);
  EXPECT_EQ(log.lines, Lines{"Неизвестный ответ -16"});
}

TEST_F(UnitCommandsTest, WaitIdleReadsEventsUntilNoBusyBit) {
  hid.QueueGet(1, Status(0, 0, sfCaller | sfEvent));
  hid.QueueGet(3, Reply(rtEvent, 64));
  hid.QueueGet(1, Status(0, 0, sfOnLine));
  hid.QueueGet(1, Status(0, 0, sfLineFault | sfRinging));
  unit.WaitIdle(urUnderTest);
  EXPECT_EQ(log.lines, (Lines{"Жду завершения операции проверяемого",
                              "Событие проверяемого: передача завершена ОК"}));
  EXPECT_EQ(hid.transfers.size(), 5u);  // three polls, a reply and its acknowledgement

  // sfEvent alone: one reply read, then done.
  hid.transfers.clear();
  hid.QueueGet(1, Status(0, 0, sfEvent));
  hid.QueueGet(3, Reply(rtError, 6));
  unit.WaitIdle(urReference);
  EXPECT_EQ(hid.transfers.size(), 3u);
}

TEST_F(UnitCommandsTest, WaitIdleGivesUpOnAUnitThatStaysBusy) {
  // Each poll takes a millisecond on this clock, as a USB transfer would.
  hid.responder = [this](std::uint8_t* report, std::size_t length) {
    std::fill(report, report + length, 0);
    report[5] = sfOnLine;
    clock.Advance(1);
  };
  EXPECT_THROW(unit.WaitIdle(urUnderTest), TestFailure);
  EXPECT_GE(clock.NowMs(), UnitCommands::kWaitIdleLimitMs);
  EXPECT_EQ(log.lines.back(), "Проверяемое УПО не завершило операцию за 30 с");
}

// A signal handled in the pause after a failed transfer leaves EINTR in errno;
// the reason logged must still be the transfer's own.
class InterruptedClock final : public Clock {
 public:
  void Sleep(int ms) override {
    now_ += ms;
    errno = EINTR;
  }
  std::int64_t NowMs() override { return now_; }

 private:
  std::int64_t now_ = 0;
};

TEST(FailedTransferReasonTest, APauseAfterTheFailureDoesNotReplaceItsReason) {
  struct Case {
    const char* what;
    int failingTransfer;  // counted over gets and sets
    std::function<void(UnitSteps&)> command;
    Lines log;
  };
  const std::string noDevice = "Проверяемое: " + SystemErrorText(ENODEV);
  const Case cases[] = {
      {"configuration write, then its pause",
       0,
       [](UnitSteps& unit) { unit.WriteConfig(urUnderTest, TConfigBlock{}); },
       {"Запись конфигурации проверяемого", noDevice}},
      {"reply's acknowledgement, then its pause",
       1,
       [](UnitSteps& unit) {
         TMessageBlock reply;
         unit.ReadReply(urUnderTest, reply);
       },
       {noDevice}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    InterruptedClock clock;
    FakeHid hid{clock};
    FakeHid::Device ut;
    ut.path = "ut";
    ut.serial = u"2";
    hid.AddDevice(ut);
    LogRecorder log;
    DeviceLink link{hid, log};
    link.SetRefSerial(10001);
    ASSERT_TRUE(link.OpenDevice(urUnderTest));
    log.lines.clear();
    hid.transfers.clear();
    hid.QueueGet(kReportMessage, Reply(rtEvent, 19));
    hid.failingErrno = ENODEV;
    hid.FailTransfer(c.failingTransfer);
    ReportLayer reports{hid, clock};
    UnitCommands commands{link, reports, log, clock};
    UnitSteps unit{commands};
    EXPECT_THROW(c.command(unit), TestFailure);
    EXPECT_GT(clock.NowMs(), 0) << "no pause after the failed transfer";
    EXPECT_EQ(log.lines, c.log);
#ifndef _WIN32
    EXPECT_EQ(log.lines.back(), "Проверяемое: No such device\n");
#endif
  }
}

TEST(CommandTextTest, HexBytesAndTestMessages) {
  const std::uint8_t bytes[] = {10, 27, 255};
  EXPECT_EQ(HexBytes(bytes, 3), "0A 1B FF");
  EXPECT_EQ(HexBytes(bytes, 0), "");
  EXPECT_EQ(HexBytes(bytes, -4), "");

  TMessageBlock m;
  BuildTestMessage(m, 1);
  EXPECT_EQ(m[0], 4);
  EXPECT_EQ(m[1], 18);
  EXPECT_STREQ(reinterpret_cast<const char*>(m.data() + 2), "0010017");
  EXPECT_STREQ(reinterpret_cast<const char*>(m.data() + 18), "001001001001001001");
  for (int i = 10; i < 18; ++i)
    EXPECT_EQ(m[i], 0);
  for (int i = 37; i < 42; ++i)
    EXPECT_EQ(m[i], 0);
  BuildTestMessage(m, 3);
  EXPECT_EQ(m[1], 17);
  BuildTestMessage(m, 200);
  EXPECT_EQ(m[1], 19);
  EXPECT_STREQ(reinterpret_cast<const char*>(m.data() + 2), "2002007");
  EXPECT_STREQ(reinterpret_cast<const char*>(m.data() + 18), "200200200200200200");
}

TEST(CommandTextTest, EventAndErrorTables) {
  EXPECT_EQ(EventText(19), "сброс кнопкой");
  EXPECT_EQ(EventText(33), "нет ULine");
  EXPECT_EQ(EventText(74), "передача завершена - недопустимый ответ");
  EXPECT_EQ(EventText(21), "неизвестное событие 21");
  EXPECT_EQ(ErrorText(9), "недопустиый символ в номере");
  EXPECT_EQ(ErrorText(42), "нет линейного напряжения (неисправность линии)");
  EXPECT_EQ(ErrorText(-1), "неизвестная ошибка");
}

TEST(CommandTextTest, RandomBlocksRepeatFromRunToRunAndCoverEveryValue) {
  RandomBytes a;
  RandomBytes b;
  bool seen[256] = {};
  for (int i = 0; i < 100000; ++i) {
    const std::uint8_t x = a.Next();
    EXPECT_EQ(x, b.Next());
    seen[x] = true;
  }
  for (bool s : seen)
    EXPECT_TRUE(s);
}

}  // namespace
}  // namespace vr512b
