#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <sstream>

#include "autotests/support/small_disk.h"
#include "autotests/support/test_support.h"
#include "settings/reg_file_store.h"

namespace vr512b {
namespace {

using testing::Lines;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

const std::string kKey = "Software\\Korvex\\DiagVR512B";
const std::string kSection = "[HKEY_LOCAL_MACHINE\\Software\\Korvex\\DiagVR512B]\n";
const std::string kHeader = "Windows Registry Editor Version 5.00\n\n" + kSection;

RegValue Raw(RegValueType type, std::vector<std::uint8_t> data) {
  return {type, std::move(data)};
}
RegValue Dword(std::uint32_t n) {
  return {kRegDword,
          {std::uint8_t(n), std::uint8_t(n >> 8), std::uint8_t(n >> 16), std::uint8_t(n >> 24)}};
}
RegValue Text(const std::string& text, RegValueType type = kRegSz) {
  RegValue value{type, {text.begin(), text.end()}};
  value.data.push_back(0);
  return value;
}

std::optional<RegValue> ReadFresh(const std::string& path, const std::string& name,
                                  const std::string& key = kKey) {
  RegFileStore store(path);
  if (!store.OpenKey(key, false))
    return std::nullopt;
  return store.ReadValue(name);
}

TEST(RegFileStoreTest, WritesRegFormatThatReadsBackExactly) {
  TempDir dir;
  const std::string path = dir.File("a/b/DiagVR512B.reg");
  RegFileStore store(path);
  ASSERT_TRUE(store.OpenKey("\\" + kKey, true));
  EXPECT_FALSE(std::filesystem::exists(dir.File("a"))) << "opening wrote";
  ASSERT_TRUE(store.WriteValue("Name", Text("a\\b\"c")));
  ASSERT_TRUE(store.WriteValue("Flag", Dword(1)));
  EXPECT_EQ(ReadFile(path), kHeader + "\"Name\"=\"a\\\\b\\\"c\"\n\"Flag\"=dword:00000001\n");

  std::vector<std::uint8_t> long_data(100);
  for (std::size_t i = 0; i < long_data.size(); ++i)
    long_data[i] = std::uint8_t(i * 7);
  const std::pair<std::string, RegValue> values[] = {
      {"Bin", Raw(kRegBinary, long_data)},
      {"Exp", Text("%HOME%\\x", kRegExpandSz)},
      {"None", Raw(kRegNone, {})},
      {"Qword", Raw(11, {1, 2, 3, 4, 5, 6, 7, 8})},
      {"Multi", Text("line\nbreak")},
      {"Unterminated", Raw(kRegSz, {'x'})},
      {"Empty", Raw(kRegSz, {})},
      {"EightByteDword", Raw(kRegDword, {1, 0, 0, 0, 0, 0, 0, 0})},
      {"", Text("default value")},
      {"Имя \"в\" кавычках", Text("Текст")},
  };
  for (const auto& [name, value] : values)
    ASSERT_TRUE(store.WriteValue(name, value)) << name;
  for (const auto& [name, value] : values)
    EXPECT_EQ(ReadFresh(path, name), value) << name;
  for (const std::string& line : Lines(ReadFile(path)))
    EXPECT_LE(line.size(), 80u) << line;
  EXPECT_EQ(ReadFresh(path, "flag"), Dword(1));  // names ignore case
}

TEST(RegFileStoreTest, ReadsFilesWrittenByOthers) {
  TempDir dir;
  const std::string path = dir.File("x.reg");
  const std::string content =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\korvex\\DiagVR512B]\r\n"
      "\"Flag\" = DWORD:0000000A\r\n"
      "\"Bin\"=hex:01,02,\\\r\n  03,FF\r\n"
      "\"Exp\"=hex(2):41,00,00,00\r\n"
      "@=\"default\"\r\n"
      "\"Path\"=\"C:\\dir\"\r\n"
      "\"Dup\"=dword:1\r\n\"DUP\"=dword:2\r\n"
      "\"Gone\"=dword:1\r\n\"Gone\"=-\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n"
      "\"Other\"=dword:1\r\n";
  WriteFile(path, content);
  EXPECT_EQ(ReadFresh(path, "Flag"), Dword(10));
  EXPECT_EQ(ReadFresh(path, "Bin"), Raw(kRegBinary, {1, 2, 3, 0xFF}));
  EXPECT_EQ(ReadFresh(path, "Exp"), Raw(kRegExpandSz, {0x41, 0}));
  EXPECT_EQ(ReadFresh(path, ""), Text("default"));
  EXPECT_EQ(ReadFresh(path, "Path"), Text("C:\\dir"));
  EXPECT_EQ(ReadFresh(path, "dup"), Dword(2));
  EXPECT_EQ(ReadFresh(path, "Gone"), std::nullopt);
  EXPECT_EQ(ReadFresh(path, "Other"), std::nullopt);
  EXPECT_EQ(ReadFresh(path, "Other", "Software\\Other"), Dword(1));

