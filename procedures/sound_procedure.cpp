#include "procedures/sound_procedure.h"

#include "procedures/output_procedure.h"
#include "procedures/test_failure.h"

namespace vr512b {

namespace {

constexpr int kBeepWaitMs = 1500;

class SoundProcedure final : public OutputProcedure {
 public:
  void Body(ProcedureHost& host) override {
    UnitSteps unit = host.unit();
    Open(host);
    TConfigBlock config;
    unit.ReadConfig(urUnderTest, config);
    config[cfgMode] = mdNormal;
    config[cfgVolume] = kVolumeLoud;
    unit.WriteConfig(urUnderTest, config);
    host.WriteLog("Вывожу звук (громко)");
    Tone(host, "Проверяемое УПО издает непрерывный звуковой сигнал 1000Гц (громко). Верно?");

    config[cfgVolume] = kVolumeNormal;
    unit.WriteConfig(urUnderTest, config);
    host.WriteLog("Вывожу звук (тихо)");
    Tone(host,
         "Проверяемое УПО издает непрерывный звуковой сигнал 1000Гц (нормальной громкости). "
         "Верно?");

    if (!AnswerAndAsk(host, config, "Проверяемое УПО издает 8 коротких звуковых сигналов. Верно?",
                      kBeepWaitMs)) {
      throw TestFailure("Нет звука");
    }
    config[cfgVolume] = kVolumeSilent;
    if (!AnswerAndAsk(host, config, "Проверяемое УПО не издает звуковых сигналов. Верно?",
                      kBeepWaitMs)) {
      throw TestFailure("Нет звука");
    }
  }

 private:
  static void Tone(ProcedureHost& host, const std::string& question) {
    host.unit().SendCommand(urUnderTest, OpSound, sndContinuousTone, 0);
    const bool heard = host.AskYesNo(question);
    host.unit().SendCommand(urUnderTest, OpSound, sndStop, 1);
    if (!heard)
      throw TestFailure("Нет звука");
  }
};

}  // namespace

std::unique_ptr<TestRun> MakeSoundProcedure() {
  return std::make_unique<SoundProcedure>();
}

}  // namespace vr512b
