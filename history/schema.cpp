#include "history/schema.h"

#include "common/sha256.h"
#include "common/utf8.h"
#include "history/history_error.h"

namespace vr512b::history {

namespace {

constexpr const char* kSqliteSteps[] = {
    // Version 1.
    R"sql(
CREATE TABLE runs (
  run_id TEXT PRIMARY KEY NOT NULL,
  program_version TEXT NOT NULL,
  station TEXT NOT NULL,
  started_ms INTEGER NOT NULL,
  finished_ms INTEGER NOT NULL,
  unit_serial INTEGER,
  unit_version INTEGER,
  reference_serial INTEGER,
  reference_version INTEGER
);
CREATE TABLE run_logs (
  run_id TEXT PRIMARY KEY NOT NULL REFERENCES runs (run_id) ON DELETE CASCADE,
  log TEXT NOT NULL
);
CREATE TABLE test_runs (
  run_id TEXT NOT NULL REFERENCES runs (run_id) ON DELETE CASCADE,
  seq INTEGER NOT NULL,
  test_id TEXT NOT NULL,
  caption TEXT NOT NULL,
  verdict TEXT,
  started_ms INTEGER NOT NULL,
  finished_ms INTEGER,
  PRIMARY KEY (run_id, seq)
) WITHOUT ROWID;
CREATE TABLE test_logs (
  run_id TEXT NOT NULL,
  seq INTEGER NOT NULL,
  log TEXT NOT NULL,
  PRIMARY KEY (run_id, seq),
  FOREIGN KEY (run_id, seq) REFERENCES test_runs (run_id, seq) ON DELETE CASCADE
);
CREATE TABLE run_parameters (
  run_id TEXT NOT NULL REFERENCES runs (run_id) ON DELETE CASCADE,
  seq INTEGER NOT NULL,
  name TEXT NOT NULL,
  value TEXT NOT NULL,
  PRIMARY KEY (run_id, seq)
) WITHOUT ROWID;
CREATE INDEX runs_by_start ON runs (started_ms, run_id);
)sql",
    // Version 2.
    R"sql(
ALTER TABLE runs ADD COLUMN program TEXT NOT NULL DEFAULT '';
CREATE INDEX runs_by_unit ON runs (unit_serial, started_ms, run_id);
)sql",
    // Version 3. SQLite changes no column's type in place: the codes go into
    // a column of their own, which then takes the old one's name.
    R"sql(
ALTER TABLE test_runs ADD COLUMN verdict_code TEXT
  CHECK (verdict_code IN ('ok', 'failed', 'aborted', 'error'));
UPDATE test_runs SET verdict_code = CASE verdict
  WHEN 'OK' THEN 'ok' WHEN 'Ошибка' THEN 'failed' WHEN 'Прервано' THEN 'aborted' END;
ALTER TABLE test_runs DROP COLUMN verdict;
ALTER TABLE test_runs RENAME COLUMN verdict_code TO verdict;
ALTER TABLE runs ADD COLUMN bench TEXT CHECK (bench IN ('real', 'virtual'));
ALTER TABLE run_logs ADD COLUMN sha256 TEXT;
ALTER TABLE test_logs ADD COLUMN sha256 TEXT;
)sql",
};

// As on SQLite; logs and parameter values are bytea because a server's text
// takes neither NUL nor bytes that are not UTF-8, and a log keeps whatever a
// unit sent.
constexpr const char* kPostgresSteps[] = {
    // Version 1.
    R"sql(
CREATE TABLE vr512b_history.runs (
  run_id uuid PRIMARY KEY,
  program_version text NOT NULL,
  station text NOT NULL,
  started_ms bigint NOT NULL,
  finished_ms bigint NOT NULL,
  unit_serial integer,
  unit_version integer,
  reference_serial integer,
  reference_version integer
);
CREATE TABLE vr512b_history.run_logs (
  run_id uuid PRIMARY KEY REFERENCES vr512b_history.runs (run_id) ON DELETE CASCADE,
  log bytea NOT NULL
);
CREATE TABLE vr512b_history.test_runs (
  run_id uuid NOT NULL REFERENCES vr512b_history.runs (run_id) ON DELETE CASCADE,
  seq integer NOT NULL,
  test_id text NOT NULL,
  caption text NOT NULL,
  verdict text,
  started_ms bigint NOT NULL,
  finished_ms bigint,
  PRIMARY KEY (run_id, seq)
);
CREATE TABLE vr512b_history.test_logs (
  run_id uuid NOT NULL,
  seq integer NOT NULL,
  log bytea NOT NULL,
  PRIMARY KEY (run_id, seq),
  FOREIGN KEY (run_id, seq) REFERENCES vr512b_history.test_runs (run_id, seq) ON DELETE CASCADE
);
CREATE TABLE vr512b_history.run_parameters (
  run_id uuid NOT NULL REFERENCES vr512b_history.runs (run_id) ON DELETE CASCADE,
  seq integer NOT NULL,
  name text NOT NULL,
  value bytea NOT NULL,
  PRIMARY KEY (run_id, seq)
);
CREATE INDEX runs_by_start ON vr512b_history.runs (started_ms, run_id);
)sql",
    // Version 2.
    R"sql(
