#pragma once

#include <optional>
#include <string>

#include "history/run_history.h"
#include "history/sqlite_store.h"

namespace vr512b::history {

// The history in a SQLite file on this machine.
class SqliteHistory final : public RunHistory {
 public:
  // `makeFolder`: the default file, whose folder is made by the first record.
  SqliteHistory(std::string path, bool makeFolder);

  std::string Prepare() override;
  RecordOutcome Record(const RecordedRun& run) override;
  ReadOutcome<std::vector<TestRunRow>> ListTestRuns(const RunQuery& query) override;
  ReadOutcome<std::optional<RecordedRun>> FindRun(std::string_view runId) override;
  const std::string& Where() const override { return path_; }

 private:
  // The open store; none when reading a file that is not there (yet). A
  // file that could not be opened is tried again on the next call.
  SqliteStore* Store(SqliteStore::Mode mode);
  std::string ErrorText(const std::exception& error) const;

  std::string path_;
  bool makeFolder_;
  std::optional<SqliteStore> store_;
};

}  // namespace vr512b::history
