// The virtual technician says yes only to what is really shown or heard, and
// does what the notices ask.

#include <gtest/gtest.h>

#include "autotests/sim/bench_rig.h"

namespace vr512b::testing {
namespace {

using sim::Wiring;

const std::string kDisplayQuestion =
    "На дисплей проверяемого УПО выведено сообщение 'The Test Message', горит индикатор "
    "'Компьютер'. Верно?";
const std::string kIndicatorsQuestion =
    "Горят индикаторы 'Линия' и 'Компьютер' проверяемого УПО (индикатор 'Линия' горит около "
    "10с).  Верно?";
const std::string kLoudQuestion =
    "Проверяемое УПО издает непрерывный звуковой сигнал 1000Гц (громко). Верно?";
const std::string kNormalQuestion =
    "Проверяемое УПО издает непрерывный звуковой сигнал 1000Гц (нормальной громкости). Верно?";
const std::string kBeepsQuestion = "Проверяемое УПО издает 8 коротких звуковых сигналов. Верно?";
const std::string kSilenceQuestion = "Проверяемое УПО не издает звуковых сигналов. Верно?";

void ShowText(BenchRig& rig, const std::string& text) {
  TMessageBlock block{};
  block[0] = mcDisplayText;
  std::copy(text.begin(), text.end(), block.begin() + kMsgDataField);
  rig.unit.WriteMessage(urUnderTest, block);
}

void SetVolumeAndMask(BenchRig& rig, std::uint8_t volume, std::uint8_t mask) {
  rig.Configure(urUnderTest, [&](TConfigBlock& c) {
    c[cfgMode] = 0;
    c[cfgVolume] = volume;
    c[cfgFormatMask] = mask;
  });
}

TEST(SimTechnician, DisplayAndIndicators) {
  BenchRig rig;
  rig.Open(urUnderTest);
  rig.unit.ClearUnit(urUnderTest);
  EXPECT_FALSE(rig.technician.Answer(kDisplayQuestion)) << "nothing shown yet";
  ShowText(rig, "The Test Message!");
  EXPECT_FALSE(rig.technician.Answer(kDisplayQuestion));
  ShowText(rig, "The Test Message");
  EXPECT_TRUE(rig.technician.Answer(kDisplayQuestion));
  // The same words with one blank less are not the console's question.
  std::string reworded = kIndicatorsQuestion;
  reworded.erase(reworded.find(".  ") + 1, 1);

  SetVolumeAndMask(rig, 127, 63);
  EXPECT_FALSE(rig.technician.Answer(kIndicatorsQuestion)) << "'Линия' is dark before the answer";
  rig.unit.SendCommand(urUnderTest, OpAnswer, 0, 0);
  EXPECT_TRUE(rig.technician.Answer(kIndicatorsQuestion));
  EXPECT_FALSE(rig.technician.Answer(reworded));
  rig.clock.Sleep(9000);
  EXPECT_TRUE(rig.technician.Answer(kIndicatorsQuestion));
  rig.clock.Sleep(1500);
  EXPECT_FALSE(rig.technician.Answer(kIndicatorsQuestion)) << "'Линия' goes out after about 10 s";

  rig.link.CloseDevices();
  EXPECT_FALSE(rig.technician.Answer(kDisplayQuestion)) << "'Компьютер' is dark once closed";
}

TEST(SimTechnician, BrokenDisplayShowsNothing) {
  BenchRig rig({"display-broken"});
  rig.Open(urUnderTest);
  ShowText(rig, "The Test Message");
  EXPECT_FALSE(rig.technician.Answer(kDisplayQuestion));
}

TEST(SimTechnician, ToneLoudnessAndBeeps) {
  BenchRig rig;
  rig.Open(urUnderTest);
  rig.unit.ClearUnit(urUnderTest);
  SetVolumeAndMask(rig, 255, 0);
  rig.unit.SendCommand(urUnderTest, OpSound, 12, 0);
  EXPECT_TRUE(rig.technician.Answer(kLoudQuestion));
  EXPECT_FALSE(rig.technician.Answer(kNormalQuestion));
  rig.unit.SendCommand(urUnderTest, OpSound, 1, 1);
  EXPECT_FALSE(rig.technician.Answer(kLoudQuestion));
  EXPECT_TRUE(rig.technician.Answer(kSilenceQuestion));

  SetVolumeAndMask(rig, 127, 0);
  rig.unit.SendCommand(urUnderTest, OpSound, 12, 0);
  EXPECT_TRUE(rig.technician.Answer(kNormalQuestion));
  EXPECT_FALSE(rig.technician.Answer(kLoudQuestion));
  rig.unit.SendCommand(urUnderTest, OpSound, 1, 1);

  SetVolumeAndMask(rig, 127, 63);
  rig.unit.SendCommand(urUnderTest, OpAnswer, 0, 0);
  rig.clock.Sleep(300);
  EXPECT_FALSE(rig.technician.Answer(kBeepsQuestion)) << "the signals take their time";
  rig.clock.Sleep(700);
  EXPECT_EQ(rig.bench.Unit(urUnderTest).beepsSinceAnswer, 8) << "all eight within a second";
  rig.clock.Sleep(500);
  EXPECT_TRUE(rig.technician.Answer(kBeepsQuestion));
  EXPECT_FALSE(rig.technician.Answer(kSilenceQuestion));
  rig.unit.SendCommand(urUnderTest, OpHangUp, 0, 0);
  rig.unit.WaitIdle(urUnderTest);

  SetVolumeAndMask(rig, 0, 63);
  rig.unit.SendCommand(urUnderTest, OpAnswer, 0, 0);
  rig.clock.Sleep(1500);
  EXPECT_TRUE(rig.technician.Answer(kSilenceQuestion));
  EXPECT_FALSE(rig.technician.Answer(kBeepsQuestion));
  EXPECT_FALSE(rig.technician.Answer("Проверяемое УПО издает звук. Верно?"));
}

TEST(SimTechnician, BrokenBuzzerIsSilent) {
  BenchRig rig({"buzzer-broken"});
  rig.Open(urUnderTest);
  SetVolumeAndMask(rig, 255, 63);
  rig.unit.SendCommand(urUnderTest, OpSound, 12, 0);
  EXPECT_FALSE(rig.technician.Answer(kLoudQuestion));
  rig.unit.SendCommand(urUnderTest, OpSound, 1, 1);
  rig.unit.SendCommand(urUnderTest, OpAnswer, 0, 0);
  rig.clock.Sleep(1500);
  EXPECT_FALSE(rig.technician.Answer(kBeepsQuestion));
  EXPECT_TRUE(rig.technician.Answer(kSilenceQuestion));
}

TEST(SimTechnician, NoticesRewireTheBench) {
  BenchRig rig;
  // The bench starts as the first notice of the data tests asks.
  EXPECT_EQ(rig.bench.Unit(urUnderTest).wiring, Wiring::Simulator);
  EXPECT_EQ(rig.bench.Unit(urReference).wiring, Wiring::Simulator);
  sim::SimulatorSnapshot simulator = rig.bench.Simulator();
  EXPECT_TRUE(simulator.power && simulator.generator425);
  EXPECT_TRUE(simulator.lineButton);
  EXPECT_FALSE(simulator.attenuationButton);
  rig.bench.Wire(urUnderTest, Wiring::PhoneLine);
  rig.bench.Wire(urReference, Wiring::PhoneLine);
  rig.bench.SetLineButton(false);
  rig.bench.SetAttenuationButton(false);

  rig.technician.CarryOut(
      "Проверяемое и эталонное УПО должны быть подключены к имитатору телефонной линии, кнопки "
      "'ЛИНИЯ' и 'ЗАТУХАНИЕ' - нажаты.");
  simulator = rig.bench.Simulator();
  EXPECT_TRUE(simulator.lineButton && simulator.attenuationButton);
  EXPECT_EQ(rig.bench.Unit(urUnderTest).wiring, Wiring::Simulator);
  EXPECT_EQ(rig.bench.Unit(urReference).wiring, Wiring::Simulator);

  rig.technician.CarryOut(
      "Проверяемое и эталонное УПО должны быть подключены к имитатору телефонной линии, кнопка "
      "'ЛИНИЯ' - нажата.");
  simulator = rig.bench.Simulator();
  EXPECT_TRUE(simulator.lineButton);
  EXPECT_FALSE(simulator.attenuationButton);

  rig.technician.CarryOut("Проверяемое и эталонное УПО должны быть подключены к телефонной линии.");
  EXPECT_EQ(rig.bench.Unit(urUnderTest).wiring, Wiring::PhoneLine);
  EXPECT_EQ(rig.bench.Unit(urReference).wiring, Wiring::PhoneLine);

  rig.bench.SetSimulatorPower(false);
  rig.bench.SetGenerator(false);
  rig.technician.CarryOut(
      "Проверяемое УПО должно быть подключено к имитатору телефонной линии, генератор 425Гц "
      "включен.");
  simulator = rig.bench.Simulator();
  EXPECT_TRUE(simulator.power && simulator.generator425);
  EXPECT_EQ(rig.bench.Unit(urUnderTest).wiring, Wiring::Simulator);
  EXPECT_EQ(rig.bench.Unit(urReference).wiring, Wiring::PhoneLine);

  rig.technician.CarryOut("Нажмите любую кнопку.");
  EXPECT_TRUE(rig.bench.Simulator().power);
  rig.technician.CarryOut(
      "Выключите питание имитатора телефонной линии или отсоедините его от проверяемого УПО.");
  rig.clock.Sleep(2000);
  EXPECT_TRUE(rig.bench.Simulator().power);
  rig.clock.Sleep(1500);
  EXPECT_FALSE(rig.bench.Simulator().power);
}

}  // namespace
}  // namespace vr512b::testing
