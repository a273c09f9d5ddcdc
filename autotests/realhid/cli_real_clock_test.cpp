// vr512b-diag-cli as a technician runs it, without --simulate, on the real
// clock: a process of its own that finds the units through hidapi and libudev
// on the mocked bus this process keeps, and runs the functioning test.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "autotests/realhid/real_stack.h"
#include "autotests/support/test_support.h"

namespace vr512b::realhid {
namespace {

using Lines = std::vector<std::string>;

Lines State(int received) {
  return {"Читаю состояние проверяемого", "Принятых сообщений: " + std::to_string(received),
          "Переданных сообщений: 0", "Состояние: отсутствует"};
}

void Add(Lines& lines, const Lines& more) {
  lines.insert(lines.end(), more.begin(), more.end());
}

TEST(RealClockCli, TheFunctioningTestInAProcessOfItsOwn) {
  RealClock clock;
  RealStack stack({}, &clock);
  testing::TempDir dir;
  const auto start = std::chrono::steady_clock::now();
  const RunOutput got = RunCliProcess({"--settings", dir.File("units.reg"), "--set",
                                       "NameVR512BSample=10001", "--answer", "no", "func"});
  const auto wall = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  std::printf("[ real     ] functioning test on the real clock: %lld ms\n",
              static_cast<long long>(wall.count()));
  RecordProperty("wall_ms", static_cast<int>(wall.count()));

  Lines want{std::string(39, '-'), ">>>>>--Проверка функционирования--<<<<<", std::string(39, '-'),
             "Открыл проверяемое УПО", "  версия 2.3 (проверяемое)",
             "  серийный номер 10002 (проверяемое)",
             // The unit was just plugged in: its power-on event is pending.
             "Событие проверяемого: включение питания", "Очистка проверяемого"};
  for (int r = 1; r <= 20; ++r) {
    want.push_back("Запись конфигурации " + std::to_string(r));
    want.push_back("Чтение конфигурации " + std::to_string(r));
  }
  want.push_back("Очистка регистров проверяемого");
  Add(want, State(0));
  for (int n = 1; n <= 200; ++n)
    want.push_back("Записываю тестовое сообщение " + std::to_string(n));
  Add(want, State(200));
  for (int n = 1; n <= 200; ++n)
    want.push_back("Читаю тестовое сообщение " + std::to_string(n));
  // After the read-back the unit may show 200 received messages or none.
  const Lines log = testing::Lines(got.out);
  const bool emptied =
      log.size() > want.size() + 1 && log[want.size() + 1] == "Принятых сообщений: 0";
  Add(want, State(emptied ? 0 : 200));
  Add(want, {"Проверяемое устройство закрыто", ""});
  EXPECT_EQ(log, want);
  EXPECT_EQ(got.err, "STFunc: OK\n");
  EXPECT_EQ(got.status, 0);

  // Every step went over the mocked bus: the 20 write/read cycles, the 200
  // messages each way with the read-backs' acknowledgements, and the rest.
  EXPECT_EQ(stack.units.Opens(urUnderTest), 1);
  EXPECT_GE(stack.units.Transfers(urUnderTest), 2 * 20 + 200 + 2 * 200);
  EXPECT_FALSE(stack.units.InUse(urUnderTest));
  EXPECT_EQ(stack.units.Problems(), Lines{});
  // On the real clock the mandated pauses are really taken: 20 x 30 ms,
  // 200 x 20 ms, 100 ms, 201 x 50 ms and 2 x 150 ms come to 15.05 s.
  EXPECT_GE(wall.count(), 15050);
}

}  // namespace
}  // namespace vr512b::realhid
