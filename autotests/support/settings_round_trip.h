#pragma once

// The test-parameter file as anyone may have edited it. Loading must leave it
// as it is; a file that is no parameters file must refuse every save; a save
// that changes nothing must reload to what was loaded, with the same values
// unreadable; a save of every value must reload to exactly what was saved.
// The fuzz target of the settings file and the regression tests of its
// findings share this one path. POSIX: the .reg file store.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "procedures/test_parameters.h"
#include "settings/ext_registry.h"
#include "settings/reg_file_store.h"
#include "settings/settings.h"

namespace vr512b::testing {

inline std::string DescribeParameters(const TestParameterValues& v) {
  std::string text = "[" + v.NameVR512BSample + "] [" + v.PhoneSample + "] [" + v.Phone + "] ";
  for (bool flag : {v.IDContact, v.LowSpeed, v.Secsoa, v.Korvex, v.Presto, v.ShortTest, v.Sound,
                    v.SoundSample, v.KorvexTestMsg, v.CBNoTone}) {
    text += flag ? '1' : '0';
  }
  return text;
}

inline std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What loading the file gives: the values (from `start`), the problems met,
// and whether the file is none of parameters.
struct RoundTripLoad {
  TestParameterValues values;
  std::string problems;
  bool refused = false;
};

inline RoundTripLoad LoadForRoundTrip(const std::string& path, const TestParameterValues& start) {
  RoundTripLoad load{start, {}, false};
  try {
    RegFileStore store(path);
    LoadSettings(store, load.values);
  } catch (const NotParametersError&) {
    load.refused = true;
  } catch (const RegistryError& e) {
    load.problems = e.what();
  }
  return load;
}

// Runs the checks on the file at `path`; `loaded` receives what the first load
// gave. Returns what went wrong, empty when nothing did.
inline std::string SettingsRoundTripProblem(const std::string& path, TestParameterValues& loaded) {
  const std::string before = FileBytes(path);
  const RoundTripLoad first = LoadForRoundTrip(path, UnloadedControls());
  loaded = first.values;
  if (FileBytes(path) != before)
    return "loading changed the file";
  if (std::filesystem::exists(path + ".lock"))
    return "loading took the lock";
  if (first.refused) {
    try {
      RegFileStore store(path);
      SaveSettings(store, loaded);
      return "saved into a file that is no parameters file";
    } catch (const RegistryError&) {
    }
    return FileBytes(path) == before ? "" : "a refused save changed the file";
  }

  try {
    RegFileStore store(path);
    SaveSettings(store, loaded, loaded);
  } catch (const RegistryError& e) {
    return std::string("saving nothing changed failed: ") + e.what();
  }
  const RoundTripLoad again = LoadForRoundTrip(path, UnloadedControls());
  if (again.refused || !(again.values == loaded) || again.problems != first.problems) {
    return "loaded " + DescribeParameters(loaded) + " (" + first.problems + "), after a save of " +
           "nothing changed " + DescribeParameters(again.values) + " (" + again.problems + ")";
  }

  try {
    RegFileStore store(path);
    SaveSettings(store, loaded);
  } catch (const RegistryError& e) {
    return std::string("saving failed: ") + e.what();
  }
  // Every value must come from the file, none from before the load.
  TestParameterValues start = UnloadedControls();
  start.IDContact = !loaded.IDContact;
  const RoundTripLoad reloaded = LoadForRoundTrip(path, start);
  if (!reloaded.problems.empty() || reloaded.refused)
    return "reloading failed: " + reloaded.problems;
  if (!(reloaded.values == loaded))
    return "saved " + DescribeParameters(loaded) + ", reloaded " +
           DescribeParameters(reloaded.values);
  return {};
}

}  // namespace vr512b::testing