  // A new value joins the end of its section, in the file's own line ends.
  RegFileStore store(path);
  ASSERT_TRUE(store.OpenKey(kKey, false));
  ASSERT_TRUE(store.WriteValue("New", Dword(1)));
  std::string expected = content;
  expected.insert(expected.find("[HKEY_LOCAL_MACHINE\\Software\\Other]"),
                  "\"New\"=dword:00000001\r\n");
  EXPECT_EQ(ReadFile(path), expected);

  // regedit saves UTF-16LE with a byte order mark.
  std::string utf16 = "\xFF\xFE";
  for (char16_t c : std::u16string(u"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\Software\\Korvex\\DiagVR512B]"
                                   u"\r\n\"Имя\"=\"Тест\"\r\n")) {
    utf16 += char(c & 0xFF);
    utf16 += char(c >> 8);
  }
  WriteFile(path, utf16);
  EXPECT_EQ(ReadFresh(path, "Имя"), Text("Тест"));
}

TEST(RegFileStoreTest, KeepsWhatItCannotParse) {
  TempDir dir;
  const std::string path = dir.File("x.reg");
  const std::string content = std::string(
                                  "Windows Registry Editor Version 5.00\n\n"
                                  "; comment\n") +
                              kSection +
                              "\"Good\"=dword:00000001\n"
                              "\"BadHex\"=hex:01,zz\n"
                              "\"Cut\"=hex:01,02,\\\n"
                              "\"Str\"=\"unterminated\n"
                              "\"Word\"=dword:123456789\n"
                              "\"Quote\"=\"x\" trailing\n"
                              "junk \x01\xff line\n" +
                              std::string("nul\0byte\n", 9) +
                              "\"Good2\"=\"ok\"   \n"
                              "[HKEY_LOCAL_MACHINE\\Software\\Korvex\\DiagVR512B\n"
                              "\"Hidden\"=dword:00000001\n"
                              "[HKEY_LOCAL_MACHINE\\Software\\Other]\n"
                              "\"Other\"=\"x\"\n"
                              "\"Tail\"=dword:000";
  WriteFile(path, content);
  RegFileStore store(path);
  ASSERT_TRUE(store.OpenKey(kKey, false));
  EXPECT_EQ(store.ReadValue("Good"), Dword(1));
  EXPECT_EQ(store.ReadValue("Good2"), Text("ok"));
  for (const char* lost : {"BadHex", "Cut", "Str", "Word", "Quote", "Hidden"}) {
    EXPECT_FALSE(store.ValueExists(lost)) << lost;
  }

  ASSERT_TRUE(store.WriteValue("Good", Dword(0)));
  ASSERT_TRUE(store.WriteValue("BadHex", Dword(7)));
  std::string expected = content;
  expected.replace(expected.find("\"Good\"=dword:00000001"), 21, "\"Good\"=dword:00000000");
  expected.insert(expected.find("[HKEY_LOCAL_MACHINE\\Software\\Korvex\\DiagVR512B\n"),
                  "\"BadHex\"=dword:00000007\n");
  EXPECT_EQ(ReadFile(path), expected);
  EXPECT_EQ(ReadFresh(path, "BadHex"), Dword(7));

  // The file's last line had no line break; a value after it needs one.
  ASSERT_TRUE(store.OpenKey("Software\\Other", false));
  ASSERT_TRUE(store.WriteValue("X", Dword(1)));
  EXPECT_EQ(ReadFile(path), expected + "\n\"X\"=dword:00000001\n");
}

// Every line of `before` is still in `after`, in order.
bool KeepsAllLines(const std::string& before, const std::string& after) {
  const auto old_lines = Lines(before);
  const auto new_lines = Lines(after);
  std::size_t found = 0;
  for (const std::string& line : new_lines) {
    if (found < old_lines.size() && line == old_lines[found])
      ++found;
  }
  return found == old_lines.size();
}

TEST(RegFileStoreTest, MangledFilesNeverCrashAndLoseNoLines) {
  TempDir dir;
  const std::string path = dir.File("x.reg");
  const std::string valid = kHeader +
                            "\"Name\"=\"10001\"\n\"Flag\"=dword:00000001\n"
                            "\"Bin\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,"
                            "14,15,16,17,18,19,\\\n  1a,1b\n"
                            "[HKEY_LOCAL_MACHINE\\Software\\Other]\n\"A\"=\"b\"\n";
  std::mt19937 random(12345);
  const std::string alphabet = std::string("\"\\[]=:,@-;\r\n\0 hexdword(2)0123456789abcdefXYZ", 44);
  for (int round = 0; round < 400; ++round) {
    std::string mangled = valid;
    const int edits = 1 + int(random() % 8);
    for (int e = 0; e < edits && !mangled.empty(); ++e) {
      const std::size_t at = random() % mangled.size();
      switch (random() % 4) {
        case 0:
          mangled[at] = alphabet[random() % alphabet.size()];
          break;
        case 1:
          mangled.erase(at, random() % 20);
          break;
        case 2:
          mangled.insert(at, 1, char(random()));
          break;
        default:
          mangled.resize(at);
          break;  // truncated
      }
    }
    if (round % 10 == 0) {  // pure junk now and then
      mangled.resize(random() % 300);
      for (char& c : mangled)
        c = char(random());
    }
    // A byte order mark makes the file UTF-16, whose lines this check, byte
    // by byte, cannot follow.
    if (mangled.starts_with("\xFF\xFE") || mangled.starts_with("\xEF\xBB\xBF"))
      mangled[0] = 'x';
    WriteFile(path, mangled);

    RegFileStore store(path);
    if (!store.OpenKey(kKey, true)) {
      // Mangled beyond a parameters file: said so, and never written.
      EXPECT_NE(store.Refusal(), "") << round;
      EXPECT_FALSE(store.WriteValue("Probe", Dword(1))) << round;
      EXPECT_EQ(ReadFile(path), mangled) << round;
      continue;
    }
    store.ReadValue("Name");
    ASSERT_TRUE(store.WriteValue("Probe", Dword(std::uint32_t(round)))) << round;
    const std::string after = ReadFile(path);
    EXPECT_EQ(ReadFresh(path, "Probe"), Dword(std::uint32_t(round))) << round;
    EXPECT_TRUE(KeepsAllLines(mangled, after)) << "round " << round;
  }
}

TEST(RegFileStoreTest, HugeFileStillWorks) {
  TempDir dir;
  const std::string path = dir.File("x.reg");
  std::string content = kHeader + "\"Flag\"=dword:00000003\n";
  for (int i = 0; i < 200000; ++i)
    content += "junk line number " + std::to_string(i) + "\n";
  content += std::string(5'000'000, 'j') + "\n\"Text\"=\"last\"\n\"Big\"=hex:00,\\\n";
  for (int i = 0; i < 300000; ++i)
    content += "  01,02,\\\n";
  content += "  03\n";
  WriteFile(path, content);

  const auto start = std::chrono::steady_clock::now();
  RegFileStore store(path);
  ASSERT_TRUE(store.OpenKey(kKey, false));
  EXPECT_EQ(store.ReadValue("Flag"), Dword(3));
  EXPECT_EQ(store.ReadValue("Text"), Text("last"));
  ASSERT_TRUE(store.ReadValue("Big"));
  EXPECT_EQ(store.ReadValue("Big")->data.size(), 600002u);
  ASSERT_TRUE(store.WriteValue("Flag", Dword(4)));
  EXPECT_EQ(ReadFresh(path, "Flag"), Dword(4));
  EXPECT_EQ(ReadFile(path).size(), content.size());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST(RegFileStoreTest, MissingUnreadableAndUnwritableFiles) {
  TempDir dir;
  {  // Missing, no create: nothing appears.
    RegFileStore store(dir.File("new/x.reg"));
    EXPECT_FALSE(store.OpenKey(kKey, false));
    EXPECT_FALSE(store.WriteValue("A", Dword(1)));
    EXPECT_FALSE(std::filesystem::exists(dir.File("new")));
  }
  {  // A directory where the file should be cannot be read.
    std::filesystem::create_directory(dir.File("isdir.reg"));
    RegFileStore store(dir.File("isdir.reg"));
    EXPECT_FALSE(store.OpenKey(kKey, true));
    EXPECT_FALSE(store.ValueExists("A"));
    EXPECT_FALSE(store.WriteValue("A", Dword(1)));
  }
  {  // A file where the folder should be: the key opens empty, nothing can be created.
    WriteFile(dir.File("plain"), "x");
    RegFileStore store(dir.File("plain/sub/x.reg"));
    EXPECT_TRUE(store.OpenKey(kKey, true));
    EXPECT_FALSE(store.ValueExists("A"));
    EXPECT_FALSE(store.WriteValue("A", Dword(1)));
    EXPECT_EQ(ReadFile(dir.File("plain")), "x");
  }
  if (::geteuid() != 0) {  // permissions do not stop root
    const std::string locked = dir.File("locked");
    std::filesystem::create_directory(locked);
    WriteFile(locked + "/x.reg", kHeader + "\"A\"=dword:00000001\n");
    ::chmod(locked.c_str(), 0555);
    RegFileStore store(locked + "/x.reg");
    EXPECT_TRUE(store.OpenKey(kKey, true));
    EXPECT_EQ(store.ReadValue("A"), Dword(1));
    EXPECT_FALSE(store.WriteValue("A", Dword(2)));
    EXPECT_EQ(store.ReadValue("A"), Dword(1));
    ::chmod(locked.c_str(), 0755);
  }
}

TEST(RegFileStoreTest, WritesThroughALink) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("dotfiles"));
  WriteFile(dir.File("dotfiles/x.reg"), kHeader);
  std::filesystem::create_symlink(dir.File("dotfiles/x.reg"), dir.File("x.reg"));
  RegFileStore store(dir.File("x.reg"));
  ASSERT_TRUE(store.OpenKey(kKey, false));
  ASSERT_TRUE(store.WriteValue("A", Dword(1)));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("x.reg")));
  EXPECT_EQ(ReadFresh(dir.File("dotfiles/x.reg"), "A"), Dword(1));
}

