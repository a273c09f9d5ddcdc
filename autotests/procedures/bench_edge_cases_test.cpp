// Units that behave at the edges the procedures must cope with, produced on
// the virtual bench by the --sim scenarios rather than by a scripted fake.

#include <gtest/gtest.h>

#include <algorithm>

#include "autotests/support/console_harness.h"

namespace vr512b {
namespace {

using testing::SimConsole;
using Lines = std::vector<std::string>;

Lines Tail(const Lines& log, std::size_t count) {
  return Lines(log.end() - static_cast<std::ptrdiff_t>(std::min(count, log.size())), log.end());
}

bool Has(const Lines& log, const std::string& line) {
  return std::find(log.begin(), log.end(), line) != log.end();
}

Lines::const_iterator FindPrefix(const Lines& log, const std::string& prefix) {
  return std::find_if(log.begin(), log.end(),
                      [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
}

void OnlyContactId(SimConsole& sim) {
  TestParameterValues& p = sim.view.parameters;
  p.LowSpeed = p.Secsoa = p.Korvex = p.Presto = false;
  p.ShortTest = true;
}

// After the read-back a unit may show 200 or 0 received messages; 199 is
// neither.
TEST(BenchEdgeCases, ReceivedCountAfterTheReadBack) {
  for (const int count : {0, 199}) {
    SCOPED_TRACE(count);
    SimConsole sim({"count-after-read ut " + std::to_string(count)});
    sim.Run("func");
    const Lines& log = sim.view.log;
    ASSERT_GE(log.size(), 8u);
    const Lines want = {"Читаю тестовое сообщение 200", "Читаю состояние проверяемого",
                        "Принятых сообщений: " + std::to_string(count), "Переданных сообщений: 0",
                        "Состояние: отсутствует"};
    const auto readBack = std::find(log.begin(), log.end(), want.front());
    ASSERT_NE(readBack, log.end());
    EXPECT_EQ(Lines(readBack, readBack + 5), want);
    if (count == 0) {
      EXPECT_EQ(sim.view.verdicts, Lines{"func: OK"});
      EXPECT_EQ(Tail(log, 2), (Lines{"Проверяемое устройство закрыто", ""}));
    } else {
      EXPECT_EQ(sim.view.verdicts, Lines{"func: Ошибка"});
      EXPECT_EQ(Tail(log, 3), (Lines{"Неверное состояние", "Проверяемое устройство закрыто", ""}));
    }
  }
}

// The loss of line voltage is already reported at the first poll after the
// technician closed the notice: the last phase ends without a countdown line.
TEST(BenchEdgeCases, VoltageLossSeenAtTheFirstPollAfterTheNotice) {
  SimConsole sim({"power-off-before-ok"});
  sim.Run("line");
  EXPECT_EQ(sim.view.verdicts, Lines{"line: OK"});
  EXPECT_EQ(Tail(sim.view.log, 8),
            (Lines{"Читаю состояние проверяемого", "Состояние: отсутствует",
                   "Проверка линейного напряжения", "Жду завершения операции",
                   "Событие проверяемого: нет ULine", "Очистка проверяемого",
                   "Проверяемое устройство закрыто", ""}));
}

// An error reply the transmitter sends in mid-exchange is logged by the reply
// read; only a code in the end-of-transmission range fails the exchange.
TEST(BenchEdgeCases, ErrorReplyFromTheTransmitterInMidExchange) {
  SimConsole logged({"error ut 7 after 3"});
  OnlyContactId(logged);
  logged.Run("tr");
  EXPECT_EQ(logged.view.verdicts, Lines{"tr: OK"});
  const Lines& log = logged.view.log;
  const auto error = std::find(log.begin(), log.end(), "Ошибка: нет подтверждения передачи");
  ASSERT_NE(error, log.end());
  EXPECT_LT(FindPrefix(log, "Передал сообщение 02: "), error);
  EXPECT_NE(FindPrefix(log, "Принял  сообщение 29: "), log.end());

  SimConsole failing({"error ut 70 after 3"});
  OnlyContactId(failing);
  failing.Run("tr");
  EXPECT_EQ(failing.view.verdicts, Lines{"tr: Ошибка"});
  const Lines& failed = failing.view.log;
  const auto unknown = std::find(failed.begin(), failed.end(), "Ошибка: неизвестная ошибка");
  ASSERT_NE(unknown, failed.end());
  EXPECT_EQ(*(unknown + 1), "Ошибка передачи");
}

// A receiving unit that reports an error among its messages: the data test
// logs it and goes on; the phone-line test ends with the reception failure,
// whose text does not reach the log.
TEST(BenchEdgeCases, ErrorReplyFromTheReceiverInMidExchange) {
  SimConsole data({"error ref 14 after 2 quiet"});
  OnlyContactId(data);
  data.Run("tr");
  EXPECT_EQ(data.view.verdicts, Lines{"tr: OK"});
  EXPECT_TRUE(Has(data.view.log, "Ошибка: шумы при приеме"));

  SimConsole phone({"error ref 14 after 2 quiet"});
  OnlyContactId(phone);
  phone.Run("trmess");
  EXPECT_EQ(phone.view.verdicts, Lines{"trmess: Ошибка"});
  const Lines& log = phone.view.log;
  const auto error = std::find(log.begin(), log.end(), "Ошибка: шумы при приеме");
  ASSERT_NE(error, log.end());
  EXPECT_EQ((error - 1)->rfind("Принял  сообщение 1: ", 0), 0u);
  EXPECT_FALSE(Has(log, "Ошибка приема"));
}

// The monitor reads a reply at every pass whether or not sfEvent is up: an
// error that raises no sfEvent gives the reply read's line and the monitor's.
TEST(BenchEdgeCases, ErrorReplyInTheMonitorWithoutTheEventBit) {
  SimConsole sim({"call ut 11 303030303138313131303030303030 2001", "error ut 12 after 1 quiet"});
  sim.AbortAt(20000);
  sim.Run("monitor");
  const Lines& log = sim.view.log;
  const auto message = std::find(log.begin(), log.end(), "Принял 00, формат 11: 000018111000000");
  ASSERT_NE(message, log.end());
  ASSERT_LT(message + 2, log.end());
  EXPECT_EQ(*(message + 1), "Ошибка: ошибка  контрольной  суммы  (КС)");
  EXPECT_EQ(*(message + 2), "Ошибка 12");

  // Raised with sfEvent, the error is taken by the read the poll asks for,
  // which logs only the reply read's line.
  SimConsole flagged({"call ut 11 303030303138313131303030303030 2001", "error ut 12 after 1"});
  flagged.AbortAt(20000);
  flagged.Run("monitor");
  EXPECT_TRUE(Has(flagged.view.log, "Ошибка: ошибка  контрольной  суммы  (КС)"));
  EXPECT_FALSE(Has(flagged.view.log, "Ошибка 12"));
}

}  // namespace
}  // namespace vr512b
