// Replacing a file in one step: nothing half-written is ever seen, nothing is
// left behind, and only a regular file is ever replaced.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include "autotests/support/small_disk.h"
#include "autotests/support/test_support.h"
#include "common/atomic_file.h"

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
  EXPECT_EQ(CheckReplaceable(dir.path()), "это папка, а не обычный файл");
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

#ifndef _WIN32

std::vector<std::string> SortedNames(const std::string& folder) {
  std::vector<std::string> names = Names(folder);
  std::sort(names.begin(), names.end());
  return names;
}

mode_t TypeOf(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 ? (info.st_mode & S_IFMT) : 0;
}

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

TEST(AtomicFileFaults, ALinkIsFollowedAndStays) {
  testing::TempDir dir;
  std::filesystem::create_directory(dir.File("shared"));
  testing::WriteFile(dir.File("shared/run.json"), "old");
  std::filesystem::create_symlink("shared/run.json", dir.File("run.json"));
  ASSERT_EQ(ReplaceFileAtomically(dir.File("run.json"), "new"), "");
  EXPECT_EQ(TypeOf(dir.File("run.json")), S_IFLNK);
  EXPECT_EQ(testing::ReadFile(dir.File("shared/run.json")), "new");
  // A link to a link, and a link to a file still to be written.
  std::filesystem::create_symlink(dir.File("run.json"), dir.File("again.json"));
  std::filesystem::create_symlink("shared/first.json", dir.File("first.json"));
  ASSERT_EQ(ReplaceFileAtomically(dir.File("again.json"), "newer"), "");
  ASSERT_EQ(ReplaceFileAtomically(dir.File("first.json"), "first"), "");
  EXPECT_EQ(TypeOf(dir.File("again.json")), S_IFLNK);
  EXPECT_EQ(TypeOf(dir.File("first.json")), S_IFLNK);
  EXPECT_EQ(testing::ReadFile(dir.File("shared/run.json")), "newer");
  EXPECT_EQ(testing::ReadFile(dir.File("shared/first.json")), "first");
  // The temporary file is made beside the file replaced, not beside the link.
  EXPECT_EQ(SortedNames(dir.File("shared")), (std::vector<std::string>{"first.json", "run.json"}));
  // A loop of links is refused.
  std::filesystem::create_symlink("loop-b", dir.File("loop-a"));
  std::filesystem::create_symlink("loop-a", dir.File("loop-b"));
  EXPECT_NE(ReplaceFileAtomically(dir.File("loop-a"), "x"), "");
  EXPECT_EQ(TypeOf(dir.File("loop-a")), S_IFLNK);
}

TEST(AtomicFileFaults, TheReplacedFileKeepsItsMode) {
  testing::TempDir dir;
  for (const mode_t mode : {0444, 0600, 0640, 0755}) {
    const std::string path = dir.File("mode-" + std::to_string(mode));
    testing::WriteFile(path, "old");
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
    ASSERT_EQ(ReplaceFileAtomically(path, "new"), "");
    EXPECT_EQ(ModeOf(path), mode);
    EXPECT_EQ(testing::ReadFile(path), "new");
    // A mode asked for is for a new file; an existing one keeps its own.
    ASSERT_EQ(ReplaceFileAtomically(path, "newer", 0666u), "");
    EXPECT_EQ(ModeOf(path), mode);
  }
}

// Neither the node nor a link to it is replaced, and nothing is left beside
// them.
void ExpectRefusedAndKept(const testing::TempDir& dir, const std::string& name, mode_t type,
                          const std::string& refusal) {
  SCOPED_TRACE(name);
  std::filesystem::create_symlink(name, dir.File("link-to-" + name));
  for (const std::string& path : {dir.File(name), dir.File("link-to-" + name)}) {
    EXPECT_EQ(CheckReplaceable(path), refusal);
    EXPECT_EQ(ReplaceFileAtomically(path, "{}\n"), refusal);
    AtomicFileWriter writer(path);
    EXPECT_EQ(writer.error(), refusal);
    EXPECT_FALSE(writer.Write("{}"));
    EXPECT_EQ(writer.Commit(), refusal);
  }
  EXPECT_EQ(TypeOf(dir.File(name)), type);
  EXPECT_EQ(TypeOf(dir.File("link-to-" + name)), S_IFLNK);
  std::vector<std::string> left = {name, "link-to-" + name};
  std::sort(left.begin(), left.end());
  EXPECT_EQ(SortedNames(dir.path()), left);
}

