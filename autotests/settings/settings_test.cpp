#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>

#include "app/parameter_override.h"
#include "autotests/support/test_support.h"
#include "settings/ext_registry.h"
#include "settings/reg_file_store.h"
#include "settings/settings.h"

namespace vr512b {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// Two parameter sets that differ in every field, neither of them the defaults.
TestParameterValues SetA() {
  TestParameterValues v;
  v.NameVR512BSample = " 12345 ";  // kept as typed, blanks and all
  v.PhoneSample = "8 (495) 123-45-67";
  v.Phone = "Ёлка \"в\" C:\\";
  v.IDContact = v.LowSpeed = v.Secsoa = v.Korvex = v.Presto = false;
  v.ShortTest = v.Sound = v.SoundSample = v.KorvexTestMsg = v.CBNoTone = true;
  return v;
}

TestParameterValues SetB() {
  TestParameterValues v;
  v.NameVR512BSample = "$7B";
  v.PhoneSample = "1";
  v.Phone = "2";
  return v;
}

TestParameterValues Load(const std::string& path, TestParameterValues start = SetB()) {
  LoadSettings(*OpenFileStore(path), start);
  return start;
}

// The fields in loading order, each able to copy itself between two sets.
using Field =
    std::pair<const char*, std::function<void(TestParameterValues&, const TestParameterValues&)>>;
#define VR512B_FIELD(name) \
  Field(#name,             \
        [](TestParameterValues& to, const TestParameterValues& from) { to.name = from.name; })
const std::vector<Field> kLoadOrder = {
    VR512B_FIELD(NameVR512BSample),
    VR512B_FIELD(PhoneSample),
    VR512B_FIELD(Phone),
    VR512B_FIELD(IDContact),
    VR512B_FIELD(LowSpeed),
    VR512B_FIELD(Secsoa),
    VR512B_FIELD(Korvex),
    VR512B_FIELD(Presto),
    VR512B_FIELD(ShortTest),
    VR512B_FIELD(Sound),
    VR512B_FIELD(SoundSample),
    VR512B_FIELD(KorvexTestMsg),
    VR512B_FIELD(CBNoTone),
};
#undef VR512B_FIELD

// Each row of the parameters' table is a field of its own, every field has
// one, and each has its own place in a save.
TEST(SettingsTest, TheParameterTableHasEveryFieldOnce) {
  TestParameterValues v = SetB();
  std::set<int> saveOrder;
  for (const ParameterInfo& parameter : AllParameters()) {
    const TestParameterValues before = v;
    EXPECT_EQ(SetParameterByName(v, parameter.name, parameter.Text(SetA())), "");
    EXPECT_NE(v, before) << parameter.name;
    saveOrder.insert(parameter.saveOrder);
  }
  EXPECT_EQ(v, SetA());
  EXPECT_EQ(saveOrder.size(), AllParameters().size());
}

TEST(SettingsTest, RoundTripThroughFreshStores) {
  TempDir dir;
  const std::string path = dir.File("DiagVR512B.reg");
  for (const TestParameterValues& saved : {SetA(), SetB(), TestParameterValues{}}) {
    SaveSettings(*OpenFileStore(path), saved);
    EXPECT_EQ(Load(path, saved == SetA() ? SetB() : SetA()), saved);
  }
  // One store object saving twice, another reading in between.
  auto writer = OpenFileStore(path);
  SaveSettings(*writer, SetA());
  EXPECT_EQ(Load(path), SetA());
  SaveSettings(*writer, SetB());
  EXPECT_EQ(Load(path, SetA()), SetB());
}

TEST(SettingsTest, MissingKeyAndValuesGiveDefaults) {
  TempDir dir;
  const std::string path = dir.File("new/DiagVR512B.reg");
  EXPECT_EQ(Load(path, SetA()), TestParameterValues{});
  EXPECT_FALSE(std::filesystem::exists(dir.File("new"))) << "the key comes with the first save";

  // A file of only the key, without regedit's header, is still ours.
  std::filesystem::create_directory(dir.File("new"));
  WriteFile(path,
            "[HKEY_LOCAL_MACHINE\\Software\\Korvex\\DiagVR512B]\n"
            "\"Presto\"=dword:00000000\n\"Phone\"=\"5\"\n\"Sound\"=dword:00000002\n");
  TestParameterValues expected;
  expected.Presto = false;
  expected.Phone = "5";
  expected.Sound = true;
  EXPECT_EQ(Load(path, SetA()), expected);
}

TEST(SettingsTest, WrongTypeKeepsOnlyThatValue) {
  TempDir dir;
  const std::string path = dir.File("DiagVR512B.reg");
  for (std::size_t i = 0; i < kLoadOrder.size(); ++i) {
    const std::string name = kLoadOrder[i].first;
    SaveSettings(*OpenFileStore(path), SetA());
    RegValue wrong{kRegDword, {1, 0, 0, 0}};
    std::string error = "Invalid data type for '" + name + "'";
    if (i >= 3 && i % 2 == 0) {
      wrong.data.resize(8);  // a flag holding more than four bytes
      error = "Failed to get data for '" + name + "'";
    } else if (i >= 3) {
      wrong = {kRegSz, {'y', 'e', 's', 0}};
    }
    {
      RegFileStore store(path);
      ASSERT_TRUE(store.OpenKey(kSettingsKeyPath, false));
      ASSERT_TRUE(store.WriteValue(name, wrong));
    }
    TestParameterValues loaded = SetB();
    try {
      LoadSettings(*OpenFileStore(path), loaded);
      ADD_FAILURE() << name << " loaded without an error";
    } catch (const RegistryError& e) {
      EXPECT_EQ(e.what(), error);
    }
    // Every other value is loaded; the bad one keeps what it had.
    TestParameterValues expected = SetA();
    kLoadOrder[i].second(expected, SetB());
    EXPECT_EQ(loaded, expected) << "wrong " << name;
  }
}

TEST(SettingsTest, KeyThatCannotBeOpened) {
  TempDir dir;
  WriteFile(dir.File("plain"), "not a folder");
  std::filesystem::create_directory(dir.File("folder.reg"));
  for (const std::string& path : {dir.File("plain/DiagVR512B.reg"), dir.File("folder.reg")}) {
    TestParameterValues loaded = SetA();
    try {
      LoadSettings(*OpenFileStore(path), loaded);
    } catch (const NotParametersError&) {
      // A folder is no parameters file, and is said to be none.
      EXPECT_EQ(path, dir.File("folder.reg"));
    }
    EXPECT_EQ(loaded, TestParameterValues{}) << path;
    try {
      SaveSettings(*OpenFileStore(path), SetA());
      ADD_FAILURE() << "saved into " << path;
    } catch (const RegistryError& e) {
      EXPECT_STREQ(e.what(), "Failed to set data for 'NameVR512BSample'");
    }
  }
}

TEST(SettingsTest, SeedsTheSimulatorSettingsOnce) {
  TempDir dir;
  const std::string path = dir.File("Korvex/DiagVR512B-sim.reg");
  const SeedResult seeded = SeedSimulatorSettings(path);
  EXPECT_TRUE(seeded.created);
  EXPECT_EQ(seeded.error, "");
  EXPECT_EQ(ReadFile(path),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Korvex\\DiagVR512B]\n"
            "\"NameVR512BSample\"=\"10001\"\n"
            "\"PhoneSample\"=\"2001\"\n"
            "\"Phone\"=\"2002\"\n"
            "\"IDContact\"=dword:00000001\n"
            "\"LowSpeed\"=dword:00000001\n"
            "\"Secsoa\"=dword:00000001\n"
            "\"Korvex\"=dword:00000001\n"
            "\"Presto\"=dword:00000001\n"
            "\"ShortTest\"=dword:00000000\n"
            "\"SoundSample\"=dword:00000000\n"  // saving writes SoundSample first
            "\"Sound\"=dword:00000000\n"
            "\"KorvexTestMsg\"=dword:00000000\n"
            "\"CBNoTone\"=dword:00000000\n");

