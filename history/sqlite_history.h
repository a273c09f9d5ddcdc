#pragma once

#include <optional>
#include <string>

#include "history/history_waits.h"
#include "history/run_history.h"
#include "history/run_spool.h"
#include "history/sqlite_store.h"

namespace vr512b::history {

// The history in a SQLite file on this machine. A run that meets the file
// held by another program past the wait waits beside it, in a spool of its
// own (the file's name with "-spool" after it), and goes into the file with
// the next record or read that finds it free.
class SqliteHistory final : public RunHistory {
 public:
  // `makeFolder`: the default file, whose folder is made by the first record.
  SqliteHistory(std::string path, bool makeFolder, HistoryWaits waits = {});

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
  // Moves the runs waiting beside into the store; says what is worth saying.
  // `held` receives the failure when the file proved held by another.
  std::string DeliverWaiting(SqliteStore& store, std::optional<SqliteError>& held);
  std::string WaitingNote();
  template <typename T, typename Read>
  ReadOutcome<T> ReadStore(Read&& read);

  std::string path_;
  bool makeFolder_;
  HistoryWaits waits_;
  RunSpool spool_;
  std::optional<SqliteStore> store_;
};

// Where a history file's runs wait while another program holds it.
std::string SpoolBeside(const std::string& historyPath);

}  // namespace vr512b::history
