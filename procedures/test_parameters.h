#pragma once

#include <span>
#include <string>

namespace vr512b {

// The test parameters as the procedures read them at the moment of use.
struct TestParameterValues {
  std::string NameVR512BSample;  // reference serial number, as typed
  std::string PhoneSample;       // telephone of the reference unit
  std::string Phone;             // telephone of the unit under test
  bool IDContact = true;
  bool LowSpeed = true;
  bool Secsoa = true;
  bool Korvex = true;
  bool Presto = true;
  bool ShortTest = false;
  bool Sound = false;
  bool SoundSample = false;
  bool KorvexTestMsg = false;
  bool CBNoTone = false;

  bool operator==(const TestParameterValues&) const = default;
};

// One test parameter: its name (in the store, the run record, --set, the
// trace and the history), its type (a text or a flag), the value it has when
// the store lacks it, the panel's control that edits it, and its place among
// the values a save writes.
struct ParameterInfo {
  const char* name;
  std::string TestParameterValues::*text;  // a text parameter, else null
  bool TestParameterValues::*flag;         // a flag, else null
  bool flagDefault;                        // a text's default is empty
  const char* control;
  int saveOrder;

  bool IsFlag() const { return flag != nullptr; }
  // The value as the store's text would give it: the text, or "1" or "0".
  std::string Text(const TestParameterValues& values) const {
    return IsFlag() ? (values.*flag ? "1" : "0") : values.*text;
  }
};

// Every parameter, in the order they are loaded, shown and recorded: the
// texts first. A save writes "SoundSample" before "Sound" (saveOrder).
inline std::span<const ParameterInfo> AllParameters() {
  using P = TestParameterValues;
  static constexpr ParameterInfo kParameters[] = {
      {"NameVR512BSample", &P::NameVR512BSample, nullptr, false, "EdNameVR512BSample", 0},
      {"PhoneSample", &P::PhoneSample, nullptr, false, "EdPhoneSample", 1},
      {"Phone", &P::Phone, nullptr, false, "EdPhone", 2},
      {"IDContact", nullptr, &P::IDContact, true, "CBIDContact", 3},
      {"LowSpeed", nullptr, &P::LowSpeed, true, "CBLowSpeed", 4},
      {"Secsoa", nullptr, &P::Secsoa, true, "CBSecsoa", 5},
      {"Korvex", nullptr, &P::Korvex, true, "CBKorvex", 6},
      {"Presto", nullptr, &P::Presto, true, "CBPresto", 7},
      {"ShortTest", nullptr, &P::ShortTest, false, "CBShortTest", 8},
      {"Sound", nullptr, &P::Sound, false, "CBSound", 10},
      {"SoundSample", nullptr, &P::SoundSample, false, "CBSoundSample", 9},
      {"KorvexTestMsg", nullptr, &P::KorvexTestMsg, false, "CBKorvexTestMsg", 11},
      {"CBNoTone", nullptr, &P::CBNoTone, false, "CBNoTone", 12},
  };
  return kParameters;
}

}  // namespace vr512b
