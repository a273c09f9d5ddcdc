#pragma once

// A history on a PostgreSQL server, in the schema vr512b_history. The first
// console to connect creates or migrates the tables, under an advisory lock
// so that two consoles never migrate at once. Storing is idempotent by run
// id: a run sent twice (after a connection broke during its commit) is
// stored once.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "history/pg_connection.h"
#include "history/recorded_run.h"
#include "history/run_history.h"

namespace vr512b::history {

class PgStore {
 public:
  // Connects and brings the tables up to date. Throws PgError, or
  // HistoryError when the server's tables are not ours to use.
  explicit PgStore(const std::string& uri, HistoryWaits waits = {});

  bool Healthy() const { return conn_.Healthy(); }

  // Whether the run was new.
  bool Insert(const RecordedRun& run);
  // Stores a made-up run in a transaction that it rolls back: the server
  // then has the tables, indexes and key checks of a store at hand, and the
  // next Insert on this connection costs what an insert costs.
  void Rehearse();
  std::vector<TestRunRow> List(const RunQuery& query);
  std::optional<RecordedRun> Find(std::string_view runId);

 private:
  void BringSchemaUpToDate();
  PgConnection conn_;
};

}  // namespace vr512b::history
