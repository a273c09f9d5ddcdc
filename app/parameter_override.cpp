#include "parameter_override.h"

#include <utility>

namespace vr512b {

namespace {

using Text = std::string TestParameterValues::*;
using Flag = bool TestParameterValues::*;

// By their stored value names, in the order the store keeps them.
constexpr std::pair<const char*, Text> kTexts[] = {
    {"NameVR512BSample", &TestParameterValues::NameVR512BSample},
    {"PhoneSample", &TestParameterValues::PhoneSample},
    {"Phone", &TestParameterValues::Phone},
};
constexpr std::pair<const char*, Flag> kFlags[] = {
    {"IDContact", &TestParameterValues::IDContact},
    {"LowSpeed", &TestParameterValues::LowSpeed},
    {"Secsoa", &TestParameterValues::Secsoa},
    {"Korvex", &TestParameterValues::Korvex},
    {"Presto", &TestParameterValues::Presto},
    {"ShortTest", &TestParameterValues::ShortTest},
    {"Sound", &TestParameterValues::Sound},
    {"SoundSample", &TestParameterValues::SoundSample},
    {"KorvexTestMsg", &TestParameterValues::KorvexTestMsg},
    {"CBNoTone", &TestParameterValues::CBNoTone},
};

}  // namespace

std::string SetParameterByName(TestParameterValues& values, const std::string& name,
                               const std::string& value) {
  for (const auto& [key, member] : kTexts) {
    if (name == key) {
      values.*member = value;
      return "";
    }
  }
  for (const auto& [key, member] : kFlags) {
    if (name == key) {
      if (value != "0" && value != "1")
        return "параметр " + name + " принимает 0 или 1";
      values.*member = value == "1";
      return "";
    }
  }
  return "неизвестный параметр " + name;
}

std::vector<std::pair<std::string, std::string>> ParametersByName(
    const TestParameterValues& values) {
  std::vector<std::pair<std::string, std::string>> named;
  for (const auto& [key, member] : kTexts)
    named.emplace_back(key, values.*member);
  for (const auto& [key, member] : kFlags)
    named.emplace_back(key, values.*member ? "1" : "0");
  return named;
}

}  // namespace vr512b