ALTER TABLE vr512b_history.runs ADD COLUMN program text NOT NULL DEFAULT '';
CREATE INDEX runs_by_unit ON vr512b_history.runs (unit_serial, started_ms, run_id);
)sql",
    // Version 3.
    R"sql(
ALTER TABLE vr512b_history.test_runs
  ALTER COLUMN verdict TYPE text USING CASE verdict
    WHEN 'OK' THEN 'ok' WHEN 'Ошибка' THEN 'failed' WHEN 'Прервано' THEN 'aborted' END,
  ADD CONSTRAINT test_runs_verdict CHECK (verdict IN ('ok', 'failed', 'aborted', 'error'));
ALTER TABLE vr512b_history.runs
  ADD COLUMN bench text CONSTRAINT runs_bench CHECK (bench IN ('real', 'virtual'));
ALTER TABLE vr512b_history.run_logs ADD COLUMN sha256 text;
ALTER TABLE vr512b_history.test_logs ADD COLUMN sha256 text;
)sql",
};

static_assert(std::size(kSqliteSteps) == kSchemaVersion);
static_assert(std::size(kPostgresSteps) == kSchemaVersion);

struct Code {
  std::string_view code;
  Verdict verdict;
};
constexpr Code kVerdictCodes[] = {{"ok", Verdict::Ok},
                                  {"failed", Verdict::Failed},
                                  {"aborted", Verdict::Aborted},
                                  {"error", Verdict::Error}};

}  // namespace

std::string_view VerdictCode(Verdict verdict) {
  for (const Code& code : kVerdictCodes) {
    if (code.verdict == verdict)
      return code.code;
  }
  return {};
}

std::optional<Verdict> VerdictOfCode(std::string_view code) {
  for (const Code& known : kVerdictCodes) {
    if (known.code == code)
      return known.verdict;
  }
  return std::nullopt;
}

std::string_view BenchCode(Bench bench) {
  return bench == Bench::Virtual ? "virtual" : "real";
}

std::optional<Bench> BenchOfCode(std::string_view code) {
  if (code == "real")
    return Bench::Real;
  if (code == "virtual")
    return Bench::Virtual;
  return std::nullopt;
}

std::optional<Verdict> StoredVerdict(const std::optional<std::string>& code) {
  if (!code)
    return std::nullopt;
  if (const std::optional<Verdict> verdict = VerdictOfCode(*code))
    return verdict;
  throw HistoryError("в истории неизвестный итог проверки \"" + ValidUtf8(*code) + "\"");
}

std::optional<Bench> StoredBench(const std::optional<std::string>& code) {
  if (!code)
    return std::nullopt;
  if (const std::optional<Bench> bench = BenchOfCode(*code))
    return bench;
  throw HistoryError("в истории неизвестный стенд \"" + ValidUtf8(*code) + "\"");
}

void CheckStoredLog(std::string_view runId, std::string_view what, std::string_view log,
                    const std::optional<std::string>& sha256) {
  if (sha256 && Sha256Hex(log) != *sha256) {
    throw HistoryError("запуск " + std::string(runId) +
                       " в истории повреждён: " + std::string(what) +
                       " не совпадает с записанным (другая сумма SHA-256); запуск не показан");
  }
}

std::span<const char* const> SqliteMigrations() {
  return kSqliteSteps;
}

std::span<const char* const> PostgresMigrations() {
  return kPostgresSteps;
}

std::string ListTestRunsSql(const RunQuery& query, SqlDialect dialect) {
  const bool postgres = dialect == SqlDialect::Postgres;
  const std::string prefix = postgres ? std::string(kPostgresSchema) + "." : std::string();
  int parameters = 0;
  const auto next = [&] { return (postgres ? "$" : "?") + std::to_string(++parameters); };

  std::string sql =
      "SELECT r.run_id, t.started_ms, t.finished_ms, r.station, r.unit_serial, "
      "r.reference_serial, t.test_id, t.caption, t.verdict, r.bench FROM ";
  // The runs first, in the order of an index, and each run's tests by their
  // key: a limit stops early, and a unit with many runs costs a lookup a
  // run. SQLite keeps the order of a CROSS JOIN; PostgreSQL would rather
  // read every test and hash them, unless OFFSET 0 keeps the subquery apart.
  if (postgres) {
    sql += prefix + "runs r CROSS JOIN LATERAL (SELECT * FROM " + prefix +
           "test_runs x WHERE x.run_id = r.run_id OFFSET 0) t WHERE TRUE";
  } else {
    sql += "runs r CROSS JOIN test_runs t WHERE t.run_id = r.run_id";
  }
  if (query.unitSerial)
    sql += " AND r.unit_serial = " + next();
  if (query.verdicts) {
    if (query.verdicts->empty()) {
      sql += " AND t.verdict IS NULL";
    } else {
      sql += " AND t.verdict IN (";
      for (std::size_t i = 0; i < query.verdicts->size(); ++i)
        sql += (i > 0 ? ", " : "") + next();
      sql += ")";
    }
  }
  const char* direction = query.order == RowOrder::NewestFirst ? " DESC" : "";
  sql += std::string(" ORDER BY r.started_ms") + direction + ", r.run_id" + direction + ", t.seq" +
         direction;
  if (query.limit)
    sql += " LIMIT " + next();
  return sql;
}

}  // namespace vr512b::history
