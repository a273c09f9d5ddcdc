// The parameters file is the user's: files that are none of ours stay as they
// are, regedit's own exports keep their encoding, and saves write only what
// the operator changed, in one step. Each case is a way real files are met.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <random>
#include <string>

#include "autotests/support/reg_samples.h"
#include "autotests/support/test_support.h"
#include "autotests/support/unprivileged.h"
#include "settings/ext_registry.h"
#include "settings/reg_file_store.h"
#include "settings/settings.h"

namespace vr512b {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::RegeditFile;
using testing::TempDir;
using testing::WriteFile;

const std::string kSection = "[HKEY_LOCAL_MACHINE\\Software\\Korvex\\DiagVR512B]";

// The text of the RegistryError `action` raises, "" when it raises none.
std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const RegistryError& e) {
    return e.what();
  }
  return "";
}

TestParameterValues Loaded(const std::string& path) {
  TestParameterValues values = UnloadedControls();
  LoadSettings(*OpenFileStore(path), values);
  return values;
}

TEST(ParametersFileFaults, AFileThatIsNoParametersFileIsNeverWritten) {
  TempDir dir;
  const std::string hosts = "127.0.0.1\tlocalhost\n::1\tlocalhost ip6-localhost\n";
  std::string binary;
  for (int i = 0; i < 512; ++i)
    binary += static_cast<char>((i * 73) & 0xFF);
  const std::string otherKey = RegeditFile(
      u"Windows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_CURRENT_USER\\Software\\Other\\Program]\r\n\"Window\"=dword:00000001\r\n");
  const std::string notRegistry =
      "» не является файлом параметров тестирования: это не файл реестра (первая строка не "
      "«Windows Registry Editor Version 5.00» и не «REGEDIT4»). Файл оставлен без изменений.";
  const std::string notOurKey = "» не является файлом параметров тестирования: в нём нет раздела " +
                                kSection + ". Файл оставлен без изменений.";
  const struct {
    const char* name;
    std::string content;
    std::string refusal;
  } cases[] = {
      {"hosts", hosts, notRegistry},
      {"binary.reg", binary, notRegistry},
      {"other-key.reg", otherKey, notOurKey},
      {"other-key-utf8.reg", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Other]\n\"A\"=\"b\"\n",
       notOurKey},
  };
  for (const auto& c : cases) {
    const std::string path = dir.File(c.name);
    WriteFile(path, c.content);
    ::chmod(path.c_str(), 0640);
    TestParameterValues values = UnloadedControls();
    try {
      LoadSettings(*OpenFileStore(path), values);
      ADD_FAILURE() << c.name << " loaded as parameters";
    } catch (const NotParametersError& e) {
      EXPECT_EQ(e.what(), "Файл «" + path + c.refusal) << c.name;
    }
    EXPECT_EQ(values, TestParameterValues{}) << c.name << ": the defaults stand";
    EXPECT_FALSE(fs::exists(path + ".lock")) << c.name << ": loading took a lock";
    EXPECT_EQ(ErrorOf([&] { SaveSettings(*OpenFileStore(path), values); }),
              "Failed to set data for 'NameVR512BSample'")
        << c.name;
    EXPECT_EQ(ReadFile(path), c.content) << c.name;
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640)) << c.name;
  }

  // Nor is a folder, or a device, put where the file should be.
  for (const std::string& path : {dir.path(), std::string("/dev/null")}) {
    TestParameterValues values = UnloadedControls();
    try {
      LoadSettings(*OpenFileStore(path), values);
      ADD_FAILURE() << path << " loaded as parameters";
    } catch (const NotParametersError& e) {
      EXPECT_EQ(e.what(), "Файл «" + path +
                              "» не является файлом параметров тестирования: это не обычный файл.");
    }
  }
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

