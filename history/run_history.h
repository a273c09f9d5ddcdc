#pragma once

// The run history: every run the console made, kept in a SQLite file on the
// bench or on a PostgreSQL server shared by several benches.
//
// A RunHistory never throws; every failure comes back as a text to show
// beside the run (stderr in the CLI, the status bar in the window). One
// object serves one thread; two objects, in one process or many, may use the
// same history at once. A server that does not answer holds a call for up to
// its connect timeout (5 s unless the URI says otherwise): the window should
// record on a thread of its own, with an object of its own.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "history/history_location.h"
#include "history/history_waits.h"
#include "history/recorded_run.h"

namespace vr512b::history {

enum class RecordStatus {
  Stored,  // in the history
  Kept,    // the server did not take it: kept in the local spool, sent later
  Failed,  // not stored anywhere: the message says why
};

struct RecordOutcome {
  RecordStatus status = RecordStatus::Failed;
  std::string message;  // what to report beside the run; empty when there is nothing to say
};

// The result of a read: `error` empty on success; `notice` is something worth
// telling even so (runs that still wait in the spool).
template <typename T>
struct ReadOutcome {
  T value{};
  std::string error;
  std::string notice;
  bool ok() const { return error.empty(); }
};

// One test of one run: a row of --list-runs and of the history window.
struct TestRunRow {
  std::string runId;
  TimeMs started;  // the test's
  std::optional<TimeMs> finished;
  std::string station;
  std::optional<std::int32_t> unitSerial;  // none when the run never read it
  std::optional<std::int32_t> referenceSerial;
  std::string test;     // the test's id, "func"
  std::string caption;  // its button caption, "Функционирование"
  std::optional<Verdict> verdict;
  std::optional<Bench> bench;  // none for a run recorded before the history kept it
  friend bool operator==(const TestRunRow&, const TestRunRow&) = default;
};

enum class RowOrder {
  OldestFirst,  // the CLI: newest last
  NewestFirst,  // the window
};

// Rows are ordered by their run's start, a run's tests in the order they ran;
// NewestFirst is exactly the reverse.
struct RunQuery {
  std::optional<std::int32_t> unitSerial{};  // the unit under test
  // Tests with any of these verdicts; an empty list asks for tests without one.
  std::optional<std::vector<Verdict>> verdicts{};
  RowOrder order = RowOrder::OldestFirst;
  std::optional<std::size_t> limit{};  // at most this many rows, from the start of the order
};

class RunHistory {
 public:
  virtual ~RunHistory() = default;

  // Opens the history now instead of at first use: creates the file, or
  // connects to the server and checks its tables. Called when a run starts,
  // it leaves the run's end only the storing to wait for, and tells the
  // operator early that the history will not take the run. Returns what is
  // wrong, empty when nothing is; a record is attempted all the same.
  virtual std::string Prepare() = 0;

  // Stores `run` once: recording the same run id again changes nothing.
  virtual RecordOutcome Record(const RecordedRun& run) = 0;

  virtual ReadOutcome<std::vector<TestRunRow>> ListTestRuns(const RunQuery& query) = 0;

  // The run with this id (upper or lower case), none when the history has no
  // such run or `runId` is no run id.
  virtual ReadOutcome<std::optional<RecordedRun>> FindRun(std::string_view runId) = 0;

  // Where the runs go, for messages: the file, or the server without password.
  virtual const std::string& Where() const = 0;
};

// The history at `location`, opened on first use (a missing file is created
// by the first Record, never by a read; a server is connected when needed).
// None for HistoryKind::None.
// `waits` bounds and interrupts the waits on a server.
std::unique_ptr<RunHistory> OpenRunHistory(const HistoryLocation& location,
                                           HistoryWaits waits = {});

}  // namespace vr512b::history
