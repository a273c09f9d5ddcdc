// Replacing a file in one step: nothing half-written is ever seen, nothing is
// left behind.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "test_support.h"

namespace vr512b {
namespace {

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  return names;
}

TEST(AtomicFile, ReplacesTheFileInOneStepAndLeavesNothingBehind) {
  testing::TempDir dir;
  const std::string path = dir.File("run.json");
  testing::WriteFile(path, "an older, longer record\n");
  EXPECT_EQ(ReplaceFileAtomically(path, "{}\n"), "");
  EXPECT_EQ(testing::ReadFile(path), "{}\n");
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"run.json"});

  EXPECT_NE(ReplaceFileAtomically(dir.File("no-such-folder/run.json"), "{}"), "");
  EXPECT_NE(CheckReplaceable(dir.File("no-such-folder/run.json")), "");
  EXPECT_NE(CheckReplaceable(dir.path()), "");  // a folder is no record file
  EXPECT_EQ(CheckReplaceable(dir.File("new.json")), "");
  EXPECT_FALSE(std::filesystem::exists(dir.File("new.json")));
}

TEST(AtomicFile, GivesTheNewFileTheModeAskedFor) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows files have no POSIX permission bits";
#endif
  testing::TempDir dir;
  const std::string path = dir.File("settings.reg");
  ASSERT_EQ(ReplaceFileAtomically(path, "a", 0640u), "");
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST(AtomicFile, StaleTemporariesOfThatFileAloneAreRemoved) {
  testing::TempDir dir;
  const std::string path = dir.File("settings.reg");
  testing::WriteFile(dir.File(".settings.reg.tmp.123.0"), "half");
  testing::WriteFile(dir.File(".other.reg.tmp.123.0"), "someone else's");
  testing::WriteFile(path, "whole");
  RemoveStaleTemporaries(path);
  std::vector<std::string> names = Names(dir.path());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".other.reg.tmp.123.0", "settings.reg"}));
}

}  // namespace
}  // namespace vr512b
