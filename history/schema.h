#pragma once

// The history's tables, the same on SQLite and on PostgreSQL, and the steps
// that bring a history of any earlier version up to date.
//
//   runs            one row per run: who, where, when, which units
//   run_logs        the run's whole log, byte for byte as it was printed
//   test_runs       one row per test of a run, in the order they ran
//   test_logs       the log lines of one test (JoinLogLines)
//   run_parameters  the parameters in force, in the store's order
//
// Logs live apart from the rows that lists read, so that a list never
// reads a log; on SQLite the small tables are clustered by their key
// (WITHOUT ROWID), so that a run's tests lie together. Times are milliseconds since 1970 UTC;
// serials and versions are the numbers the units gave, NULL when a unit was never read.
//
// Version 1 had no `program` column and no index by unit serial; version 2
// added both. Version 3 keeps a verdict as its code ('ok', 'failed',
// 'aborted', 'error') instead of its text (an old "Ошибка" becomes 'failed':
// version 2 did not tell an error of the console from a failed test), the
// bench a run used ('real', 'virtual'; NULL for the runs before it, whose
// bench nobody knows), and beside every log the SHA-256 of its bytes as 64
// lower-case hexadecimal digits (NULL for the logs before it).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "history/run_history.h"

namespace vr512b::history {

inline constexpr int kSchemaVersion = 3;

// PRAGMA application_id of a history file: "VR5B". A SQLite file without it
// that already has tables belongs to another program.
inline constexpr std::int32_t kSqliteApplicationId = 0x56523542;

// On a server the tables live in a schema of their own.
inline constexpr const char* kPostgresSchema = "vr512b_history";
// The advisory lock that lets one console at a time create or migrate them.
inline constexpr std::int64_t kPostgresMigrationLock = 0x56523542'48495354;

// Step N (from 0) takes the tables from version N to version N + 1.
std::span<const char* const> SqliteMigrations();
std::span<const char* const> PostgresMigrations();

// A verdict and a bench as the tables keep them, and back: none for a code
// this program does not know.
std::string_view VerdictCode(Verdict verdict);
std::optional<Verdict> VerdictOfCode(std::string_view code);
std::string_view BenchCode(Bench bench);
std::optional<Bench> BenchOfCode(std::string_view code);

// What a store reads back, checked: a verdict's code (throws HistoryError
// for one this program does not know), and a log against the digest stored
// with it (throws HistoryError naming the run when they differ; a log stored
// without a digest is taken as it is). `what` names the log: "журнал запуска",
// "журнал проверки func".
std::optional<Verdict> StoredVerdict(const std::optional<std::string>& code);
std::optional<Bench> StoredBench(const std::optional<std::string>& code);
void CheckStoredLog(std::string_view runId, std::string_view what, std::string_view log,
                    const std::optional<std::string>& sha256);

enum class SqlDialect { Sqlite, Postgres };

// The statement of ListTestRuns. Its parameters, numbered from 1, are the
// query's unit serial, the codes of its verdicts (each, when the list is not
// empty) and limit, each only when the query has it, in that order. Columns:
// run_id, started_ms, finished_ms, station, unit_serial, reference_serial,
// test_id, caption, verdict, bench.
std::string ListTestRunsSql(const RunQuery& query, SqlDialect dialect);

}  // namespace vr512b::history
