#include "history/sqlite_history.h"

#include "common/utf8.h"

namespace vr512b::history {

SqliteHistory::SqliteHistory(std::string path, bool makeFolder)
    : path_(std::move(path)), makeFolder_(makeFolder) {}

SqliteStore* SqliteHistory::Store(SqliteStore::Mode mode) {
  if (!store_)
    store_ = SqliteStore::Open(path_, mode, makeFolder_);
  return store_ ? &*store_ : nullptr;
}

std::string SqliteHistory::ErrorText(const std::exception& error) const {
  return "история \"" + ValidUtf8(path_) + "\": " + DescribeSqliteFailure(error);
}

std::string SqliteHistory::Prepare() {
  try {
    Store(SqliteStore::Mode::Write)->CheckBeforeWriting();
    return {};
  } catch (const std::exception& error) {
    return ErrorText(error);
  }
}

RecordOutcome SqliteHistory::Record(const RecordedRun& run) {
  if (std::string problem = CheckRecordedRun(run); !problem.empty())
    return {RecordStatus::Failed, "запуск не записан в историю: " + problem};
  try {
    SqliteStore* store = Store(SqliteStore::Mode::Write);
    store->Insert(run);
    store->ShrinkLog();
    return {RecordStatus::Stored, {}};
  } catch (const std::exception& error) {
    return {RecordStatus::Failed, ErrorText(error) + "; запуск не записан"};
  }
}

ReadOutcome<std::vector<TestRunRow>> SqliteHistory::ListTestRuns(const RunQuery& query) {
  ReadOutcome<std::vector<TestRunRow>> outcome;
  try {
    if (SqliteStore* store = Store(SqliteStore::Mode::Read))
      outcome.value = store->List(query);
  } catch (const std::exception& error) {
    outcome.error = ErrorText(error);
  }
  return outcome;
}

ReadOutcome<std::optional<RecordedRun>> SqliteHistory::FindRun(std::string_view runId) {
  ReadOutcome<std::optional<RecordedRun>> outcome;
  const std::optional<std::string> id = CanonicalRunId(runId);
  if (!id)
    return outcome;
  try {
    if (SqliteStore* store = Store(SqliteStore::Mode::Read))
      outcome.value = store->Find(*id);
  } catch (const std::exception& error) {
    outcome.error = ErrorText(error);
  }
  return outcome;
}

}  // namespace vr512b::history
