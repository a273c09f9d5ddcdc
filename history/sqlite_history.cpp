#include "history/sqlite_history.h"

#include "common/utf8.h"

namespace vr512b::history {

namespace {

bool IsHeldByAnother(const std::exception& error) {
  const auto* sqlite = dynamic_cast<const SqliteError*>(&error);
  return sqlite != nullptr && sqlite->LockedOut();
}

}  // namespace

std::string SpoolBeside(const std::string& historyPath) {
  return historyPath + "-spool";
}

SqliteHistory::SqliteHistory(std::string path, bool makeFolder, HistoryWaits waits)
    : path_(std::move(path)),
      makeFolder_(makeFolder),
      waits_(waits),
      spool_(SpoolBeside(path_), waits) {}

SqliteStore* SqliteHistory::Store(SqliteStore::Mode mode) {
  if (!store_)
    store_ = SqliteStore::Open(path_, mode, makeFolder_, {waits_.fileLock, waits_.signalCount});
  return store_ ? &*store_ : nullptr;
}

std::string SqliteHistory::ErrorText(const std::exception& error) const {
  return "история \"" + ValidUtf8(path_) + "\": " + DescribeSqliteFailure(error);
}

std::string SqliteHistory::DeliverWaiting(SqliteStore& store, std::optional<SqliteError>& held) {
  // Most histories never had a run wait: the spool finds no file of its
  // own and hands over nothing.
  try {
    const RunSpool::Flushed flushed =
        spool_.Flush(path_, [&](const RecordedRun& run) -> RunSpool::Delivery {
          try {
            store.Insert(run);
            return {};
          } catch (const std::exception& error) {
            if (IsHeldByAnother(error))
              held = dynamic_cast<const SqliteError&>(error);
            return {RunSpool::Delivery::Status::Unreachable, DescribeSqliteFailure(error)};
          }
        });
    std::string notice;
    if (flushed.sent > 0) {
      store.ShrinkLog();
      notice = "в историю записаны запуски, ждавшие в \"" + ValidUtf8(spool_.path()) +
               "\": " + std::to_string(flushed.sent);
    }
    if (flushed.left > 0) {
      notice += notice.empty() ? "" : "; ";
      notice += "в \"" + ValidUtf8(spool_.path()) +
                "\" ещё ждут записи: " + std::to_string(flushed.left) + " (" + flushed.error + ")";
    }
    return notice;
  } catch (const std::exception& error) {
    return "запуски, ждущие записи в \"" + ValidUtf8(spool_.path()) +
           "\": " + DescribeSqliteFailure(error);
  }
}

std::string SqliteHistory::WaitingNote() {
  try {
    const std::size_t waiting = spool_.Waiting(path_);
    if (waiting == 0)
      return {};
    return " (в \"" + ValidUtf8(spool_.path()) + "\" ждут записи: " + std::to_string(waiting) + ")";
  } catch (const std::exception&) {
    return {};
  }
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
  std::string reason;
  try {
    SqliteStore* store = Store(SqliteStore::Mode::Write);
    std::optional<SqliteError> held;
    std::string notice = DeliverWaiting(*store, held);
    // The file just now proved held: not waited for once more.
    if (held)
      throw *held;
    store->Insert(run);
    store->ShrinkLog();
    return {RecordStatus::Stored, std::move(notice)};
  } catch (const std::exception& error) {
    // A file that is damaged, full or not ours would refuse the run later
    // just as well: only one another program holds is waited out.
    if (!IsHeldByAnother(error))
      return {RecordStatus::Failed, ErrorText(error) + "; запуск не записан"};
    reason = ErrorText(error);
  }
  try {
    spool_.Keep(run, path_);
    return {RecordStatus::Kept, reason + "; запуск сохранён в \"" + ValidUtf8(spool_.path()) +
                                    "\" и будет записан в историю, когда файл освободится (ждут "
                                    "записи: " +
                                    std::to_string(spool_.Waiting(path_)) + ")"};
  } catch (const std::exception& error) {
    return {RecordStatus::Failed, reason + "; сохранить запуск в \"" + ValidUtf8(spool_.path()) +
                                      "\" не удалось: " + DescribeSqliteFailure(error) +
                                      "; запуск не записан"};
  }
}

// A read first moves the runs waiting beside into the file, so that they are
// listed; when the file is still held, it reads what the file has and says
// how many still wait.
template <typename T, typename Read>
ReadOutcome<T> SqliteHistory::ReadStore(Read&& read) {
  ReadOutcome<T> outcome;
  try {
    if (SqliteStore* store = Store(SqliteStore::Mode::Read)) {
      std::optional<SqliteError> held;
      outcome.notice = DeliverWaiting(*store, held);
      outcome.value = read(*store);
    } else {
      outcome.notice = WaitingNote();
    }
  } catch (const std::exception& error) {
    outcome.error = ErrorText(error) + WaitingNote();
  }
  return outcome;
}

ReadOutcome<std::vector<TestRunRow>> SqliteHistory::ListTestRuns(const RunQuery& query) {
  return ReadStore<std::vector<TestRunRow>>([&](SqliteStore& store) { return store.List(query); });
}

ReadOutcome<std::optional<RecordedRun>> SqliteHistory::FindRun(std::string_view runId) {
  const std::optional<std::string> id = CanonicalRunId(runId);
  if (!id)
    return {};
  return ReadStore<std::optional<RecordedRun>>([&](SqliteStore& store) { return store.Find(*id); });
}

}  // namespace vr512b::history
