#pragma once

#include <memory>
#include <string>

#include "registry_store.h"
#include "test_parameters.h"

namespace vr512b {

// The key of the test parameters under HKEY_LOCAL_MACHINE.
inline constexpr char kSettingsKeyPath[] = "Software\\Korvex\\DiagVR512B";

// Registry -> parameters. A key that cannot be opened leaves the defaults in
// place without complaint. A value of the wrong type stops the load with its
// RegistryError; the values after it in loading order keep what they had.
void LoadSettings(RegistryStore& store, TestParameterValues& values);

// The parameters stored at `path` (see OpenSettingsStore) into `values`, as
// LoadSettings gives them. Returns the error text of the value that stopped
// the load, empty when none did.
std::string LoadSettingsFrom(const std::string& path, TestParameterValues& values);

// Parameters -> registry, value by value; raises RegistryError at the first
// value that cannot be written ("NameVR512BSample" when the key cannot be
// opened at all).
void SaveSettings(RegistryStore& store, const TestParameterValues& values);

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
// key yet), creates it with SimulatorSettings(). Returns whether it created
// them.
bool SeedSimulatorSettings(const std::string& path);

}  // namespace vr512b