TEST(ParametersFileFaults, LoadingWritesNothingEvenWhenTheFileIsMissing) {
  TempDir dir;
  const std::string path = dir.File("Korvex/DiagVR512B.reg");
  EXPECT_EQ(Loaded(path), TestParameterValues{});
  EXPECT_FALSE(fs::exists(dir.File("Korvex")));
  WriteFile(dir.File("header-only.reg"), "Windows Registry Editor Version 5.00\r\n\r\n");
  EXPECT_EQ(Loaded(dir.File("header-only.reg")), TestParameterValues{});
  EXPECT_EQ(ReadFile(dir.File("header-only.reg")), "Windows Registry Editor Version 5.00\r\n\r\n");
  EXPECT_FALSE(fs::exists(dir.File("header-only.reg.lock")));
}

TEST(ParametersFileFaults, TwoConsolesKeepEachOthersChanges) {
  TempDir dir;
  const std::string path = dir.File("DiagVR512B.reg");
  SaveSettings(*OpenFileStore(path), SimulatorSettings());
  const TestParameterValues loadedByA = Loaded(path);
  const TestParameterValues loadedByB = Loaded(path);

  TestParameterValues b = loadedByB;
  b.PhoneSample = "8 (495) 111-22-33";
  b.Sound = true;
  SaveSettings(*OpenFileStore(path), b, loadedByB);
  TestParameterValues a = loadedByA;
  a.NameVR512BSample = "20002";
  a.Sound = false;  // as loaded: A did not touch it
  SaveSettings(*OpenFileStore(path), a, loadedByA);

  TestParameterValues expected = SimulatorSettings();
  expected.NameVR512BSample = "20002";
  expected.PhoneSample = "8 (495) 111-22-33";
  expected.Sound = true;
  EXPECT_EQ(Loaded(path), expected);
}

// A save of every value, killed at random moments while a reader reads along:
// each read, and the file after each kill, holds one whole set.
TEST(ParametersFileFaults, KillDuringSaveOfALargeFileLeavesOneWholeSet) {
  TempDir dir;
  const std::string path = dir.File("DiagVR512B.reg");
  TestParameterValues setA = SimulatorSettings();
  TestParameterValues setB;
  setB.NameVR512BSample = "777";
  setB.PhoneSample = "1";
  setB.Phone = "2";
  setB.IDContact = setB.LowSpeed = setB.Secsoa = setB.Korvex = setB.Presto = false;
  setB.ShortTest = setB.Sound = setB.SoundSample = setB.KorvexTestMsg = setB.CBNoTone = true;
  // Our key, then many of other programs: a whole export of the machine's keys.
  std::string large = "Windows Registry Editor Version 5.00\n\n" + kSection + "\n\n";
  for (int key = 0; key < 2000; ++key) {
    large += "[HKEY_LOCAL_MACHINE\\Software\\Other\\Key" + std::to_string(key) + "]\n";
    for (int value = 0; value < 10; ++value)
      large += "\"Value" + std::to_string(value) + "\"=\"some text of another program\"\n";
    large += "\n";
  }
  WriteFile(path, large);
  SaveSettings(*OpenFileStore(path), setA);

  const auto expectOneSet = [&](const std::string& when) {
    const TestParameterValues loaded = Loaded(path);
    EXPECT_TRUE(loaded == setA || loaded == setB) << when << ": a mixed set";
    return loaded;
  };
  std::mt19937 random(std::random_device{}());
  bool sawB = false;
  for (int round = 0; round < 6; ++round) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      try {
        for (int i = 0;; ++i)
          SaveSettings(*OpenFileStore(path), i % 2 == 0 ? setB : setA);
      } catch (...) {
      }
      ::_exit(1);
    }
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + std::chrono::milliseconds(20 + random() % 300);
    while (std::chrono::steady_clock::now() < deadline ||
           (!sawB && std::chrono::steady_clock::now() < start + std::chrono::seconds(30))) {
      sawB = expectOneSet("while saving in round " + std::to_string(round)) == setB || sawB;
      if (::testing::Test::HasFailure())
        break;
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the saving child stopped by itself";
    expectOneSet("after the kill in round " + std::to_string(round));
    ASSERT_FALSE(::testing::Test::HasFailure());
  }
  EXPECT_TRUE(sawB) << "the child never got to save";
  const std::string after = ReadFile(path);
  const std::string others = large.substr(large.find("[HKEY_LOCAL_MACHINE\\Software\\Other"));
  EXPECT_TRUE(after.ends_with(others)) << "other keys lost";

  // The next save clears the temporary files that killed saves left behind.
  SaveSettings(*OpenFileStore(path), setA);
  for (const auto& entry : fs::directory_iterator(dir.path()))
    EXPECT_EQ(entry.path().filename().string().find(".tmp."), std::string::npos) << entry.path();
}

