#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "history/pg_connection.h"
#include "history/pg_store.h"
#include "history/run_history.h"
#include "history/run_spool.h"

namespace vr512b::history {

// The history on a PostgreSQL server. While the server cannot be reached or
// will not take a run, the run waits in the local spool; every later record
// or read that finds the server answering sends the waiting runs first.
class PostgresHistory final : public RunHistory {
 public:
  // `spoolPath` empty: nowhere to keep runs, a run the server does not take
  // is lost and said so.
  PostgresHistory(std::string uri, std::string spoolPath, HistoryWaits waits = {});

  std::string Prepare() override;
  RecordOutcome Record(const RecordedRun& run) override;
  ReadOutcome<std::vector<TestRunRow>> ListTestRuns(const RunQuery& query) override;
  ReadOutcome<std::optional<RecordedRun>> FindRun(std::string_view runId) override;
  const std::string& Where() const override { return where_; }

 private:
  // Runs `work` on the server: on the open connection, and once more on a
  // fresh one when that connection turns out to be gone. Throws PgError, or
  // HistoryError when the server's tables are not ours to use.
  template <typename Work>
  void WithServer(Work&& work);
  void Connect();
  // Sends the runs waiting in the spool; says what is worth saying about it.
  std::string SendWaiting(PgStore& store);
  std::string Reason(const std::exception& error) const;
  std::string WaitingNote();
  template <typename T>
  ReadOutcome<T> Read(const std::function<T(PgStore&)>& read);

  std::string uri_;
  HistoryWaits waits_;
  PgServerNames names_;
  std::string where_;
  std::optional<RunSpool> spool_;
  std::optional<PgStore> store_;
  struct Silence {
    std::chrono::steady_clock::time_point since;
    PgError error;
  };
  std::optional<Silence> silence_;
};

}  // namespace vr512b::history
