#include "history/postgres_history.h"

#include "common/utf8.h"

namespace vr512b::history {

PostgresHistory::PostgresHistory(std::string uri, std::string spoolPath, HistoryWaits waits)
    : uri_(std::move(uri)), waits_(waits), names_(NameServer(uri_)), where_(names_.display) {
  if (!spoolPath.empty())
    spool_.emplace(std::move(spoolPath), waits_);
}

template <typename Work>
void PostgresHistory::WithServer(Work&& work) {
  const bool reused = store_ && store_->Healthy();
  if (!reused) {
    store_.reset();
    Connect();
  }
  try {
    work(*store_);
  } catch (const PgError& error) {
    if (error.kind() != PgError::Kind::Unreachable)
      throw;
    store_.reset();
    if (!reused)
      throw;
    // The server went away since the last call, perhaps restarted: once more.
    Connect();
    work(*store_);
  }
}

void PostgresHistory::Connect() {
  // A server that kept silent for a whole connect bound a moment ago (while
  // the run started, say) is not waited for again so soon.
  const auto now = std::chrono::steady_clock::now();
  if (silence_ && now - silence_->since < waits_.connect)
    throw silence_->error;
  try {
    store_.emplace(uri_, waits_);
    silence_.reset();
  } catch (const PgError& error) {
    if (error.kind() == PgError::Kind::Unreachable &&
        std::chrono::steady_clock::now() - now >= waits_.connect / 2)
      silence_ = Silence{std::chrono::steady_clock::now(), error};
    throw;
  }
}

std::string PostgresHistory::Reason(const std::exception& error) const {
  const std::string server = "сервер истории " + ValidUtf8(where_);
  const auto* pg = dynamic_cast<const PgError*>(&error);
  if (pg == nullptr)
    return server + ": " + error.what();
  switch (pg->kind()) {
    case PgError::Kind::Unreachable:
      return server + " недоступен: " + pg->what();
    case PgError::Kind::Refused:
      return server + " отказал во входе: " + pg->what();
    case PgError::Kind::Rejected:
      break;
  }
  return server + " отверг запрос: " + pg->what();
}

std::string PostgresHistory::SendWaiting(PgStore& store) {
  if (!spool_)
    return {};
  try {
    const RunSpool::Flushed flushed =
        spool_->Flush(names_.key, [&](const RecordedRun& run) -> RunSpool::Delivery {
          try {
            store.Insert(run);
            return {};
          } catch (const PgError& error) {
            return {error.kind() == PgError::Kind::Rejected
                        ? RunSpool::Delivery::Status::Refused
                        : RunSpool::Delivery::Status::Unreachable,
                    error.what()};
          }
        });
    std::string notice;
    if (flushed.sent > 0) {
      notice = "на сервер истории отправлены запуски, сохранённые локально: " +
               std::to_string(flushed.sent);
    }
    if (flushed.left > 0) {
      if (!notice.empty())
        notice += "; ";
      notice += "ещё ждут отправки: " + std::to_string(flushed.left) + " (" + flushed.error + ")";
    }
    return notice;
  } catch (const std::exception& error) {
    return "локальное хранилище \"" + ValidUtf8(spool_->path()) +
           "\": " + DescribeSqliteFailure(error);
  }
}

std::string PostgresHistory::WaitingNote() {
  if (!spool_)
    return {};
  try {
    const std::size_t waiting = spool_->Waiting(names_.key);
    if (waiting == 0)
      return {};
    return " (в \"" + ValidUtf8(spool_->path()) + "\" ждут отправки: " + std::to_string(waiting) +
           ")";
  } catch (const std::exception&) {
    return {};
  }
}

std::string PostgresHistory::Prepare() {
  try {
    WithServer([](PgStore& store) { store.Rehearse(); });
    return {};
  } catch (const std::exception& error) {
    return Reason(error) + WaitingNote();
  }
}

RecordOutcome PostgresHistory::Record(const RecordedRun& run) {
  if (std::string problem = CheckRecordedRun(run); !problem.empty())
    return {RecordStatus::Failed, "запуск не записан в историю: " + problem};
  std::string reason;
  try {
    std::string notice;
    WithServer([&](PgStore& store) {
      notice = SendWaiting(store);
      store.Insert(run);
    });
    return {RecordStatus::Stored, notice};
  } catch (const std::exception& error) {
    reason = Reason(error);
  }
  if (!spool_)
    return {RecordStatus::Failed, reason +
                                      "; запуск не записан: нет папки данных (HOME) для "
                                      "локального хранения"};
  try {
    spool_->Keep(run, names_.key);
    const std::size_t waiting = spool_->Waiting(names_.key);
    return {RecordStatus::Kept, reason + "; запуск сохранён локально в \"" +
                                    ValidUtf8(spool_->path()) +
                                    "\" и будет отправлен, когда сервер ответит (ждут отправки: " +
                                    std::to_string(waiting) + ")"};
  } catch (const std::exception& error) {
    return {RecordStatus::Failed,
            reason + "; сохранить запуск локально в \"" + ValidUtf8(spool_->path()) +
                "\" не удалось: " + DescribeSqliteFailure(error) + "; запуск не записан"};
  }
}

template <typename T>
ReadOutcome<T> PostgresHistory::Read(const std::function<T(PgStore&)>& read) {
  ReadOutcome<T> outcome;
  try {
    WithServer([&](PgStore& store) {
      outcome.notice = SendWaiting(store);
      outcome.value = read(store);
    });
  } catch (const std::exception& error) {
    outcome.error = Reason(error) + WaitingNote();
  }
  return outcome;
}

ReadOutcome<std::vector<TestRunRow>> PostgresHistory::ListTestRuns(const RunQuery& query) {
  return Read<std::vector<TestRunRow>>([&](PgStore& store) { return store.List(query); });
}

ReadOutcome<std::optional<RecordedRun>> PostgresHistory::FindRun(std::string_view runId) {
  const std::optional<std::string> id = CanonicalRunId(runId);
  if (!id)
    return {std::nullopt, {}, {}};
  return Read<std::optional<RecordedRun>>([&](PgStore& store) { return store.Find(*id); });
}

}  // namespace vr512b::history
