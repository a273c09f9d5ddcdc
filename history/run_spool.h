#pragma once

// Runs a history did not take (a server that did not answer, a file another
// program held), kept in a local SQLite file (a history file with one more
// table naming the history each run waits for) until they are delivered. A
// run leaves the spool only after its history committed it.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "history/recorded_run.h"
#include "history/sqlite_store.h"

namespace vr512b::history {

class RunSpool {
 public:
  explicit RunSpool(std::string path, HistoryWaits waits = {})
      : path_(std::move(path)), waits_(waits) {}

  const std::string& path() const { return path_; }

  // Keeps `run` for the history named `historyKey`. Throws on failure.
  void Keep(const RecordedRun& run, const std::string& historyKey);

  // How many runs wait for that history. Throws on failure.
  std::size_t Waiting(const std::string& historyKey);

  // What became of one run handed over.
  struct Delivery {
    enum class Status {
      Taken,        // committed: it leaves the spool
      Refused,      // this run was refused; the others are tried
      Unreachable,  // the history cannot be reached: the rest wait for the next time
    };
    Status status = Status::Taken;
    std::string error;
  };

  struct Flushed {
    std::size_t sent = 0;
    std::size_t left = 0;
    std::string error;  // the first failure that kept a run back
  };
  // Hands every run waiting for the history to `send`, oldest first, and
  // forgets each one it took.
  Flushed Flush(const std::string& historyKey,
                const std::function<Delivery(const RecordedRun&)>& send);

 private:
  SqliteStore* Store(SqliteStore::Mode mode);

  std::string path_;
  HistoryWaits waits_;
  std::optional<SqliteStore> store_;
};

}  // namespace vr512b::history
