#include <gtest/gtest.h>

#include <algorithm>

#include "autotests/support/console_harness.h"

namespace vr512b {
namespace {

using testing::SimConsole;
using Lines = std::vector<std::string>;

const char* kPlainNotice =
    "Проверяемое и эталонное УПО должны быть подключены к имитатору телефонной линии, кнопка "
    "'ЛИНИЯ' - нажата.";
const char* kAttenuatedNotice =
    "Проверяемое и эталонное УПО должны быть подключены к имитатору телефонной линии, кнопки "
    "'ЛИНИЯ' и 'ЗАТУХАНИЕ' - нажаты.";
const char* kPhoneNotice = "Проверяемое и эталонное УПО должны быть подключены к телефонной линии.";

long Count(const Lines& log, const std::string& line) {
  return std::count(log.begin(), log.end(), line);
}
long CountPrefix(const Lines& log, const std::string& prefix) {
  return std::count_if(log.begin(), log.end(),
                       [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}
bool Has(const Lines& log, const std::string& line) {
  return Count(log, line) > 0;
}

void OnlyFormat(SimConsole& sim, bool TestParameterValues::*box) {
  TestParameterValues& p = sim.view.parameters;
  p.IDContact = p.LowSpeed = p.Secsoa = p.Korvex = p.Presto = false;
  p.*box = true;
}

TEST(DataTests, TransmissionPassesEveryFormatOnBothLines) {
  SimConsole sim;
  ASSERT_TRUE(sim.Run("tr"));
  const Lines& log = sim.view.log;
  EXPECT_EQ(sim.view.Cell("STTestTR"), "OK") << log.back();
  EXPECT_EQ(sim.view.notices, (Lines{kPlainNotice, kAttenuatedNotice}));
  for (const char* header : {"==Проверка формата ID Contact==", "==Проверка формата Low Speed==",
                             "==Проверка формата Secsoa==", "==Проверка формата Korvex==",
                             "==Проверка формата Presto=="}) {
    EXPECT_EQ(Count(log, header), 2) << header;
  }
  EXPECT_EQ(Count(log, "Подготавливаю передачу и прием"), 10);
  EXPECT_EQ(Count(log, "Передал сообщение 00: 000018111000000"), 2);
  EXPECT_EQ(Count(log, "Принял  сообщение 00: 000018111000000"), 2);
  EXPECT_EQ(Count(log, "Принял  сообщение 29: 11FF18340100029"), 2);
  EXPECT_EQ(Count(log, "Передал сообщение 25: 11BB18344100025"), 2);
  EXPECT_EQ(Count(log, "Передал сообщение 26: 11CC18160200025"), 2);
  EXPECT_EQ(Count(log, "Принял  сообщение 09: 4321CD"), 4);  // Low Speed and Secsoa, twice
  EXPECT_EQ(Count(log, "Передал сообщение 00: 0E 01 34 12 6E 00 01 00 34 12 6E 00 01 00"), 2);
  EXPECT_EQ(Count(log, "Принял  сообщение 29: 0E 01 21 21 3A 02 08 00 34 12 6E 00 01 00"), 2);
  // Korvex hands over thirty random messages, numbered without leading zeros.
  EXPECT_EQ(Count(log, "Передал сообщение 0"), 2);
  EXPECT_EQ(Count(log, "Передал сообщение 29"), 2);
  EXPECT_EQ(CountPrefix(log, "Принял  сообщение "), 2 * (30 + 10 + 10 + 30));
  EXPECT_EQ(log.back(), "");
  EXPECT_EQ(log[log.size() - 3], "Проверяемое устройство закрыто");
  EXPECT_EQ(log[log.size() - 2], "Эталонное устройство закрыто");
}

TEST(DataTests, ReceptionRunsTheOtherWayAndTheShortTestSkipsThePlainPass) {
  SimConsole sim;
  sim.view.parameters.ShortTest = true;
  OnlyFormat(sim, &TestParameterValues::IDContact);
  ASSERT_TRUE(sim.Run("rx"));
  EXPECT_EQ(sim.view.Cell("STTestRX"), "OK") << sim.view.log.back();
  EXPECT_TRUE(sim.view.notices.empty());
  EXPECT_EQ(Count(sim.view.log, "==Проверка формата ID Contact=="), 1);
  EXPECT_EQ(CountPrefix(sim.view.log, "Принял  сообщение "), 30);
}

TEST(DataTests, WithoutAnyFormatOnlyTheNoticesAreShown) {
  SimConsole sim;
  TestParameterValues& p = sim.view.parameters;
  p.IDContact = p.LowSpeed = p.Secsoa = p.Korvex = p.Presto = false;
  sim.Run("tr");
  EXPECT_EQ(sim.view.Cell("STTestTR"), "OK");
  EXPECT_EQ(sim.view.notices.size(), 2u);
  EXPECT_EQ(CountPrefix(sim.view.log, "Подготавливаю"), 0);
}

TEST(DataTests, ACorruptedMessageFailsTheDataCheck) {
  SimConsole sim({"corrupt ref 3"});
  OnlyFormat(sim, &TestParameterValues::LowSpeed);
  sim.Run("tr");
  EXPECT_EQ(sim.view.Cell("STTestTR"), "Ошибка");
  EXPECT_TRUE(Has(sim.view.log, "Ошибка в принятых данных"));
  EXPECT_TRUE(Has(sim.view.log, "Принял  сообщение 02: 445534"));
}

TEST(DataTests, ADroppedConnectionIsNoticed) {
  SimConsole sim({"drop ut after 4"});
  OnlyFormat(sim, &TestParameterValues::IDContact);
  sim.Run("tr");
  EXPECT_EQ(sim.view.Cell("STTestTR"), "Ошибка");
  const Lines& log = sim.view.log;
  EXPECT_TRUE(Has(log, "Потеря соединения передающим") || Has(log, "Ошибка передачи") ||
              Has(log, "Потеря соединения принимающим"));
}

TEST(DataTests, AbortDuringAnExchangeWaitsForBothUnits) {
  SimConsole sim;
  sim.AbortAt(20000);
  sim.Run("tr");
  EXPECT_EQ(sim.view.Cell("STTestTR"), "Прервано");
  const Lines& log = sim.view.log;
  ASSERT_GE(log.size(), 4u);
  const auto wait = std::find(log.begin(), log.end(), "Жду завершения операции проверяемого");
  ASSERT_NE(wait, log.end());
  EXPECT_NE(std::find(wait, log.end(), "Жду завершения операции эталонного"), log.end());
  EXPECT_EQ(log[log.size() - 3], "Проверяемое устройство закрыто");
  EXPECT_EQ(log[log.size() - 2], "Эталонное устройство закрыто");
  EXPECT_FALSE(sim.bench->Unit(urUnderTest).openByHost);
  EXPECT_FALSE(sim.bench->Unit(urReference).openByHost);
}

// The unit under test stays busy past the console's bound on the wait; the
// reference unit is still waited for before both are closed.
TEST(DataTests, AbortCleanUpWaitsForTheReferenceAfterTheUnitUnderTestTimedOut) {
  for (const char* test : {"tr", "trmess"}) {
    SCOPED_TRACE(test);
    SimConsole sim({"busy ut"});
    sim.view.parameters.ShortTest = true;
    sim.AbortAt(5000);
    sim.Run(test);
    // In this order, with any event lines of the waits between them.
    const Lines& log = sim.view.log;
    auto at = log.begin();
    for (const char* line :
         {"Жду завершения операции проверяемого", "Проверяемое УПО не завершило операцию за 30 с",
          "Жду завершения операции эталонного", "Проверяемое устройство закрыто",
          "Эталонное устройство закрыто", ""}) {
      at = std::find(at, log.end(), line);
      ASSERT_NE(at, log.end()) << line;
    }
    EXPECT_EQ(at, log.end() - 1);
    EXPECT_EQ(sim.view.verdicts.back(), std::string(test) + ": Прервано");
    EXPECT_EQ(sim.bench->Unit(urReference).stateFlags & kBusyMask, 0)
        << "the reference unit was left busy";
  }
}

TEST(PhoneLineTests, TransmissionLogsTheCallingNumberOncePerFormat) {
  SimConsole sim;
  ASSERT_TRUE(sim.Run("trmess"));
  const Lines& log = sim.view.log;
  EXPECT_EQ(sim.view.Cell("STTestTRMess"), "OK") << log.back();
  EXPECT_EQ(sim.view.notices, Lines{kPhoneNotice});
  EXPECT_EQ(log[1], ">>>>>--Проверка передачи по тлф линии--<<<<<");
  EXPECT_EQ(log[0], std::string(44, '-'));
  EXPECT_TRUE(Has(log, "Передал сообщение 0: 000018111000000"));
  EXPECT_TRUE(Has(log, "Принял  сообщение 0: 000018111000000"));
  EXPECT_TRUE(Has(log, "Принял  сообщение 9: 4321CD"));
  // Korvex and Presto lines carry no data.
  EXPECT_EQ(Count(log, "Передал сообщение 9"), 2);
  // The unit under test calls from 2002; one number line per received series.
  const long numbers = Count(log, "!!!Номер: 2002 !!!");
  EXPECT_GE(numbers, 1);
  EXPECT_LE(numbers, 5);
}

TEST(PhoneLineTests, ReceptionAndTheKorvexTestMessage) {
  SimConsole sim;
  sim.view.parameters.KorvexTestMsg = true;
  OnlyFormat(sim, &TestParameterValues::Korvex);
  ASSERT_TRUE(sim.Run("rxmess"));
  EXPECT_EQ(sim.view.Cell("STTestRXMess"), "OK") << sim.view.log.back();
  EXPECT_EQ(sim.view.log[0], std::string(42, '-'));
  const Lines& log = sim.view.log;
  if (CountPrefix(log, "Принял  сообщение ") > 0) {
    EXPECT_TRUE(Has(log, "!!!Номер: 2001 !!!"));
    EXPECT_TRUE(Has(log, "Принял  сообщение 0"));
  }
}

TEST(PhoneLineTests, AWrongPhoneNumberIsAFailedTransmission) {
  SimConsole sim;
  sim.view.parameters.PhoneSample = "9999";
  OnlyFormat(sim, &TestParameterValues::Secsoa);
  sim.Run("trmess");
  EXPECT_EQ(sim.view.Cell("STTestTRMess"), "Ошибка");
  const Lines& log = sim.view.log;
  EXPECT_TRUE(Has(log, "Ошибка передачи") || Has(log, "Потеря соединения передающим"));
}

}  // namespace
}  // namespace vr512b