// The store writes through the console's atomic replacement: a device node
// (as root, one that behaves as /dev/null) stays a device, and a full disk
// leaves the stored values as they were.
TEST(RegFileStoreTest, NeverReplacesADeviceAndKeepsTheFileOnAFullDisk) {
  TempDir dir;
  const std::string device = dir.File("null.reg");
  if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
    RegFileStore store(device);
    EXPECT_FALSE(store.OpenKey(kKey, true));
    EXPECT_FALSE(store.WriteValue("A", Dword(1)));
    struct stat info {};
    ASSERT_EQ(::lstat(device.c_str(), &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
  }

  testing::SmallDisk disk;
  if (!disk.unavailable().empty())
    GTEST_SKIP() << disk.unavailable();
  const std::string path = disk.File("x.reg");
  const std::string old = kHeader + "\"A\"=dword:00000001\n";
  WriteFile(path, old);
  ASSERT_TRUE(disk.Fill());
  RegFileStore store(path);
  ASSERT_TRUE(store.OpenKey(kKey, false));
  EXPECT_FALSE(store.WriteValue("B", Text(std::string(4096, 'x'))));
  EXPECT_EQ(ReadFile(path), old);
}

// Appended piece by piece: GCC 12 at -O3 takes "W" + ... for an overlapping copy.
std::string WriterValueName(int writer, int value) {
  std::string name = "W";
  name += std::to_string(writer);
  name += '_';
  name += std::to_string(value);
  return name;
}

TEST(RegFileStoreTest, ConcurrentWritersLoseNothing) {
  TempDir dir;
  const std::string path = dir.File("x.reg");
  constexpr int kWriters = 3;
  constexpr int kValues = 30;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      RegFileStore store(path);
      bool ok = store.OpenKey(kKey, true);
      for (int i = 0; ok && i < kValues; ++i) {
        ok = store.WriteValue(WriterValueName(w, i), Dword(i));
      }
      ::_exit(ok ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  RegFileStore store(path);
  ASSERT_TRUE(store.OpenKey(kKey, false));
  for (int w = 0; w < kWriters; ++w) {
    for (int i = 0; i < kValues; ++i) {
      const std::string name = WriterValueName(w, i);
      EXPECT_EQ(store.ReadValue(name), Dword(i)) << name;
    }
  }
  EXPECT_EQ(Lines(ReadFile(path)).size(), 3u + kWriters * kValues);
}

}  // namespace
}  // namespace vr512b
