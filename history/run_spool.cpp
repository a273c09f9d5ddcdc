#include "history/run_spool.h"

#include <chrono>

namespace vr512b::history {

namespace {

// Deleting the run deletes its place in the queue.
constexpr const char* kQueueTable = R"sql(
CREATE TABLE IF NOT EXISTS spool_queue (
  run_id TEXT PRIMARY KEY NOT NULL REFERENCES runs (run_id) ON DELETE CASCADE,
  server TEXT NOT NULL,
  queued_ms INTEGER NOT NULL
)
)sql";

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

SqliteStore* RunSpool::Store(SqliteStore::Mode mode) {
  if (!store_) {
    store_ = SqliteStore::Open(path_, mode, true, {waits_.fileLock, waits_.signalCount});
    if (store_)
      store_->database().Execute(kQueueTable);
  }
  return store_ ? &*store_ : nullptr;
}

void RunSpool::Keep(const RecordedRun& run, const std::string& historyKey) {
  Store(SqliteStore::Mode::Write)->Insert(run, [&](SqliteDatabase& db) {
    SqliteStatement queue = db.Prepare(
        "INSERT INTO spool_queue (run_id, server, queued_ms) VALUES (?1, ?2, ?3) "
        "ON CONFLICT (run_id) DO NOTHING");
    queue.Bind(1, run.runId);
    queue.Bind(2, historyKey);
    queue.Bind(3, NowMs());
    queue.Step();
  });
  store_->ShrinkLog();
}

std::size_t RunSpool::Waiting(const std::string& historyKey) {
  SqliteStore* store = Store(SqliteStore::Mode::Read);
  if (store == nullptr)
    return 0;
  SqliteStatement count =
      store->database().Prepare("SELECT count(*) FROM spool_queue WHERE server = ?1");
  count.Bind(1, historyKey);
  return count.Step() ? static_cast<std::size_t>(count.Int(0)) : 0;
}

RunSpool::Flushed RunSpool::Flush(const std::string& historyKey,
                                  const std::function<Delivery(const RecordedRun&)>& send) {
  Flushed flushed;
  SqliteStore* store = Store(SqliteStore::Mode::Read);
  if (store == nullptr)
    return flushed;
  std::vector<std::string> waiting;
  {
    SqliteStatement select = store->database().Prepare(
        "SELECT run_id FROM spool_queue WHERE server = ?1 ORDER BY queued_ms, run_id");
    select.Bind(1, historyKey);
    while (select.Step())
      waiting.push_back(select.Text(0));
  }
  for (std::size_t i = 0; i < waiting.size(); ++i) {
    // Another console on this machine may have sent it meanwhile.
    const std::optional<RecordedRun> run = store->Find(waiting[i]);
    if (!run)
      continue;
    const Delivery delivery = send(*run);
    if (delivery.status != Delivery::Status::Taken) {
      if (flushed.error.empty())
        flushed.error = delivery.error;
      if (delivery.status == Delivery::Status::Unreachable) {
        flushed.left += waiting.size() - i;
        break;
      }
      ++flushed.left;
      continue;
    }
    // Counted by the console that took it out of the spool: another one
    // flushing at the same time may have sent it too, and it is stored once.
    if (store->Remove(waiting[i]))
      ++flushed.sent;
  }
  if (flushed.left > 0)
    flushed.left = Waiting(historyKey);
  return flushed;
}

}  // namespace vr512b::history
