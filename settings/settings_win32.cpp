#include "common/text.h"
#include "settings/ext_registry.h"
#include "settings/settings.h"

namespace vr512b {

std::unique_ptr<RegistryStore> OpenSettingsStore(const std::string& path) {
  if (EqualsIgnoringAsciiCase(path, "HKEY_LOCAL_MACHINE") || EqualsIgnoringAsciiCase(path, "HKLM"))
    return OpenSystemRegistryStore(RegistryHive::LocalMachine);
  if (EqualsIgnoringAsciiCase(path, "HKEY_CURRENT_USER") || EqualsIgnoringAsciiCase(path, "HKCU"))
    return OpenSystemRegistryStore(RegistryHive::CurrentUser);
  throw NotParametersError("Неизвестный раздел реестра '" + path +
                           "': нужен HKEY_LOCAL_MACHINE или HKEY_CURRENT_USER");
}

std::string DefaultSettingsPath() {
  return "HKEY_LOCAL_MACHINE";
}

std::string DefaultSimulatorSettingsPath() {
  return "HKEY_CURRENT_USER";
}

SeedResult SeedSimulatorSettings(const std::string& path) {
  SeedResult result;
  try {
    const std::unique_ptr<RegistryStore> store = OpenSettingsStore(path);
    if (store->OpenKey(kSettingsKeyPath, false)) {
      store->CloseKey();
      return result;
    }
    SaveSettings(*store, SimulatorSettings());
    result.created = true;
  } catch (const RegistryError& e) {
    result.error = SimulatorSeedError(path, e.what());
  }
  return result;
}

}  // namespace vr512b
