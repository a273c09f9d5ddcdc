#pragma once

// A history in one SQLite file: opened only when it is a history (or empty),
// brought up to the current schema, in WAL mode with a wait for locks so that
// several processes can write at once.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "history/history_waits.h"
#include "history/recorded_run.h"
#include "history/run_history.h"
#include "history/sqlite_db.h"

namespace vr512b::history {

class SqliteStore {
 public:
  enum class Mode {
    Read,   // a file that is not there stays not there
    Write,  // a missing file is created, and with `makeFolder` its folder too
  };

  // The store in `path`, or none when reading a file that does not exist.
  // Throws HistoryError naming the file when it is not a history of this
  // program (corrupt, another program's database, a newer schema); such a
  // file is left exactly as it was. `lockWait`: how long a statement waits
  // for another connection's lock.
  static std::optional<SqliteStore> Open(const std::string& path, Mode mode,
                                         bool makeFolder = false,
                                         SqliteLockWait lockWait = {HistoryWaits{}.fileLock});

  // Throws HistoryError when the tables a record adds to are damaged. Once
  // for each opening, by the first Insert unless called before (when a run
  // starts, so that its end does not wait for it); a file damaged while this
  // store has it open is left to the next opening.
  void CheckBeforeWriting();

  // Whether the run was new: a run id already there changes nothing.
  // `alsoInTransaction` runs inside the same transaction, after the run is
  // in, new or not.
  bool Insert(const RecordedRun& run,
              const std::function<void(SqliteDatabase&)>& alsoInTransaction = {});
  // After a run is in: keeps the file's log of changes from growing.
  void ShrinkLog();
  std::vector<TestRunRow> List(const RunQuery& query);
  std::optional<RecordedRun> Find(std::string_view runId);
  // Whether the run was there to remove.
  bool Remove(std::string_view runId);

  SqliteDatabase& database() { return db_; }

 private:
  explicit SqliteStore(SqliteDatabase db) : db_(std::move(db)) {}
  static SqliteStore OpenOrCreate(const std::string& path, int openFlags, SqliteLockWait lockWait);
  static SqliteStore OpenOnReadOnlyMedium(const std::string& path);
  SqliteDatabase db_;
  bool checked_ = false;  // by CheckBeforeWriting
};

// A failure of a store as the operator reads it: a file that is not a
// database, or a damaged one, said in so many words.
std::string DescribeSqliteFailure(const std::exception& error);

// The size past which the writer empties the file's log of changes.
inline constexpr std::uintmax_t kSqliteLogBoundBytes = 1 << 20;

}  // namespace vr512b::history
