#include "output_procedures.h"

#include <cstring>
#include <string>

#include "test_failure.h"

namespace vr512b {

namespace {

constexpr int kBeepWaitMs = 1500;

TMessageBlock DisplayBlock(const char* text) {
  TMessageBlock block{};
  block[0] = mcDisplayText;
  std::memcpy(block.data() + kMsgDataField, text, std::strlen(text) + 1);
  return block;
}

// Shared by both tests: the unit under test is opened, cleared and put in mode 0.
class OutputTest : public TestRun {
 public:
  void AbortCleanup(ProcedureHost& host) override { WaitIdleIfOpen(host, urUnderTest); }

 protected:
  static void Open(ProcedureHost& host) {
    if (!host.link().OpenDevice(urUnderTest))
      throw TestFailure(kCannotOpenDevice);
    host.unit().ClearUnit(urUnderTest);
  }
  // Answers, waits, asks, then hangs up and restores the format mask before
  // the answer is judged, so a refusal never leaves the unit on line.
  static bool AnswerAndAsk(ProcedureHost& host, TConfigBlock& config, const std::string& question,
                           int waitMs) {
    UnitCommands& unit = host.unit();
    config[cfgFormatMask] = 63;
    unit.WriteConfig(urUnderTest, config);
    unit.SendCommand(urUnderTest, OpAnswer, 0, 0);
    host.clock().Sleep(waitMs);
    const bool yes = host.AskYesNo(question);
    unit.SendCommand(urUnderTest, OpHangUp, 0, 0);
    config[cfgFormatMask] = 0;
    unit.WriteConfig(urUnderTest, config);
    unit.WaitIdle(urUnderTest);
    return yes;
  }
};

class IndicationTest final : public OutputTest {
 public:
  void Body(ProcedureHost& host) override {
    UnitCommands& unit = host.unit();
    Open(host);
    TConfigBlock config;
    unit.ReadConfig(urUnderTest, config);
    config[cfgMode] = 0;
    unit.WriteConfig(urUnderTest, config);
    TMessageBlock reply;
    unit.ReadReply(urUnderTest, reply);

    host.WriteLog("Вывожу на дисплей");
    unit.WriteMessage(urUnderTest, DisplayBlock("The Test Message"));
    const bool shown = host.AskYesNo(
        "На дисплей проверяемого УПО выведено сообщение 'The Test Message', горит индикатор "
        "'Компьютер'. Верно?");
    unit.WriteMessage(urUnderTest, DisplayBlock(""));
    if (!shown)
      throw TestFailure("Неверная индикация");

    const bool lit = AnswerAndAsk(host, config,
                                  "Горят индикаторы 'Линия' и 'Компьютер' проверяемого УПО "
                                  "(индикатор 'Линия' горит около 10с).  Верно?",
                                  0);
    if (!lit)
      throw TestFailure("Неверная индикация");
  }
};

class SoundTest final : public OutputTest {
 public:
  void Body(ProcedureHost& host) override {
    UnitCommands& unit = host.unit();
    Open(host);
    TConfigBlock config;
    unit.ReadConfig(urUnderTest, config);
    config[cfgMode] = 0;
    config[cfgVolume] = 255;
    unit.WriteConfig(urUnderTest, config);
    host.WriteLog("Вывожу звук (громко)");
    Tone(host, "Проверяемое УПО издает непрерывный звуковой сигнал 1000Гц (громко). Верно?");

    config[cfgVolume] = 127;
    unit.WriteConfig(urUnderTest, config);
    host.WriteLog("Вывожу звук (тихо)");
    Tone(host,
         "Проверяемое УПО издает непрерывный звуковой сигнал 1000Гц (нормальной громкости). "
         "Верно?");

    if (!AnswerAndAsk(host, config, "Проверяемое УПО издает 8 коротких звуковых сигналов. Верно?",
                      kBeepWaitMs)) {
      throw TestFailure("Нет звука");
    }
    config[cfgVolume] = 0;
    if (!AnswerAndAsk(host, config, "Проверяемое УПО не издает звуковых сигналов. Верно?",
                      kBeepWaitMs)) {
      throw TestFailure("Нет звука");
    }
  }

 private:
  static void Tone(ProcedureHost& host, const std::string& question) {
    host.unit().SendCommand(urUnderTest, OpSound, 12, 0);
    const bool heard = host.AskYesNo(question);
    host.unit().SendCommand(urUnderTest, OpSound, 1, 1);
    if (!heard)
      throw TestFailure("Нет звука");
  }
};

}  // namespace

std::unique_ptr<TestRun> MakeIndicationTest() {
  return std::make_unique<IndicationTest>();
}
std::unique_ptr<TestRun> MakeSoundTest() {
  return std::make_unique<SoundTest>();
}

}  // namespace vr512b