TEST(ParametersFileFaults, ARegeditExportKeepsItsEncodingMarkAndLineBreaks) {
  TempDir dir;
  const std::string path = dir.File("export.reg");
  WriteFile(path, RegeditFile(testing::ExportText()));
  const TestParameterValues loaded = Loaded(path);
  EXPECT_EQ(loaded, testing::ExportValues());

  TestParameterValues changed = loaded;
  changed.PhoneSample = "Пост охраны 3";
  SaveSettings(*OpenFileStore(path), changed, loaded);
  EXPECT_EQ(ReadFile(path), RegeditFile(std::u16string(testing::kExportHead) +
                                        u"\"PhoneSample\"=\"Пост охраны 3\"\r\n" +
                                        std::u16string(testing::kExportTail)));
  EXPECT_EQ(Loaded(path), changed);
}

TEST(ParametersFileFaults, Regedit4FilesStayInTheAnsiCodePage) {
  TempDir dir;
  const std::string path = dir.File("regedit4.reg");
  WriteFile(path, testing::Regedit4Text());
  const TestParameterValues loaded = Loaded(path);
  EXPECT_EQ(loaded, testing::ExportValues()) << "the comment after PhoneSample passed over";

  // An untouched value stays byte for byte; a changed one is written in
  // Windows-1251 ("Дом 5": C4 EE EC) and keeps its comment.
  TestParameterValues changed = loaded;
  changed.Phone = "Дом 5";
  changed.Sound = false;
  SaveSettings(*OpenFileStore(path), changed, loaded);
  std::string want = testing::Regedit4Text();
  want.replace(want.find("\"Phone\"=\"2002\""), 14, "\"Phone\"=\"\xC4\xEE\xEC 5\"");
  want.replace(want.find("\"Sound\"=dword:00000001"), 22, "\"Sound\"=dword:00000000");
  EXPECT_EQ(ReadFile(path), want);

  // A comment kept on a changed line.
  changed.PhoneSample = "2001";
  SaveSettings(*OpenFileStore(path), changed, Loaded(path));
  EXPECT_NE(ReadFile(path).find("\"PhoneSample\"=\"2001\" ; \xF1\xF2\xE0\xF0\xFB\xE9\r\n"),
            std::string::npos);

  // A letter the code page lacks cannot be written: the file stays whole.
  const std::string before = ReadFile(path);
  changed.Phone = "☎ 5";
  EXPECT_EQ(ErrorOf([&] { SaveSettings(*OpenFileStore(path), changed); }),
            "Failed to set data for 'Phone'");
  EXPECT_EQ(ReadFile(path), before);
}

TEST(ParametersFileFaults, Utf8FilesStayUtf8WithOrWithoutTheirMark) {
  TempDir dir;
  for (const std::string& mark : {std::string(), std::string("\xEF\xBB\xBF")}) {
    const std::string path = dir.File("utf8.reg");
    const std::string head = mark + "Windows Registry Editor Version 5.00\n\n" + kSection + "\n";
    WriteFile(path, head + "\"PhoneSample\"=\"Пульт\"\n");
    TestParameterValues loaded = Loaded(path);
    EXPECT_EQ(loaded.PhoneSample, "Пульт");
    TestParameterValues changed = loaded;
    changed.Phone = "Дом";
    SaveSettings(*OpenFileStore(path), changed, loaded);
    // The values the file lacked are filled in, after the ones it had.
    EXPECT_EQ(ReadFile(path), head +
                                  "\"PhoneSample\"=\"Пульт\"\n"
                                  "\"NameVR512BSample\"=\"\"\n"
                                  "\"Phone\"=\"Дом\"\n"
                                  "\"IDContact\"=dword:00000001\n"
                                  "\"LowSpeed\"=dword:00000001\n"
                                  "\"Secsoa\"=dword:00000001\n"
                                  "\"Korvex\"=dword:00000001\n"
                                  "\"Presto\"=dword:00000001\n"
                                  "\"ShortTest\"=dword:00000000\n"
                                  "\"SoundSample\"=dword:00000000\n"
                                  "\"Sound\"=dword:00000000\n"
                                  "\"KorvexTestMsg\"=dword:00000000\n"
                                  "\"CBNoTone\"=dword:00000000\n");
  }
}

