// The version component on real program files: this test program carries the
// console's version resource, the probes beside it one without a resource and
// one with a modern GUI subsystem version.
#include <gtest/gtest.h>

#include "common/windows_api.h"
// windows.h first: the shell's header builds on it.
#include <shellapi.h>

#include <array>
#include <string>

#include "app/version_info.h"
#include "autotests/support/test_support.h"

namespace vr512b {
namespace {

std::string BesideThisProgram(const std::string& name) {
  char self[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string path(self);
  return path.substr(0, path.find_last_of("\\/") + 1) + name;
}

TEST(VersionInfoTest, TheRunningProgramShowsTheFileVersionOfItsRussianStringTable) {
  TVersionInfo info;
  EXPECT_EQ(info.GetFileVersion(), "");  // not enabled yet
  info.SetEnabled(true);
  ASSERT_TRUE(info.HasVersionInfo());
  EXPECT_EQ(info.GetFileVersion(), "2.0.0.3");
  EXPECT_EQ(info.Translations(), (std::vector<std::string>{"041904E3"}));
  EXPECT_EQ(info.FileVersionNumbers(), (std::array<std::uint16_t, 4>{2, 0, 0, 3}));
  EXPECT_EQ(info.QueryStringValue("FileDescription"), "Программа диагностики УПО VR512B");
  EXPECT_EQ(info.QueryStringValue("NoSuchName"), "");

  // The same file named explicitly, with blanks around the name.
  info.SetFileName("  " + BesideThisProgram("autotest_windows.exe") + " ");
  EXPECT_EQ(info.FileName(), BesideThisProgram("autotest_windows.exe"));
  EXPECT_EQ(info.GetFileVersion(), "2.0.0.3");

  info.SetEnabled(false);
  EXPECT_EQ(info.GetFileVersion(), "");
  EXPECT_EQ(info.FileVersionNumbers(), (std::array<std::uint16_t, 4>{}));
}

TEST(VersionInfoTest, FilesWithoutAVersionResourceGiveAnEmptyLabelQuietly) {
  const UINT errorMode = ::SetErrorMode(0);
  ::SetErrorMode(errorMode);
  testing::TempDir dir;
  const std::string text = dir.File("readme.txt");
  testing::WriteFile(text, "MZ but not really a program");
  TVersionInfo info;
  info.SetEnabled(true);
  ASSERT_TRUE(info.HasVersionInfo());
  for (const std::string& file :
       {dir.File("missing.exe"), text, dir.path(), BesideThisProgram("version_probe_bare.exe")}) {
    SCOPED_TRACE(file);
    ASSERT_NO_THROW(info.SetFileName(file));
    EXPECT_FALSE(info.HasVersionInfo());
    EXPECT_EQ(info.GetFileVersion(), "");
    EXPECT_TRUE(info.Translations().empty());
  }
  // The error mode is the process's own again afterwards.
  EXPECT_EQ(::SetErrorMode(errorMode), errorMode);
}

// A GUI image from today's linkers reports subsystem version 5.2 or later,
// which the old list of 3.0, 3.5 and 4.0 would have refused.
TEST(VersionInfoTest, AGuiProgramOfATodaysLinkerIsRead) {
  const std::string gui = BesideThisProgram("version_probe_gui.exe");
  const DWORD_PTR type = ::SHGetFileInfoA(gui.c_str(), 0, nullptr, 0, SHGFI_EXETYPE);
  ASSERT_EQ(LOWORD(type), 0x4550);
  EXPECT_GE(HIWORD(type), 0x0500);

  TVersionInfo info;
  info.SetFileName(gui);
  info.SetEnabled(true);
  EXPECT_TRUE(info.HasVersionInfo());
  EXPECT_EQ(info.GetFileVersion(), "2.0.0.3");
}

}  // namespace
}  // namespace vr512b