  SaveSettings(*OpenFileStore(path), SetA());
  EXPECT_FALSE(SeedSimulatorSettings(path).created);
  EXPECT_EQ(Load(path), SetA());

  WriteFile(dir.File("empty.reg"), "");
  EXPECT_FALSE(SeedSimulatorSettings(dir.File("empty.reg")).created);
  EXPECT_EQ(ReadFile(dir.File("empty.reg")), "");
}

// Sets an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name))
      old_ = old;
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(SettingsTest, DefaultPathsFollowTheConfigFolder) {
  ScopedEnv home("HOME", "/home/tech");
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", "/cfg");
    EXPECT_EQ(DefaultSettingsPath(), "/cfg/Korvex/DiagVR512B.reg");
    EXPECT_EQ(DefaultSimulatorSettingsPath(), "/cfg/Korvex/DiagVR512B-sim.reg");
  }
  for (const char* unset : {static_cast<const char*>(nullptr), "", "relative/cfg"}) {
    ScopedEnv xdg("XDG_CONFIG_HOME", unset);
    EXPECT_EQ(DefaultSettingsPath(), "/home/tech/.config/Korvex/DiagVR512B.reg");
    EXPECT_EQ(DefaultSimulatorSettingsPath(), "/home/tech/.config/Korvex/DiagVR512B-sim.reg");
  }
}

}  // namespace
}  // namespace vr512b
