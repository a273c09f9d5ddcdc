#include "procedures/line_procedure.h"

#include <string>

#include "procedures/test_failure.h"

namespace vr512b {

namespace {

constexpr int kDialTonePollMs = 20;
constexpr int kVoltagePollMs = 1000;
constexpr int kVoltageCountdown = 30;
constexpr const char* kNotPassed = "Тест не прошел";

[[noreturn]] void Fail(ProcedureHost& host, const char* text) {
  host.WriteLog(text);
  throw TestFailure(kNotPassed);
}

class LineProcedure final : public TestRun {
 public:
  void Body(ProcedureHost& host) override {
    UnitSteps unit = host.unit();
    if (!host.link().OpenDevice(urUnderTest))
      throw TestFailure(kCannotOpenDevice);
    host.ShowNotice(
        "Проверяемое УПО должно быть подключено к имитатору телефонной линии, генератор 425Гц "
        "включен.");

    host.WriteLog("Проверка вызывного тона");
    unit.ClearUnit(urUnderTest);
    TConfigBlock config;
    unit.ReadConfig(urUnderTest, config);
    config[cfgMode] = mdNormal;
    unit.WriteConfig(urUnderTest, config);
    unit.SendCommand(urUnderTest, OpLineTest, 0, 0);
    host.WriteLog("Жду завершения операции ");
    while (host.Busy()) {
      const std::uint8_t flags = unit.PollState(urUnderTest);
      if (flags & sfEvent)
        ReadReply(host);
      if ((flags & kLineOperationMask) == 0)
        break;
      host.CheckAbort();
      host.clock().Sleep(kDialTonePollMs);
    }
    RequireIdleState(host, nullptr);

    host.WriteLog("Проверка линейного напряжения");
    unit.ClearRegisters(urUnderTest);
    unit.ReadConfig(urUnderTest, config);
    config[cfgMode] = mdLineVoltageWatch;
    unit.WriteConfig(urUnderTest, config);
    host.WriteLog("Жду завершения операции");
    for (int t = kVoltageCountdown; t >= 0; --t) {
      const std::uint8_t flags = unit.PollState(urUnderTest);
      if ((flags & sfEvent) && ReadReply(host)[1] == evNoLineVoltage) {
        throw TestFailure(kNotPassed);
      }
      Tick(host, t);
    }
    RequireIdleState(host, "Линейное напряжение не обнаруживается");

    host.ShowNotice(
        "Выключите питание имитатора телефонной линии или отсоедините его от проверяемого УПО.");
    host.WriteLog("Проверка линейного напряжения");
    host.WriteLog("Жду завершения операции");
    bool seen = false;
    for (int t = kVoltageCountdown; t >= 0; --t) {
      const std::uint8_t flags = unit.PollState(urUnderTest);
      if ((flags & sfEvent) && ReadReply(host)[1] == evNoLineVoltage) {
        seen = true;
        break;
      }
      Tick(host, t);
    }
    if (!seen)
      Fail(host, "Линейное напряжение обнаруживается при его отсутствии");
    unit.ClearUnit(urUnderTest);
  }

  void AbortCleanup(ProcedureHost& host) override { WaitIdleIfOpen(host, urUnderTest); }

 private:
  static TMessageBlock ReadReply(ProcedureHost& host) {
    TMessageBlock reply;
    host.unit().ReadReply(urUnderTest, reply);
    return reply;
  }

  static void Tick(ProcedureHost& host, int t) {
    host.CheckAbort();
    host.clock().Sleep(kVoltagePollMs);
    host.WriteLog("Осталось времени (с): " + std::to_string(t));
  }

  // The state read after a phase must show nothing at all.
  static void RequireIdleState(ProcedureHost& host, const char* failLine) {
    const std::uint8_t flags = host.unit().ReadState(urUnderTest);
    if (flags & sfEvent)
      ReadReply(host);
    if (flags == 0)
      return;
    if (failLine)
      Fail(host, failLine);
    throw TestFailure(kNotPassed);
  }
};

}  // namespace

std::unique_ptr<TestRun> MakeLineProcedure() {
  return std::make_unique<LineProcedure>();
}

}  // namespace vr512b