TEST(ParametersFileFaults, ExpandableAndMultiStringsReadAsRegeditWritesThem) {
  TempDir dir;
  const std::string path = dir.File("x.reg");
  const auto read = [&](const std::string& name) {
    RegFileStore store(path);
    EXPECT_TRUE(store.OpenKey(kSettingsKeyPath, false));
    return store.ReadValue(name);
  };
  const RegValue serial{kRegExpandSz, {'1', '0', '0', '0', '1', 0}};
  const RegValue multi{7, {'a', 0, 'b', 0, 0}};
  // In "Version 5.00" files, ours in UTF-8 as well as regedit's: UTF-16LE.
  const std::u16string head =
      u"Windows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_LOCAL_MACHINE\\Software\\Korvex\\DiagVR512B]\r\n"
      u"\"NameVR512BSample\"=hex(2):31,00,30,00,30,00,30,00,31,00,00,00\r\n"
      u"\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n";
  for (const std::string& file : {
           RegeditFile(head), std::string(head.begin(), head.end())  // ASCII: as UTF-8
       }) {
    WriteFile(path, file);
    EXPECT_EQ(read("NameVR512BSample"), serial);
    EXPECT_EQ(read("Multi"), multi);
    EXPECT_EQ(Loaded(path).NameVR512BSample, "10001");
  }
  // Under REGEDIT4: the ANSI code page, one byte a letter ("Т" is D2).
  WriteFile(path, "REGEDIT4\r\n\r\n" + kSection +
                      "\r\n\"NameVR512BSample\"=hex(2):31,30,30,30,31,00\r\n\"Multi\"=hex(7):d2,00,"
                      "62,00,00\r\n");
  EXPECT_EQ(read("NameVR512BSample"), serial);
  EXPECT_EQ(read("Multi"), (RegValue{7, {0xD0, 0xA2, 0, 'b', 0, 0}}));

  // Written back the same ways.
  const RegValue expand{kRegExpandSz, {'%', 'T', '%', 0}};
  for (const bool regedit4 : {false, true}) {
    WriteFile(path, regedit4
                        ? "REGEDIT4\r\n\r\n" + kSection + "\r\n"
                        : RegeditFile(u"Windows Registry Editor Version 5.00\r\n\r\n"
                                      u"[HKEY_LOCAL_MACHINE\\Software\\Korvex\\DiagVR512B]\r\n"));
    RegFileStore store(path);
    ASSERT_TRUE(store.OpenKey(kSettingsKeyPath, false));
    ASSERT_TRUE(store.WriteValue("E", expand));
    const std::string line = regedit4
                                 ? "\"E\"=hex(2):25,54,25,00\r\n"
                                 : testing::Utf16Le(u"\"E\"=hex(2):25,00,54,00,25,00,00,00\r\n");
    EXPECT_NE(ReadFile(path).find(line), std::string::npos) << (regedit4 ? "REGEDIT4" : "5.00");
    EXPECT_EQ(read("E"), expand);
  }
}

