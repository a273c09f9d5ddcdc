#include <gtest/gtest.h>

#include <algorithm>

#include "autotests/support/console_harness.h"

namespace vr512b {
namespace {

using testing::Append;
using testing::Banner;
using testing::SimConsole;
using Lines = std::vector<std::string>;

long CountPrefix(const Lines& log, const std::string& prefix) {
  return std::count_if(log.begin(), log.end(),
                       [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}
bool Has(const Lines& log, const std::string& line) {
  return std::find(log.begin(), log.end(), line) != log.end();
}

TEST(LineTest, PassesWithTheSimulatorSwitchedOffByTheTechnician) {
  SimConsole sim;
  ASSERT_TRUE(sim.Run("line"));
  const Lines& log = sim.view.log;
  EXPECT_EQ(sim.view.Cell("STTestLine"), "OK") << log.back();
  Lines want = Banner(">>>>>-------Проверка линии-------<<<<<");
  Append(want, {"Открыл проверяемое УПО", "  версия 2.3 (проверяемое)",
                "  серийный номер 10002 (проверяемое)", "Проверка вызывного тона",
                "Очистка проверяемого", "чтение конфигурации проверяемого",
                "Запись конфигурации проверяемого", "Жду завершения операции "});
  ASSERT_GE(log.size(), want.size());
  EXPECT_EQ(Lines(log.begin(), log.begin() + want.size()), want);
  // The whole voltage-present countdown, 30 down to 0.
  const auto present = std::find(log.begin(), log.end(), "Очистка регистров проверяемого");
  ASSERT_NE(present, log.end());
  Lines countdown;
  for (int t = 30; t >= 0; --t)
    countdown.push_back("Осталось времени (с): " + std::to_string(t));
  const auto first = std::find(present, log.end(), countdown.front());
  ASSERT_NE(first, log.end());
  EXPECT_EQ(Lines(first, first + 31), countdown);
  EXPECT_TRUE(Has(log, "Событие проверяемого: нет ULine"));
  // The technician switches the simulator off a few seconds after being told.
  const long removed = CountPrefix(log, "Осталось времени (с): ") - 31;
  EXPECT_GE(removed, 1);
  EXPECT_LE(removed, 6);
  EXPECT_EQ(log[log.size() - 3], "Очистка проверяемого");
  EXPECT_FALSE(sim.bench->Simulator().power);
  // About 31 s with voltage, then the few seconds until the loss is seen.
  EXPECT_GT(sim.clock.NowMs(), 33000);
  EXPECT_LT(sim.clock.NowMs(), 40000);
}

TEST(LineTest, VoltageThatStaysFailsAfterTheWholeCountdown) {
  SimConsole sim({"voltage-stays"});
  sim.Run("line");
  const Lines& log = sim.view.log;
  EXPECT_EQ(sim.view.Cell("STTestLine"), "Ошибка");
  EXPECT_EQ(CountPrefix(log, "Осталось времени (с): "), 62);
  EXPECT_EQ(log[log.size() - 3], "Линейное напряжение обнаруживается при его отсутствии");
}

TEST(LineTest, NoDialToneFailsTheFirstPhase) {
  SimConsole sim({"no-dial-tone"});
  sim.Run("line");
  const Lines& log = sim.view.log;
  EXPECT_EQ(sim.view.Cell("STTestLine"), "Ошибка");
  EXPECT_EQ(CountPrefix(log, "Осталось времени (с): "), 0);
  EXPECT_FALSE(Has(log, "Проверка линейного напряжения"));
  EXPECT_EQ(CountPrefix(log, "Состояние: "), 1);
  EXPECT_FALSE(Has(log, "Состояние: отсутствует"));
}

TEST(LineTest, AbortDuringTheCountdown) {
  SimConsole sim;
  sim.AbortAt(10000);
  sim.Run("line");
  const Lines& log = sim.view.log;
  EXPECT_EQ(sim.view.Cell("STTestLine"), "Прервано");
  EXPECT_EQ(log[log.size() - 3], "Жду завершения операции проверяемого");
  EXPECT_EQ(log[log.size() - 2], "Проверяемое устройство закрыто");
}

Lines Monitor(const std::vector<std::string>& scenarios, std::int64_t abortAt = 20000) {
  SimConsole sim(scenarios);
  sim.AbortAt(abortAt);
  sim.Run("monitor");
  EXPECT_EQ(sim.console.TestFailed(), true);
  EXPECT_EQ(sim.view.verdicts, Lines{"monitor: Прервано"});
  return sim.view.log;
}

TEST(LineMonitor, DecodesAPrestoMessageEntryByEntry) {
  const Lines log = Monitor({"call ut 50 0E0134126E00010034126E000100 2001"});
  Lines want = Banner(">>>>>--Прием сообщений с линии --<<<<<");
  Append(want, {"Открыл проверяемое УПО", "  версия 2.3 (проверяемое)",
                "  серийный номер 10002 (проверяемое)", "Очистка проверяемого",
                "чтение конфигурации проверяемого", "Запись конфигурации проверяемого", "Готов"});
  ASSERT_GE(log.size(), want.size());
  EXPECT_EQ(Lines(log.begin(), log.begin() + want.size()), want);
  const auto got = std::find(log.begin(), log.end(),
                             "Принял 00, формат 50: 0E 01 34 12 6E 00 01 00 34 12 6E 00 01 00");
  ASSERT_NE(got, log.end());
  EXPECT_EQ(*(got + 1), "  Сообщение: ID=1234 Msg=110 Num=1");
  EXPECT_EQ(*(got + 2), "  Сообщение: ID=1234 Msg=110 Num=1");
  // Abort puts the unit back to mode 0 and waits for it before closing.
  const Lines end(log.end() - 5, log.end());
  EXPECT_EQ(end,
            (Lines{"чтение конфигурации проверяемого", "Запись конфигурации проверяемого",
                   "Жду завершения операции проверяемого", "Проверяемое устройство закрыто", ""}));
}

TEST(LineMonitor, PrestoTypesTwoAndThreeAndShortLengths) {
  // Type 2, length 16: two entries of seven bytes.
  Lines log = Monitor({"call ut 50 1002010000E8030500020000D0070600"});
  EXPECT_TRUE(Has(log, "  Сообщение: СН=1 Msg=1000 Num=5"));
  EXPECT_TRUE(Has(log, "  Сообщение: СН=2 Msg=2000 Num=6"));
  // Type 2, length 8: six bytes remain, fewer than one entry.
  log = Monitor({"call ut 50 080201000000E8030500"});
  EXPECT_TRUE(Has(log, "Принял 00, формат 50: 08 02 01 00 00 00 E8 03"));
  EXPECT_EQ(CountPrefix(log, "  Сообщение: "), 0);
  // Type 3: the dump, then the unknown type.
  log = Monitor({"call ut 50 0E0334126E000100"});
  const auto dump = std::find_if(log.begin(), log.end(), [](const std::string& l) {
    return l.rfind("Принял 00, формат 50: 0E 03", 0) == 0;
  });
  ASSERT_NE(dump, log.end());
  EXPECT_EQ(*(dump + 1), "Неизвестный тип сообщения");
  // A length byte beyond the data field is cut at its 24 bytes.
  log = Monitor({"call ut 50 7F01"});
  const auto cut = std::find_if(log.begin(), log.end(), [](const std::string& l) {
    return l.rfind("Принял 00, формат 50: 7F 01", 0) == 0;
  });
  ASSERT_NE(cut, log.end());
  EXPECT_EQ(cut->size(), std::string("Принял 00, формат 50: ").size() + 24 * 3 - 1);
  EXPECT_EQ(CountPrefix(log, "  Сообщение: "), 3);
}

TEST(LineMonitor, TextFormatsAndTheReferenceUnitFallback) {
  Lines log = Monitor({"call ut 11 303030303138313131303030303030"});
  EXPECT_TRUE(Has(log, "Принял 00, формат 11: 000018111000000"));
  log = Monitor({"absent ut", "call ref 33 313233"});
  EXPECT_TRUE(Has(log, "Не удалось открыть проверяемое УПО"));
  EXPECT_TRUE(Has(log, "Открыл эталонное УПО"));
  EXPECT_TRUE(Has(log, "Принял 00, формат 33"));
  EXPECT_EQ(log[log.size() - 2], "Эталонное устройство закрыто");
}

TEST(LineMonitor, NoUnitAtAll) {
  SimConsole sim({"absent ut", "absent ref"});
  sim.Run("monitor");
  Lines want = Banner(">>>>>--Прием сообщений с линии --<<<<<");
  Append(want, {"Не удалось открыть проверяемое УПО", "Не удалось открыть эталонное УПО", ""});
  EXPECT_EQ(sim.view.log, want);
  EXPECT_EQ(sim.view.verdicts, Lines{"monitor: Ошибка"});
}

TEST(CheckAll, RunsTheWholeDiagnosis) {
  SimConsole sim;
  ASSERT_TRUE(sim.Run("all"));
  EXPECT_EQ(sim.view.verdicts, (Lines{"func: OK", "indic: OK", "sound: OK", "tr: OK", "rx: OK",
                                      "line: OK", "trmess: OK", "rxmess: OK"}));
  EXPECT_EQ(sim.console.TestFailed(), false);
}

TEST(CheckAll, ShortTestSkipsIndicationAndAFailureStops) {
  SimConsole sim;
  sim.view.parameters.ShortTest = true;
  TestParameterValues& p = sim.view.parameters;
  p.LowSpeed = p.Secsoa = p.Korvex = p.Presto = false;
  sim.Run("all");
  EXPECT_EQ(sim.view.verdicts, (Lines{"func: OK", "sound: OK", "tr: OK", "rx: OK", "line: OK",
                                      "trmess: OK", "rxmess: OK"}));
  EXPECT_EQ(sim.view.Cell("STIndic"), "");

  SimConsole failing({"config-byte ut 0"});
  failing.view.log.push_back("left from before");
  failing.Run("all");
  EXPECT_EQ(failing.view.verdicts, Lines{"func: Ошибка"});
  EXPECT_EQ(failing.view.log[1], ">>>>>--Проверка функционирования--<<<<<");
}

}  // namespace
}  // namespace vr512b
