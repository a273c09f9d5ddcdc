#include <gtest/gtest.h>

#include "autotests/support/console_harness.h"

namespace vr512b {
namespace {

using testing::Append;
using testing::Banner;
using testing::SimConsole;
using Lines = std::vector<std::string>;

const char* kDisplayQuestion =
    "На дисплей проверяемого УПО выведено сообщение 'The Test Message', горит индикатор "
    "'Компьютер'. Верно?";
const char* kIndicatorsQuestion =
    "Горят индикаторы 'Линия' и 'Компьютер' проверяемого УПО (индикатор 'Линия' горит около "
    "10с).  Верно?";
const char* kLoudQuestion =
    "Проверяемое УПО издает непрерывный звуковой сигнал 1000Гц (громко). Верно?";
const char* kNormalQuestion =
    "Проверяемое УПО издает непрерывный звуковой сигнал 1000Гц (нормальной громкости). Верно?";
const char* kBeepsQuestion = "Проверяемое УПО издает 8 коротких звуковых сигналов. Верно?";
const char* kSilenceQuestion = "Проверяемое УПО не издает звуковых сигналов. Верно?";

Lines OpenUnderTest() {
  return {"Открыл проверяемое УПО", "  версия 2.3 (проверяемое)",
          "  серийный номер 10002 (проверяемое)"};
}

TEST(IndicationTest, PassesWithBothQuestionsConfirmedByLooking) {
  SimConsole sim;
  ASSERT_TRUE(sim.Run("indic"));
  EXPECT_EQ(sim.view.Cell("STIndic"), "OK");
  EXPECT_EQ(sim.view.questions, (Lines{kDisplayQuestion, kIndicatorsQuestion}));
  Lines want = Banner(">>>>>--Проверка индикации--<<<<<");
  Append(want, OpenUnderTest());
  Append(want, {"Очистка проверяемого", "чтение конфигурации проверяемого",
                "Запись конфигурации проверяемого", "Вывожу на дисплей",
                "Запись конфигурации проверяемого", "Запись конфигурации проверяемого",
                "Жду завершения операции проверяемого", "Проверяемое устройство закрыто", ""});
  EXPECT_EQ(sim.view.log, want);
  const sim::UnitSnapshot unit = sim.bench->Unit(urUnderTest);
  EXPECT_EQ(unit.display, "");
  EXPECT_EQ(unit.mode, 0);
  EXPECT_EQ(unit.formatMask, 0);
}

TEST(IndicationTest, ABrokenDisplayIsRefusedAndTheDisplayStillBlanked) {
  SimConsole sim({"display-broken"});
  sim.Run("indic");
  EXPECT_EQ(sim.view.Cell("STIndic"), "Ошибка");
  EXPECT_EQ(sim.view.questions, Lines{kDisplayQuestion});
  EXPECT_EQ(sim.view.log[sim.view.log.size() - 2], "Проверяемое устройство закрыто");

  // A console that forgets to show the text fails the same way: refusing the
  // first question still blanks the display.
  SimConsole refusing;
  refusing.view.answer = [](const std::string&) { return false; };
  refusing.Run("indic");
  EXPECT_EQ(refusing.view.Cell("STIndic"), "Ошибка");
  EXPECT_EQ(refusing.bench->Unit(urUnderTest).display, "");
}

TEST(SoundTest, PassesAndAsksEachQuestionAfterItsOutputStarted) {
  SimConsole sim;
  ASSERT_TRUE(sim.Run("sound"));
  EXPECT_EQ(sim.view.Cell("STSound"), "OK");
  EXPECT_EQ(sim.view.questions,
            (Lines{kLoudQuestion, kNormalQuestion, kBeepsQuestion, kSilenceQuestion}));
  Lines want = Banner(">>>>>----Проверка звука----<<<<<");
  Append(want, OpenUnderTest());
  Append(want, {"Очистка проверяемого", "чтение конфигурации проверяемого",
                "Запись конфигурации проверяемого", "Вывожу звук (громко)",
                "Запись конфигурации проверяемого", "Вывожу звук (тихо)",
                "Запись конфигурации проверяемого", "Запись конфигурации проверяемого",
                "Жду завершения операции проверяемого", "Запись конфигурации проверяемого",
                "Запись конфигурации проверяемого", "Жду завершения операции проверяемого",
                "Проверяемое устройство закрыто", ""});
  EXPECT_EQ(sim.view.log, want);
  // The beep and silence questions come 1500 ms after the answer command,
  // which follows the 30 ms configuration write.
  ASSERT_EQ(sim.view.questionTimes.size(), 4u);
  EXPECT_GE(sim.view.questionTimes[2] - sim.view.questionTimes[1], 1500 + 30);
  const sim::UnitSnapshot unit = sim.bench->Unit(urUnderTest);
  EXPECT_EQ(unit.volume, 0);
  EXPECT_FALSE(unit.toneOn);
}

TEST(SoundTest, ASilentBuzzerFailsAndARefusedBeepQuestionStillHangsUp) {
  {
    SimConsole sim({"buzzer-broken"});
    sim.Run("sound");
    EXPECT_EQ(sim.view.Cell("STSound"), "Ошибка");
    EXPECT_EQ(sim.view.questions, Lines{kLoudQuestion});
    EXPECT_FALSE(sim.bench->Unit(urUnderTest).toneOn);
  }
  SimConsole sim;
  sim.view.answer = [](const std::string& q) { return q != kBeepsQuestion; };
  sim.Run("sound");
  EXPECT_EQ(sim.view.Cell("STSound"), "Ошибка");
  const Lines& log = sim.view.log;
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log[log.size() - 4], "Запись конфигурации проверяемого");
  EXPECT_EQ(log[log.size() - 3], "Жду завершения операции проверяемого");
  const sim::UnitSnapshot unit = sim.bench->Unit(urUnderTest);
  EXPECT_EQ(unit.formatMask, 0);
  EXPECT_EQ(unit.stateFlags & kBusyMask, 0);
}

TEST(OutputTests, AbortIsSeenOnlyAtTheStartButFailuresAfterItReadAborted) {
  // Abort pressed while the first question is open cannot happen (the box is
  // modal); pressed later it only turns a failure into "Прервано".
  SimConsole sim;
  sim.view.answer = [&sim](const std::string&) {
    sim.console.RequestAbort();
    return false;
  };
  sim.Run("indic");
  EXPECT_EQ(sim.view.Cell("STIndic"), "Прервано");
  const Lines& log = sim.view.log;
  ASSERT_GE(log.size(), 3u);
  // The abort clean-up waits for the unit before it is closed.
  EXPECT_EQ(log[log.size() - 3], "Жду завершения операции проверяемого");
  EXPECT_EQ(sim.console.TestFailed(), true);
}

}  // namespace
}  // namespace vr512b