TEST(ParametersFileFaults, AValueOfTheWrongTypeIsNamedAndNeverOverwrittenUnlessChanged) {
  TempDir dir;
  const std::string path = dir.File("DiagVR512B.reg");
  const std::string file = "Windows Registry Editor Version 5.00\n\n" + kSection +
                           "\n"
                           "\"NameVR512BSample\"=\"10001\"\n"
                           "\"PhoneSample\"=dword:1\n"
                           "\"Phone\"=\"2002\"\n"
                           "\"IDContact\"=dword:00000000\n"
                           "\"Korvex\"=\"yes\"\n"
                           "\"ShortTest\"=dword:00000001\n";
  WriteFile(path, file);
  TestParameterValues loaded = UnloadedControls();
  EXPECT_EQ(ErrorOf([&] { LoadSettings(*OpenFileStore(path), loaded); }),
            "Invalid data type for 'PhoneSample'\nInvalid data type for 'Korvex'");
  TestParameterValues expected = UnloadedControls();
  expected.NameVR512BSample = "10001";
  expected.Phone = "2002";
  expected.LowSpeed = expected.Secsoa = expected.Presto = true;  // missing: defaults
  expected.ShortTest = true;
  EXPECT_EQ(loaded, expected);

  TestParameterValues changed = loaded;
  changed.NameVR512BSample = "10002";
  SaveSettings(*OpenFileStore(path), changed, loaded);
  const std::string after = ReadFile(path);
  EXPECT_NE(after.find("\"PhoneSample\"=dword:1\n"), std::string::npos) << after;
  EXPECT_NE(after.find("\"Korvex\"=\"yes\"\n"), std::string::npos) << after;
  EXPECT_NE(after.find("\"NameVR512BSample\"=\"10002\"\n"), std::string::npos) << after;
  // Changing it is the operator's right.
  changed.PhoneSample = "2001";
  SaveSettings(*OpenFileStore(path), changed, loaded);
  EXPECT_NE(ReadFile(path).find("\"PhoneSample\"=\"2001\"\n"), std::string::npos);
}

TEST(ParametersFileFaults, AReadOnlyFileFailsToSaveLikeAReadOnlyKey) {
  TempDir dir;
  const std::string path = dir.File("DiagVR512B.reg");
  SaveSettings(*OpenFileStore(path), SimulatorSettings());
  ::chmod(path.c_str(), 0444);
  const std::string before = ReadFile(path);
  TestParameterValues changed = SimulatorSettings();
  changed.Phone = "5";
  EXPECT_EQ(ErrorOf([&] { SaveSettings(*OpenFileStore(path), changed, SimulatorSettings()); }),
            "Failed to set data for 'NameVR512BSample'");
  EXPECT_EQ(ReadFile(path), before);
  EXPECT_EQ(fs::status(path).permissions(), fs::perms(0444));
  EXPECT_EQ(Loaded(path), SimulatorSettings()) << "still read";
}

TEST(ParametersFileFaults, ADanglingLinkGetsItsTargetAndStaysALink) {
  TempDir dir;
  fs::create_directory(dir.File("dotfiles"));
  fs::create_symlink("dotfiles/new/DiagVR512B.reg", dir.File("DiagVR512B.reg"));
  const std::string link = dir.File("DiagVR512B.reg");
  EXPECT_EQ(Loaded(link), TestParameterValues{});
  EXPECT_FALSE(fs::exists(dir.File("dotfiles/new"))) << "loading made the target";
  SaveSettings(*OpenFileStore(link), SimulatorSettings());
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_TRUE(fs::is_regular_file(dir.File("dotfiles/new/DiagVR512B.reg")));
  EXPECT_EQ(Loaded(dir.File("dotfiles/new/DiagVR512B.reg")), SimulatorSettings());
}

TEST(ParametersFileFaults, AReadOnlyFolderFailsToSeedAndSaysWhy) {
  TempDir dir;
  fs::permissions(dir.path(), fs::perms(0755));
  fs::create_directory(dir.File("Korvex"));
  fs::permissions(dir.File("Korvex"), fs::perms(0555));
  const std::string path = dir.File("Korvex/DiagVR512B-sim.reg");
  SeedResult seeded;
  {
    const testing::AsUnprivilegedUser user;
    ASSERT_TRUE(user.Effective());
    seeded = SeedSimulatorSettings(path);
  }
  fs::permissions(dir.File("Korvex"), fs::perms(0755));
  EXPECT_FALSE(seeded.created);
  EXPECT_EQ(seeded.error,
            "Не удалось создать параметры виртуального стенда в «" + path +
                "»: Permission denied. Без них эталонное УПО стенда не будет найдено.");
  EXPECT_FALSE(fs::exists(path));
}

}  // namespace
}  // namespace vr512b
