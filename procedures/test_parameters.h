#pragma once

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

}  // namespace vr512b