TEST(AtomicFileFaults, FoldersFifosAndSocketsAreRefusedAndKept) {
  {
    testing::TempDir dir;
    std::filesystem::create_directory(dir.File("folder"));
    ExpectRefusedAndKept(dir, "folder", S_IFDIR, "это папка, а не обычный файл");
  }
  {
    testing::TempDir dir;
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0644), 0);
    ExpectRefusedAndKept(dir, "fifo", S_IFIFO, "это именованный канал, а не обычный файл");
  }
  {
    testing::TempDir dir;
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = dir.File("socket");
    ASSERT_LT(path.size(), sizeof address.sun_path);
    path.copy(address.sun_path, path.size());
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ExpectRefusedAndKept(dir, "socket", S_IFSOCK, "это сокет, а не обычный файл");
    ::close(listener);
  }
}

TEST(AtomicFileFaults, ADeviceIsRefusedAndKept) {
  testing::TempDir dir;
  // A node that behaves as /dev/null, which root would otherwise replace.
  if (::mknod(dir.File("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
    GTEST_SKIP() << "making a device node needs root: " << std::strerror(errno);
  ExpectRefusedAndKept(dir, "null", S_IFCHR, "это устройство, а не обычный файл");
}

TEST(AtomicFileFaults, AFullDiskKeepsTheOldFileWhole) {
  testing::SmallDisk disk;
  if (!disk.unavailable().empty())
    GTEST_SKIP() << disk.unavailable();
  const std::string path = disk.File("run.json");
  testing::WriteFile(path, "the old record\n");
  ASSERT_TRUE(disk.Fill());
  // Under a block, and well over the free space of an empty small disk.
  for (const std::size_t size : {std::size_t{10}, std::size_t{1} << 20}) {
    const std::string error = ReplaceFileAtomically(path, std::string(size, 'x'));
    EXPECT_EQ(error, std::generic_category().message(ENOSPC));
    EXPECT_EQ(testing::ReadFile(path), "the old record\n");
    EXPECT_EQ(SortedNames(disk.path()), (std::vector<std::string>{".filler", "run.json"}));
  }
  // Written piece by piece: the failure sticks, and nothing is put in place.
  {
    AtomicFileWriter writer(path);
    EXPECT_EQ(writer.error(), "");
    EXPECT_FALSE(writer.Write(std::string(8192, 'y')));
    EXPECT_FALSE(writer.Write("z"));
    EXPECT_EQ(writer.Commit(), std::generic_category().message(ENOSPC));
  }
  EXPECT_EQ(testing::ReadFile(path), "the old record\n");
  EXPECT_EQ(SortedNames(disk.path()), (std::vector<std::string>{".filler", "run.json"}));
}

TEST(AtomicFileFaults, AReadOnlyDiskKeepsTheOldFileWhole) {
  testing::SmallDisk disk;
  if (!disk.unavailable().empty())
    GTEST_SKIP() << disk.unavailable();
  const std::string path = disk.File("run.json");
  testing::WriteFile(path, "the old record\n");
  ASSERT_TRUE(disk.MakeReadOnly());
  EXPECT_EQ(CheckReplaceable(path), std::generic_category().message(EROFS));
  EXPECT_EQ(ReplaceFileAtomically(path, "new"), std::generic_category().message(EROFS));
  EXPECT_EQ(testing::ReadFile(path), "the old record\n");
}

TEST(AtomicFileFaults, AWriterThatIsNotCommittedLeavesTheOldFile) {
  testing::TempDir dir;
  const std::string path = dir.File("log.txt");
  testing::WriteFile(path, "old");
  {
    AtomicFileWriter writer(path);
    EXPECT_TRUE(writer.Write("half of the new"));
  }
  EXPECT_EQ(testing::ReadFile(path), "old");
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"log.txt"});
  AtomicFileWriter writer(path);
  EXPECT_TRUE(writer.Write("new, "));
  EXPECT_TRUE(writer.Write("in two pieces"));
  EXPECT_EQ(writer.Commit(), "");
  EXPECT_EQ(testing::ReadFile(path), "new, in two pieces");
  EXPECT_NE(writer.Commit(), "");  // once only
  EXPECT_EQ(testing::ReadFile(path), "new, in two pieces");
}

#endif  // _WIN32

}  // namespace
}  // namespace vr512b
