#pragma once

#include <memory>
#include <string>

#include "procedures/test_parameters.h"
#include "settings/ext_registry.h"
#include "settings/registry_store.h"

namespace vr512b {

// The key of the test parameters under HKEY_LOCAL_MACHINE.
inline constexpr char kSettingsKeyPath[] = "Software\\Korvex\\DiagVR512B";

// A store that holds no test parameters at all and is left alone (the .reg
// file that is not a parameters file); the text says why.
class NotParametersError : public RegistryError {
 public:
  using RegistryError::RegistryError;
};

// The panel's controls as the window builds them, before loading: every box
// unchecked, every field empty. The window and the runner load into these
// alike, so that a value that cannot be read leaves both on the same value.
TestParameterValues UnloadedControls();

// Registry -> parameters. A key that cannot be opened leaves the defaults in
// place without complaint. A value that cannot be read keeps what it had and
// the others load all the same; then RegistryError names each value that
// could not be read, one per line. A store that holds no parameters gives the
// defaults and raises NotParametersError.
void LoadSettings(RegistryStore& store, TestParameterValues& values);

// The parameters stored at `path` (see OpenSettingsStore) into `values`, as
// LoadSettings gives them, and what went wrong.
struct SettingsLoad {
  std::string error;           // empty when every value was read
  bool notParameters = false;  // the store is none of parameters: nothing was read
};
SettingsLoad LoadSettingsFrom(const std::string& path, TestParameterValues& values);

// Parameters -> registry, every value, in one update. Raises RegistryError
// "Failed to set data for '<name>'" at the first value that cannot be written
// ("NameVR512BSample" when the key cannot be opened at all or the store takes
// none of them, as a read-only .reg file does).
void SaveSettings(RegistryStore& store, const TestParameterValues& values);
// The same for the values the operator changed since `loaded`; the others
// keep what the store holds when it is written (another console may have
// saved them since, or the value could not be read), and are only filled in
// where it holds nothing.
void SaveSettings(RegistryStore& store, const TestParameterValues& values,
                  const TestParameterValues& loaded);

#ifndef _WIN32
// The .reg file backend on `path`.
std::unique_ptr<RegistryStore> OpenFileStore(const std::string& path);
#endif

// The store of the parameters at `path`: on Linux the .reg file there; on
// Windows the system registry, `path` naming the hive, "HKEY_LOCAL_MACHINE"
// or "HKEY_CURRENT_USER" (HKLM and HKCU too). Any other name on Windows raises
// RegistryError.
std::unique_ptr<RegistryStore> OpenSettingsStore(const std::string& path);

// $XDG_CONFIG_HOME/Korvex/DiagVR512B.reg, or under ~/.config without it;
// HKEY_LOCAL_MACHINE on Windows.
std::string DefaultSettingsPath();
// The virtual bench keeps its own parameters beside the real ones, so that a
// demonstration never changes the bench technician's settings: the file
// DiagVR512B-sim.reg beside the real one; on Windows the same key under
// HKEY_CURRENT_USER, which needs no administrator either.
std::string DefaultSimulatorSettingsPath();

// The parameters that match the virtual bench: reference 10001, telephones
// 2001 and 2002, every format on, every option off.
TestParameterValues SimulatorSettings();

// When `path` does not exist yet (on Windows: when the hive has no parameter
// key yet), creates it with SimulatorSettings(). Says whether it did, and why
// it could not.
struct SeedResult {
  bool created = false;
  std::string error;  // for the operator: what could not be created, and why
};
SeedResult SeedSimulatorSettings(const std::string& path);
// The operator's text for a store at `path` that could not be seeded.
std::string SimulatorSeedError(const std::string& path, const std::string& reason);

}  // namespace vr512b
