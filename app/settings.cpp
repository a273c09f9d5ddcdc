#include "settings.h"

#include <exception>
#include <functional>
#include <vector>

#include "ext_registry.h"

namespace vr512b {

namespace {

// The values in saving order; with `loaded`, those the operator left as they
// were loaded only fill a gap in the store.
TExtRegistry::Update SettingsUpdate(const TestParameterValues& v,
                                    const TestParameterValues* loaded) {
  const auto kept = [&](auto member) { return loaded != nullptr && v.*member == loaded->*member; };
  using P = TestParameterValues;
  TExtRegistry::Update update;
  update.WriteString("NameVR512BSample", v.NameVR512BSample, kept(&P::NameVR512BSample));
  update.WriteString("PhoneSample", v.PhoneSample, kept(&P::PhoneSample));
  update.WriteString("Phone", v.Phone, kept(&P::Phone));
  update.WriteBool("IDContact", v.IDContact, kept(&P::IDContact));
  update.WriteBool("LowSpeed", v.LowSpeed, kept(&P::LowSpeed));
  update.WriteBool("Secsoa", v.Secsoa, kept(&P::Secsoa));
  update.WriteBool("Korvex", v.Korvex, kept(&P::Korvex));
  update.WriteBool("Presto", v.Presto, kept(&P::Presto));
  update.WriteBool("ShortTest", v.ShortTest, kept(&P::ShortTest));
  update.WriteBool("SoundSample", v.SoundSample, kept(&P::SoundSample));
  update.WriteBool("Sound", v.Sound, kept(&P::Sound));
  update.WriteBool("KorvexTestMsg", v.KorvexTestMsg, kept(&P::KorvexTestMsg));
  update.WriteBool("CBNoTone", v.CBNoTone, kept(&P::CBNoTone));
  return update;
}

void Save(RegistryStore& store, const TestParameterValues& values,
          const TestParameterValues* loaded) {
  TExtRegistry registry(store);
  registry.OpenKey(kSettingsKeyPath, true);
  registry.Store(SettingsUpdate(values, loaded));
  registry.CloseKey();
}

}  // namespace

TestParameterValues UnloadedControls() {
  TestParameterValues none;
  none.IDContact = none.LowSpeed = none.Secsoa = none.Korvex = none.Presto = false;
  return none;
}

void LoadSettings(RegistryStore& store, TestParameterValues& values) {
  TExtRegistry registry(store);
  const std::string refusal = registry.OpenKey(kSettingsKeyPath, true) ? "" : store.Refusal();
  // A value that cannot be read is named and passed over: the values after
  // it are the operator's as much as those before.
  std::string problems;
  const auto read = [&](const std::function<void()>& step) {
    try {
      step();
    } catch (const RegistryError& e) {
      problems += problems.empty() ? "" : "\n";
      problems += e.what();
    }
  };
  auto& v = values;
  read([&] { v.NameVR512BSample = registry.ReadStringDef("NameVR512BSample", ""); });
  read([&] { v.PhoneSample = registry.ReadString("PhoneSample"); });
  read([&] { v.Phone = registry.ReadString("Phone"); });
  read([&] { v.IDContact = registry.ReadBoolDef("IDContact", true); });
  read([&] { v.LowSpeed = registry.ReadBoolDef("LowSpeed", true); });
  read([&] { v.Secsoa = registry.ReadBoolDef("Secsoa", true); });
  read([&] { v.Korvex = registry.ReadBoolDef("Korvex", true); });
  read([&] { v.Presto = registry.ReadBoolDef("Presto", true); });
  read([&] { v.ShortTest = registry.ReadBoolDef("ShortTest", false); });
  read([&] { v.Sound = registry.ReadBoolDef("Sound", false); });
  read([&] { v.SoundSample = registry.ReadBoolDef("SoundSample", false); });
  read([&] { v.KorvexTestMsg = registry.ReadBoolDef("KorvexTestMsg", false); });
  read([&] { v.CBNoTone = registry.ReadBoolDef("CBNoTone", false); });
  registry.CloseKey();
  if (!refusal.empty())
    throw NotParametersError(refusal);
  if (!problems.empty())
    throw RegistryError(problems);
}

SettingsLoad LoadSettingsFrom(const std::string& path, TestParameterValues& values) {
  SettingsLoad result;
  try {
    const std::unique_ptr<RegistryStore> store = OpenSettingsStore(path);
    LoadSettings(*store, values);
  } catch (const NotParametersError& e) {
    result.error = e.what();
    result.notParameters = true;
  } catch (const std::exception& e) {
    result.error = e.what();
  }
  return result;
}

void SaveSettings(RegistryStore& store, const TestParameterValues& values) {
  Save(store, values, nullptr);
}

void SaveSettings(RegistryStore& store, const TestParameterValues& values,
                  const TestParameterValues& loaded) {
  Save(store, values, &loaded);
}

TestParameterValues SimulatorSettings() {
  TestParameterValues seed;
  seed.NameVR512BSample = "10001";
  seed.PhoneSample = "2001";
  seed.Phone = "2002";
  return seed;
}

std::string SimulatorSeedError(const std::string& path, const std::string& reason) {
  return "Не удалось создать параметры виртуального стенда в «" + path + "»: " + reason +
         ". Без них эталонное УПО стенда не будет найдено.";
}

}  // namespace vr512b
