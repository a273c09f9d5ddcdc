#include "ext_registry.h"
#include "settings.h"
#include "text.h"

namespace vr512b {

std::unique_ptr<RegistryStore> OpenSettingsStore(const std::string& path) {
  if (EqualsIgnoringAsciiCase(path, "HKEY_LOCAL_MACHINE") || EqualsIgnoringAsciiCase(path, "HKLM"))
    return OpenSystemRegistryStore(RegistryHive::LocalMachine);
  if (EqualsIgnoringAsciiCase(path, "HKEY_CURRENT_USER") || EqualsIgnoringAsciiCase(path, "HKCU"))
    return OpenSystemRegistryStore(RegistryHive::CurrentUser);
  throw RegistryError("Неизвестный раздел реестра '" + path +
                      "': нужен HKEY_LOCAL_MACHINE или HKEY_CURRENT_USER");
}

std::string DefaultSettingsPath() {
  return "HKEY_LOCAL_MACHINE";
}

std::string DefaultSimulatorSettingsPath() {
  return "HKEY_CURRENT_USER";
}

bool SeedSimulatorSettings(const std::string& path) {
  try {
    const std::unique_ptr<RegistryStore> store = OpenSettingsStore(path);
    if (store->OpenKey(kSettingsKeyPath, false)) {
      store->CloseKey();
      return false;
    }
    SaveSettings(*store, SimulatorSettings());
    return true;
  } catch (const RegistryError&) {
    // Loading then reports the same trouble, or runs on the defaults.
    return false;
  }
}

}  // namespace vr512b
