#include "settings.h"

#include <cstdlib>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

#include "ext_registry.h"
#ifndef _WIN32
#include "reg_file_store.h"
#endif

namespace vr512b {

namespace {

#ifndef _WIN32
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
#endif

TestParameterValues SimulatorSeed() {
  TestParameterValues seed;
  seed.NameVR512BSample = "10001";
  seed.PhoneSample = "2001";
  seed.Phone = "2002";
  return seed;
}

}  // namespace

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

#ifdef _WIN32

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
    SaveSettings(*store, SimulatorSeed());
    return true;
  } catch (const RegistryError&) {
    // Loading then reports the same trouble, or runs on the defaults.
    return false;
  }
}

#else

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

bool SeedSimulatorSettings(const std::string& path) {
  // Collect exactly what a save writes, then publish it as one file.
  MemoryRegistryStore collected;
  SaveSettings(collected, SimulatorSeed());
  return CreateRegFile(path, kSettingsKeyPath, collected.values());
}

#endif

}  // namespace vr512b
