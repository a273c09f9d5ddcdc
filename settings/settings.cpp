#include "settings/settings.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <vector>

#include "settings/ext_registry.h"

namespace vr512b {

namespace {

// The values in saving order; with `loaded`, those the operator left as they
// were loaded only fill a gap in the store.
TExtRegistry::Update SettingsUpdate(const TestParameterValues& v,
                                    const TestParameterValues* loaded) {
  std::vector<const ParameterInfo*> order;
  for (const ParameterInfo& parameter : AllParameters())
    order.push_back(&parameter);
  std::sort(order.begin(), order.end(), [](const ParameterInfo* a, const ParameterInfo* b) {
    return a->saveOrder < b->saveOrder;
  });
  TExtRegistry::Update update;
  for (const ParameterInfo* parameter : order) {
    const bool kept = loaded != nullptr && parameter->Text(v) == parameter->Text(*loaded);
    if (parameter->IsFlag())
      update.WriteBool(parameter->name, v.*parameter->flag, kept);
    else
      update.WriteString(parameter->name, v.*parameter->text, kept);
  }
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
  for (const ParameterInfo& parameter : AllParameters()) {
    if (parameter.IsFlag())
      none.*parameter.flag = false;
  }
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
  for (const ParameterInfo& parameter : AllParameters()) {
    read([&] {
      if (parameter.IsFlag())
        values.*parameter.flag = registry.ReadBoolDef(parameter.name, parameter.flagDefault);
      else
        values.*parameter.text = registry.ReadStringDef(parameter.name, "");
    });
  }
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
