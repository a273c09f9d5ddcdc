// The history's file where only a POSIX system can put it: a path that
// leads to a folder, a pipe or a device, and a medium mounted read-only.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>

#include <sys/stat.h>

#include "autotests/history/history_test_support.h"
#include "autotests/support/small_disk.h"
#include "history/run_history.h"

namespace vr512b::history::testing {
namespace {

namespace fs = std::filesystem;

std::unique_ptr<RunHistory> OpenFile(const std::string& path) {
  return OpenRunHistory({HistoryKind::SqliteFile, path, {}, false});
}

TEST(SqliteHistory, APathThatIsNotARegularFileIsRefusedAndNothingIsMadeBesideIt) {
  struct NotAFile {
    const char* name;
    std::function<std::string(const TempDir&)> make;
    const char* reason;
  };
  const NotAFile paths[] = {
      {"folder",
       [](const TempDir& dir) {
         fs::create_directory(dir.File("history.sqlite"));
         return dir.File("history.sqlite");
       },
       "это папка, а не файл истории; ничего не создано"},
      {"fifo",
       [](const TempDir& dir) {
         ::mkfifo(dir.File("history.sqlite").c_str(), 0600);
         return dir.File("history.sqlite");
       },
       "это канал (FIFO), а не файл истории; ничего не создано"},
      {"device", [](const TempDir&) { return std::string("/dev/null"); },
       "это устройство, а не файл истории; ничего не создано"},
  };
  for (const NotAFile& entry : paths) {
    SCOPED_TRACE(entry.name);
    TempDir dir;
    const std::string path = entry.make(dir);
    const std::string folder = fs::path(path).parent_path().string();
    const std::set<std::string> before = FolderListing(folder);
    const auto history = OpenFile(path);
    EXPECT_NE(history->Prepare().find(entry.reason), std::string::npos);
    EXPECT_EQ(history->Record(SampleRun(5)).status, RecordStatus::Failed);
    const auto rows = history->ListTestRuns({});
    EXPECT_NE(rows.error.find(entry.reason), std::string::npos) << rows.error;
    EXPECT_EQ(FolderListing(folder), before);
  }
}

TEST(SqliteHistory, AHistoryOnAReadOnlyMediumIsStillListedAndShown) {
  vr512b::testing::SmallDisk disk(2048);
  if (!disk.unavailable().empty())
    GTEST_SKIP() << disk.unavailable();
  const std::string path = disk.File("history.sqlite");
  const RecordedRun run = SampleRun(5);
  ASSERT_EQ(OpenFile(path)->Record(run).status, RecordStatus::Stored);
  ASSERT_TRUE(disk.MakeReadOnly());

  const auto history = OpenFile(path);
  const auto rows = history->ListTestRuns({});
  ASSERT_TRUE(rows.ok()) << rows.error;
  EXPECT_EQ(rows.value.size(), run.tests.size());
  const auto found = history->FindRun(run.runId);
  ASSERT_TRUE(found.ok()) << found.error;
  ASSERT_TRUE(found.value.has_value());
  EXPECT_EQ(found.value->log, run.log);
  const RecordOutcome refused = history->Record(SampleRun(6));
  EXPECT_EQ(refused.status, RecordStatus::Failed);
  EXPECT_NE(refused.message.find("(attempt to write a readonly database)"), std::string::npos)
      << refused.message;
}

}  // namespace
}  // namespace vr512b::history::testing
