#include <string_view>

#include "sim/trace_replay.h"
#include "sim/virtual_bench.h"

namespace vr512b::sim {

namespace {

// The technician understands the console's own words and nothing else: a
// question worded differently is not what the procedure should ask, so it gets
// a No, and a notice worded differently is not carried out.
constexpr std::string_view kDisplayQuestion =
    "На дисплей проверяемого УПО выведено сообщение 'The Test Message', горит индикатор "
    "'Компьютер'. Верно?";
constexpr std::string_view kDisplayedText = "The Test Message";
constexpr std::string_view kIndicatorsQuestion =
    "Горят индикаторы 'Линия' и 'Компьютер' проверяемого УПО (индикатор 'Линия' горит около "
    "10с).  Верно?";
constexpr std::string_view kLoudToneQuestion =
    "Проверяемое УПО издает непрерывный звуковой сигнал 1000Гц (громко). Верно?";
constexpr std::string_view kNormalToneQuestion =
    "Проверяемое УПО издает непрерывный звуковой сигнал 1000Гц (нормальной громкости). Верно?";
constexpr std::string_view kBeepsQuestion =
    "Проверяемое УПО издает 8 коротких звуковых сигналов. Верно?";
constexpr int kBeepsAsked = 8;
constexpr std::string_view kSilenceQuestion = "Проверяемое УПО не издает звуковых сигналов. Верно?";

constexpr std::string_view kDataNotice =
    "Проверяемое и эталонное УПО должны быть подключены к имитатору телефонной линии, кнопка "
    "'ЛИНИЯ' - нажата.";
constexpr std::string_view kAttenuatedDataNotice =
    "Проверяемое и эталонное УПО должны быть подключены к имитатору телефонной линии, кнопки "
    "'ЛИНИЯ' и 'ЗАТУХАНИЕ' - нажаты.";
constexpr std::string_view kLineTestNotice =
    "Проверяемое УПО должно быть подключено к имитатору телефонной линии, генератор 425Гц "
    "включен.";
constexpr std::string_view kVoltageOffNotice =
    "Выключите питание имитатора телефонной линии или отсоедините его от проверяемого УПО.";
constexpr std::string_view kPhoneLineNotice =
    "Проверяемое и эталонное УПО должны быть подключены к телефонной линии.";

// Reaching the simulator's switch after closing the box takes a moment.
constexpr int kPowerOffDelayMs = 3000;
// A technician who switches off first reads the box again before closing it.
constexpr int kClosingBoxMs = 1000;

// How loud a volume setting sounds to a person at the bench.
enum class Loudness { Silent, Quiet, Normal, Loud };

Loudness Heard(int volume) {
  if (volume <= 0)
    return Loudness::Silent;
  if (volume < 64)
    return Loudness::Quiet;
  if (volume < 192)
    return Loudness::Normal;
  return Loudness::Loud;
}

Loudness ToneHeard(const UnitSnapshot& unit) {
  return unit.toneOn ? Heard(unit.toneVolume) : Loudness::Silent;
}

}  // namespace

bool VirtualTechnician::Answer(const std::string& question) {
  // A unit replayed from a trace shows nothing on the bench: the answer is the
  // one the operator gave at the recorded bench.
  if (TraceReplay* replay = bench_.Replay()) {
    if (const std::optional<bool> recorded = replay->RecordedAnswer(question))
      return *recorded;
  }
  const UnitSnapshot unit = bench_.Unit(urUnderTest);
  if (question == kDisplayQuestion) {
    return unit.display == kDisplayedText && unit.computerIndicator;
  }
  if (question == kIndicatorsQuestion)
    return unit.lineIndicator && unit.computerIndicator;
  if (question == kLoudToneQuestion)
    return ToneHeard(unit) == Loudness::Loud;
  if (question == kNormalToneQuestion)
    return ToneHeard(unit) == Loudness::Normal;
  if (question == kBeepsQuestion) {
    return unit.beepsSinceAnswer == kBeepsAsked && ToneHeard(unit) == Loudness::Silent;
  }
  if (question == kSilenceQuestion) {
    return unit.beepsSinceAnswer == 0 && ToneHeard(unit) == Loudness::Silent;
  }
  return false;
}

void VirtualTechnician::CarryOut(const std::string& notice) {
  if (notice == kDataNotice || notice == kAttenuatedDataNotice) {
    bench_.Wire(urUnderTest, Wiring::Simulator);
    bench_.Wire(urReference, Wiring::Simulator);
    bench_.SetSimulatorPower(true);
    bench_.SetLineButton(true);
    bench_.SetAttenuationButton(notice == kAttenuatedDataNotice);
  } else if (notice == kLineTestNotice) {
    bench_.Wire(urUnderTest, Wiring::Simulator);
    bench_.SetSimulatorPower(true);
    bench_.SetGenerator(true);
  } else if (notice == kVoltageOffNotice) {
    if (bench_.config().powerOffBeforeOk) {
      bench_.SetSimulatorPower(false);
      bench_.clock().Sleep(kClosingBoxMs);
    } else {
      bench_.SetSimulatorPowerLater(false, kPowerOffDelayMs);
    }
  } else if (notice == kPhoneLineNotice) {
    bench_.Wire(urUnderTest, Wiring::PhoneLine);
    bench_.Wire(urReference, Wiring::PhoneLine);
  }
}

}  // namespace vr512b::sim
