#pragma once

// Runs a server did not take, kept in a local SQLite file (a history file
// with one more table naming the server each run waits for) until they are
// sent. A run leaves the spool only after the server committed it.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "history/recorded_run.h"
#include "history/sqlite_store.h"

namespace vr512b::history {

class RunSpool {
 public:
  explicit RunSpool(std::string path) : path_(std::move(path)) {}

  const std::string& path() const { return path_; }

  // Keeps `run` for the server with `serverKey`. Throws on failure.
  void Keep(const RecordedRun& run, const std::string& serverKey);

  // How many runs wait for the server. Throws on failure.
  std::size_t Waiting(const std::string& serverKey);

  struct Flushed {
    std::size_t sent = 0;
    std::size_t left = 0;
    std::string error;  // the first failure that kept a run back
  };
  // Hands every run waiting for the server to `send`, oldest first, and
  // forgets each one `send` returns from. When `send` throws PgError for a
  // connection that is gone, the rest wait for the next time.
  Flushed Flush(const std::string& serverKey, const std::function<void(const RecordedRun&)>& send);

 private:
  SqliteStore* Store(SqliteStore::Mode mode);

  std::string path_;
  std::optional<SqliteStore> store_;
};

}  // namespace vr512b::history
