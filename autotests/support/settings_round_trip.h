#pragma once

// The test-parameter file as anyone may have edited it: load whatever it
// holds, save the result into the same file, and the next load must give back
// exactly what was saved. The fuzz target of the settings file and the
// regression tests of its findings share this one path. POSIX: the .reg file
// store.

#include <string>

#include "ext_registry.h"
#include "reg_file_store.h"
#include "settings.h"
#include "test_parameters.h"

namespace vr512b::testing {

inline std::string DescribeParameters(const TestParameterValues& v) {
  std::string text = "[" + v.NameVR512BSample + "] [" + v.PhoneSample + "] [" + v.Phone + "] ";
  for (bool flag : {v.IDContact, v.LowSpeed, v.Secsoa, v.Korvex, v.Presto, v.ShortTest, v.Sound,
                    v.SoundSample, v.KorvexTestMsg, v.CBNoTone}) {
    text += flag ? '1' : '0';
  }
  return text;
}

// Runs the round trip on the file at `path`; `loaded` receives what the first
// load gave. Returns what went wrong, empty when nothing did.
inline std::string SettingsRoundTripProblem(const std::string& path, TestParameterValues& loaded) {
  loaded = TestParameterValues{};
  try {
    RegFileStore store(path);
    LoadSettings(store, loaded);
  } catch (const RegistryError&) {
    // A value of the wrong type stops the load; what was read so far stays.
  }
  try {
    RegFileStore store(path);
    SaveSettings(store, loaded);
  } catch (const RegistryError& e) {
    return std::string("saving failed: ") + e.what();
  }
  TestParameterValues reloaded;
  // Every value must come from the file, none from before the load.
  reloaded.IDContact = !loaded.IDContact;
  try {
    RegFileStore store(path);
    LoadSettings(store, reloaded);
  } catch (const RegistryError& e) {
    return std::string("reloading failed: ") + e.what();
  }
  if (!(reloaded == loaded))
    return "saved " + DescribeParameters(loaded) + ", reloaded " + DescribeParameters(reloaded);
  return {};
}

}  // namespace vr512b::testing
