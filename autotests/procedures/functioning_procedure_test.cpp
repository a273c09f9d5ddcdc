#include <gtest/gtest.h>

#include "autotests/support/console_harness.h"

namespace vr512b {
namespace {

using testing::Append;
using testing::Banner;
using testing::SimConsole;
using Lines = std::vector<std::string>;

Lines OpenUnderTest() {
  return {"Открыл проверяемое УПО", "  версия 2.3 (проверяемое)",
          "  серийный номер 10002 (проверяемое)"};
}

Lines State(int received, int sent) {
  return {"Читаю состояние проверяемого", "Принятых сообщений: " + std::to_string(received),
          "Переданных сообщений: " + std::to_string(sent), "Состояние: отсутствует"};
}

TEST(FunctioningTest, PassesOnTheVirtualBenchWithTheWholeLog) {
  SimConsole sim;
  ASSERT_TRUE(sim.Run("func"));
  EXPECT_EQ(sim.view.Cell("STFunc"), "OK");
  EXPECT_EQ(sim.console.TestFailed(), false);
  EXPECT_EQ(sim.console.Busy(), false);

  Lines want = Banner(">>>>>--Проверка функционирования--<<<<<");
  Append(want, OpenUnderTest());
  // The unit was just plugged in: its power-on event is the pending reply.
  Append(want, {"Событие проверяемого: включение питания", "Очистка проверяемого"});
  for (int r = 1; r <= 20; ++r) {
    Append(want, {"Запись конфигурации " + std::to_string(r),
                  "Чтение конфигурации " + std::to_string(r)});
  }
  want.push_back("Очистка регистров проверяемого");
  Append(want, State(0, 0));
  for (int n = 1; n <= 200; ++n)
    want.push_back("Записываю тестовое сообщение " + std::to_string(n));
  Append(want, State(200, 0));
  for (int n = 1; n <= 200; ++n)
    want.push_back("Читаю тестовое сообщение " + std::to_string(n));
  ASSERT_GE(sim.view.log.size(), want.size());
  const Lines head(sim.view.log.begin(), sim.view.log.begin() + want.size());
  EXPECT_EQ(head, want);

  // After the read-back the unit may show 0 or 200 received messages.
  const Lines tail(sim.view.log.begin() + want.size(), sim.view.log.end());
  ASSERT_EQ(tail.size(), 6u);
  EXPECT_TRUE(tail[1] == "Принятых сообщений: 0" || tail[1] == "Принятых сообщений: 200");
  EXPECT_EQ(tail[0], "Читаю состояние проверяемого");
  EXPECT_EQ(tail[2], "Переданных сообщений: 0");
  EXPECT_EQ(tail[3], "Состояние: отсутствует");
  EXPECT_EQ(tail[4], "Проверяемое устройство закрыто");
  EXPECT_EQ(tail[5], "");
  EXPECT_FALSE(sim.bench->Unit(urUnderTest).openByHost);
}

TEST(FunctioningTest, PacingMatchesTheMandatedPauses) {
  SimConsole sim;
  ASSERT_TRUE(sim.Run("func"));
  // 20 configuration writes (30 ms), two clears (150 ms), 200 messages
  // (20 ms), 100 ms before the count and 200+1 acknowledged replies (50 ms),
  // plus about a millisecond per transfer on the virtual bench.
  const std::int64_t pauses = 20 * 30 + 2 * 150 + 200 * 20 + 100 + 201 * 50;
  EXPECT_GE(sim.clock.NowMs(), pauses);
  EXPECT_LT(sim.clock.NowMs(), pauses + 1000);
}

TEST(FunctioningTest, AConfigurationByteNotKept) {
  {
    // Byte 5 is always written as 0, so a unit that drops it still passes.
    SimConsole sim({"config-byte ut 5"});
    sim.Run("func");
    EXPECT_EQ(sim.view.Cell("STFunc"), "OK");
  }
  SimConsole sim({"config-byte ut 2"});
  sim.Run("func");
  EXPECT_EQ(sim.view.Cell("STFunc"), "Ошибка");
  const Lines& log = sim.view.log;
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[log.size() - 3], "Данные не совпадают");
  EXPECT_EQ(log[log.size() - 2], "Проверяемое устройство закрыто");
  EXPECT_EQ(log.back(), "");
  EXPECT_EQ(sim.console.TestFailed(), true);
}

TEST(FunctioningTest, MissingUnitAndUnexpectedPendingReply) {
  {
    SimConsole sim({"absent ut"});
    sim.Run("func");
    Lines want = Banner(">>>>>--Проверка функционирования--<<<<<");
    Append(want, {"Не удалось открыть проверяемое УПО", ""});
    EXPECT_EQ(sim.view.log, want);
    EXPECT_EQ(sim.view.Cell("STFunc"), "Ошибка");
  }
  SimConsole sim({"pending ut 03"});
  sim.Run("func");
  Lines want = Banner(">>>>>--Проверка функционирования--<<<<<");
  Append(want, OpenUnderTest());
  Append(want, {"Неизвестный ответ 3", "Проверяемое устройство закрыто", ""});
  EXPECT_EQ(sim.view.log, want);
  EXPECT_EQ(sim.view.Cell("STFunc"), "Ошибка");
}

TEST(FunctioningTest, UnpluggedDuringTheCyclesLogsTheSystemText) {
  // Transfer 3 is the first configuration write after the reply read (1),
  // its acknowledgement (2) and the clear (3).
  SimConsole sim({"unplug ut after 3"});
  sim.Run("func");
  EXPECT_EQ(sim.view.Cell("STFunc"), "Ошибка");
  const Lines& log = sim.view.log;
  ASSERT_GE(log.size(), 5u);
  // The configuration cycles log the bare system text (followed by the empty
  // line its line break makes), then the frame closes the unit.
  EXPECT_EQ(log[log.size() - 5], "Запись конфигурации 1");
  EXPECT_NE(log[log.size() - 4], "");
  EXPECT_EQ(log[log.size() - 3], "");
  EXPECT_EQ(log[log.size() - 2], "Проверяемое устройство закрыто");
  EXPECT_EQ(log.back(), "");
}

TEST(FunctioningTest, AbortDuringTheMessageLoopsEndsWithinOneStep) {
  SimConsole sim;
  sim.AbortAt(5000);
  sim.Run("func");
  EXPECT_EQ(sim.view.Cell("STFunc"), "Прервано");
  EXPECT_EQ(sim.console.TestFailed(), true);
  EXPECT_EQ(sim.console.Busy(), false);
  const Lines& log = sim.view.log;
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[log.size() - 3].rfind("Записываю тестовое сообщение ", 0), 0u);
  EXPECT_EQ(log[log.size() - 2], "Проверяемое устройство закрыто");
  EXPECT_EQ(log.back(), "");
  EXPECT_FALSE(sim.bench->Unit(urUnderTest).openByHost);
}

TEST(FunctioningTest, AUnitThatStaysBusyDoesNotHoldTheConsoleForever) {
  // The indication test hangs up and waits for the unit; a unit whose busy
  // bits never clear is given up on after a bounded wait.
  SimConsole sim({"busy ut"});
  sim.Run("indic");
  EXPECT_EQ(sim.view.Cell("STIndic"), "Ошибка");
  const Lines& log = sim.view.log;
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[log.size() - 3], "Проверяемое УПО не завершило операцию за 30 с");
  EXPECT_EQ(log[log.size() - 2], "Проверяемое устройство закрыто");
  EXPECT_LT(sim.clock.NowMs(), 60000);
}

}  // namespace
}  // namespace vr512b
