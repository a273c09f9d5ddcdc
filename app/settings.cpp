#include "settings.h"

#include <exception>

#include "ext_registry.h"

namespace vr512b {

void LoadSettings(RegistryStore& store, TestParameterValues& values) {
  TExtRegistry registry(store);
  registry.OpenKey(kSettingsKeyPath, true);
  values.NameVR512BSample = registry.ReadStringDef("NameVR512BSample", "");
  values.PhoneSample = registry.ReadString("PhoneSample");
  values.Phone = registry.ReadString("Phone");
  values.IDContact = registry.ReadBoolDef("IDContact", true);
  values.LowSpeed = registry.ReadBoolDef("LowSpeed", true);
  values.Secsoa = registry.ReadBoolDef("Secsoa", true);
  values.Korvex = registry.ReadBoolDef("Korvex", true);
  values.Presto = registry.ReadBoolDef("Presto", true);
  values.ShortTest = registry.ReadBoolDef("ShortTest", false);
  values.Sound = registry.ReadBoolDef("Sound", false);
  values.SoundSample = registry.ReadBoolDef("SoundSample", false);
  values.KorvexTestMsg = registry.ReadBoolDef("KorvexTestMsg", false);
  values.CBNoTone = registry.ReadBoolDef("CBNoTone", false);
  registry.CloseKey();
}

std::string LoadSettingsFrom(const std::string& path, TestParameterValues& values) {
  try {
    const std::unique_ptr<RegistryStore> store = OpenSettingsStore(path);
    LoadSettings(*store, values);
  } catch (const std::exception& e) {
    return e.what();
  }
  return {};
}

void SaveSettings(RegistryStore& store, const TestParameterValues& values) {
  TExtRegistry registry(store);
  registry.OpenKey(kSettingsKeyPath, true);
  registry.WriteString("NameVR512BSample", values.NameVR512BSample);
  registry.WriteString("PhoneSample", values.PhoneSample);
  registry.WriteString("Phone", values.Phone);
  registry.WriteBool("IDContact", values.IDContact);
  registry.WriteBool("LowSpeed", values.LowSpeed);
  registry.WriteBool("Secsoa", values.Secsoa);
  registry.WriteBool("Korvex", values.Korvex);
  registry.WriteBool("Presto", values.Presto);
  registry.WriteBool("ShortTest", values.ShortTest);
  registry.WriteBool("SoundSample", values.SoundSample);
  registry.WriteBool("Sound", values.Sound);
  registry.WriteBool("KorvexTestMsg", values.KorvexTestMsg);
  registry.WriteBool("CBNoTone", values.CBNoTone);
  registry.CloseKey();
}

TestParameterValues SimulatorSettings() {
  TestParameterValues seed;
  seed.NameVR512BSample = "10001";
  seed.PhoneSample = "2001";
  seed.Phone = "2002";
  return seed;
}

}  // namespace vr512b
