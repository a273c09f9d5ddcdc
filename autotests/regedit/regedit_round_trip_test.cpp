// Parameter files against Wine's real regedit, in a throwaway prefix whose
// ANSI code page is Windows-1251 (a Russian locale), as on the bench's PC.
// For every encoding a file can have: what our writer writes, regedit imports
// to the very values and types our reader reads; what regedit exports, our
// reader reads to those values again; and a second import of regedit's export
// gives them once more.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "autotests/support/reg_samples.h"
#include "autotests/support/test_support.h"
#include "settings/reg_document.h"
#include "settings/reg_file_store.h"
#include "settings/settings.h"

namespace vr512b {
namespace {

namespace fs = std::filesystem;

constexpr char kKey[] = "HKEY_LOCAL_MACHINE\\Software\\Korvex\\DiagVR512B";

// One Wine prefix for the whole run, made with the run and removed after it.
class WinePrefix : public ::testing::Environment {
 public:
  void SetUp() override {
    ::setenv("WINEPREFIX", (dir_.path() + "/prefix").c_str(), 1);
    ::setenv("WINEARCH", "win64", 1);
    ::setenv("WINEDEBUG", "-all", 1);
    // Wine takes its ANSI code page from the locale's name; the locale need
    // not be installed.
    ::setenv("LC_ALL", "ru_RU.UTF-8", 1);
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ready_ = std::system("wineboot --init > /dev/null 2>&1") == 0;
  }
  void TearDown() override { [[maybe_unused]] const int ended = std::system("wineserver -k"); }
  static bool Ready() { return ready_; }

 private:
  testing::TempDir dir_;
  static inline bool ready_ = false;
};

// Runs a Wine command quietly; true when it succeeded.
bool Wine(const std::string& command) {
  return std::system(("wine " + command + " > /dev/null 2>&1").c_str()) == 0;
}

std::string Quoted(const std::string& path) {
  return "'" + path + "'";
}

using Values = std::map<std::string, RegValue>;

// What our reader reads from a file: every value of the key, typed.
Values OurRead(const std::string& path) {
  return RegDocument::Parse(testing::ReadFile(path)).ValuesOf(kKey);
}

class RegeditRoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WinePrefix::Ready()) << "wine (wineboot) does not run: CI installs it with "
                                        ".ci/install-deps";
  }

  // regedit imports `file` into a key it had not, exports it; returns the export.
  std::string ImportAndExport(const std::string& file, const std::string& exportName) {
    Wine("reg delete 'HKLM\\Software\\Korvex\\DiagVR512B' /f");
    EXPECT_TRUE(Wine("regedit /S " + Quoted(file))) << file;
    const std::string exported = dir.File(exportName);
    EXPECT_TRUE(Wine("regedit /E " + Quoted(exported) + " '" + kKey + "'")) << file;
    return exported;
  }

  // Import, export, import the export again, export again: the same values
  // and types all along.
  void ExpectRoundTrip(const std::string& file, const Values& expected) {
    ASSERT_EQ(OurRead(file), expected) << "our reader on " << file;
    const std::string first = ImportAndExport(file, "first-export.reg");
    EXPECT_EQ(OurRead(first), expected) << "regedit's import of " << file;
    const std::string second = ImportAndExport(first, "second-export.reg");
    EXPECT_EQ(OurRead(second), expected) << "regedit's import of its own export";
    EXPECT_EQ(testing::ReadFile(second), testing::ReadFile(first));
  }

  // Our writer fills a file that holds only its header and the key: the
  // console's parameters as it saves them, then `more`.
  Values WriteWithOurWriter(const std::string& path, const std::string& emptyFile,
                            const std::vector<RegWrite>& more) {
    testing::WriteFile(path, emptyFile);
    SaveSettings(*OpenFileStore(path), Parameters());
    RegFileStore store(path);
    EXPECT_TRUE(store.OpenKey(kSettingsKeyPath, false));
    EXPECT_EQ(store.WriteValues(more), more.size());
    return OurRead(path);
  }

  static TestParameterValues Parameters() {
    TestParameterValues v = testing::ExportValues();
    v.Phone = "C:\\Korvex \"2002\"";
    return v;
  }

  static RegValue Text(RegValueType type, const std::string& text) {
    RegValue value{type, {text.begin(), text.end()}};
    value.data.push_back(0);
    return value;
  }

  testing::TempDir dir;
};

