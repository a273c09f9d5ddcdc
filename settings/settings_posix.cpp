#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "settings/memory_registry_store.h"
#include "settings/reg_file_store.h"
#include "settings/settings.h"

namespace vr512b {

namespace {

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0')
    return home;
  // Services and sudo can run us without HOME; the password database still
  // knows where the account lives.
  passwd entry{};
  passwd* found = nullptr;
  std::string buffer(16384, '\0');
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_dir != nullptr) {
    return found->pw_dir;
  }
  return ".";
}

std::string SettingsFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  // The base-directory convention says to ignore a relative path here.
  if (config != nullptr && config[0] == '/')
    return std::string(config) + "/Korvex";
  return HomeFolder() + "/.config/Korvex";
}
}  // namespace

std::unique_ptr<RegistryStore> OpenFileStore(const std::string& path) {
  return std::make_unique<RegFileStore>(path);
}

std::unique_ptr<RegistryStore> OpenSettingsStore(const std::string& path) {
  return OpenFileStore(path);
}

std::string DefaultSettingsPath() {
  return SettingsFolder() + "/DiagVR512B.reg";
}

std::string DefaultSimulatorSettingsPath() {
  return SettingsFolder() + "/DiagVR512B-sim.reg";
}

SeedResult SeedSimulatorSettings(const std::string& path) {
  // Collect exactly what a save writes, then publish it as one file.
  MemoryRegistryStore collected;
  SaveSettings(collected, SimulatorSettings());
  SeedResult result;
  const std::string error =
      CreateRegFile(path, kSettingsKeyPath, collected.values(), result.created);
  if (!error.empty())
    result.error = SimulatorSeedError(path, error);
  return result;
}

}  // namespace vr512b