TEST_F(RegeditRoundTrip, Utf16Version5ThatOurWriterWrites) {
  const std::string path = dir.File("utf16.reg");
  const Values written = WriteWithOurWriter(
      path,
      testing::RegeditFile(u"Windows Registry Editor Version 5.00\r\n\r\n"
                           u"[HKEY_LOCAL_MACHINE\\Software\\Korvex\\DiagVR512B]\r\n"),
      {{"Expand", Text(kRegExpandSz, "%SystemRoot%\\Пульт")},
       {"Multi", RegValue{7, {'a', 0, 0xD0, 0x91, 0, 0}}},  // "a", "Б"
       {"Block", RegValue{kRegBinary, std::vector<std::uint8_t>(40, 0xA5)}},
       {"Empty", Text(kRegSz, "")}});
  ASSERT_EQ(written.size(), 17u);
  EXPECT_EQ(written.at("phonesample"), Text(kRegSz, "Пульт 2001"));
  ExpectRoundTrip(path, written);
}

TEST_F(RegeditRoundTrip, Regedit4InWindows1251ThatOurWriterWrites) {
  const std::string path = dir.File("regedit4.reg");
  const Values written = WriteWithOurWriter(
      path, "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Korvex\\DiagVR512B]\r\n",
      {{"Expand", Text(kRegExpandSz, "%SystemRoot%\\Пульт")},
       {"Multi", RegValue{7, {'a', 0, 0xD0, 0x91, 0, 0}}},
       {"Block", RegValue{kRegBinary, {1, 2, 3}}}});
  // Cyrillic in the file is one byte a letter.
  EXPECT_NE(testing::ReadFile(path).find("\"PhoneSample\"=\"\xCF\xF3\xEB\xFC\xF2 2001\""),
            std::string::npos);
  ExpectRoundTrip(path, written);
}

// regedit reads no UTF-8: a file without a byte-order mark is the ANSI code
// page to it (and one with the UTF-8 mark is refused), and it takes the lists
// of hex(2) and hex(7) in such a file for ANSI text. What it reads of our own
// UTF-8 files alike is ASCII text, numbers and binary values.
TEST_F(RegeditRoundTrip, Utf8Version5ThatOurWriterWritesInAscii) {
  const std::string path = dir.File("utf8.reg");
  testing::WriteFile(path, "");
  TestParameterValues ascii = Parameters();
  ascii.PhoneSample = "8 (495) 123-45-67";
  SaveSettings(*OpenFileStore(path), ascii);
  RegFileStore store(path);
  ASSERT_TRUE(store.OpenKey(kSettingsKeyPath, false));
  ASSERT_TRUE(store.WriteValue("Block", RegValue{kRegBinary, {0, 255, 7}}));
  ASSERT_TRUE(testing::ReadFile(path).starts_with("Windows Registry Editor Version 5.00\n"));
  ExpectRoundTrip(path, OurRead(path));
}

TEST_F(RegeditRoundTrip, RegeditsOwnFilesReadAsItReadsThem) {
  const std::string utf16 = dir.File("export.reg");
  testing::WriteFile(utf16, testing::RegeditFile(testing::ExportText()));
  const Values fromExport = OurRead(utf16);
  EXPECT_EQ(fromExport.at("namevr512bsample"), Text(kRegExpandSz, "10001"));
  ExpectRoundTrip(utf16, fromExport);

  const std::string regedit4 = dir.File("regedit4-sample.reg");
  testing::WriteFile(regedit4, testing::Regedit4Text());
  const Values fromRegedit4 = OurRead(regedit4);
  EXPECT_EQ(fromRegedit4.at("phonesample"), Text(kRegSz, "Пульт 2001"));
  ExpectRoundTrip(regedit4, fromRegedit4);
}

}  // namespace
}  // namespace vr512b

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // GoogleTest owns its environments.
  ::testing::AddGlobalTestEnvironment(std::make_unique<vr512b::WinePrefix>().release());
  return RUN_ALL_TESTS();
}
