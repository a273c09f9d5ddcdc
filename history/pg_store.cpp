#include "history/pg_store.h"

#include "common/sha256.h"
#include "history/history_error.h"
#include "history/schema.h"

namespace vr512b::history {

namespace {

const std::string kPrefix = std::string(kPostgresSchema) + ".";

std::int64_t Ms(TimeMs time) {
  return time.time_since_epoch().count();
}

TimeMs Time(std::int64_t ms) {
  return TimeMs(std::chrono::milliseconds(ms));
}

std::optional<TimeMs> OptionalTime(const std::optional<std::int64_t>& ms) {
  if (!ms)
    return std::nullopt;
  return Time(*ms);
}

std::optional<std::int32_t> OptionalSerial(const PGresult* result, int row, int column) {
  if (IsNull(result, row, column))
    return std::nullopt;
  return static_cast<std::int32_t>(Int(result, row, column));
}

std::optional<UnitIdentity> Unit(const PGresult* result, int row, int serial, int version) {
  if (IsNull(result, row, serial))
    return std::nullopt;
  return UnitIdentity{static_cast<std::int32_t>(Int(result, row, serial)),
                      static_cast<std::uint16_t>(Int(result, row, version))};
}

}  // namespace

PgStore::PgStore(const std::string& uri, HistoryWaits waits) : conn_(uri, waits) {
  BringSchemaUpToDate();
}

void PgStore::BringSchemaUpToDate() {
  const std::string versionTable = kPrefix + "schema_version";
  PgParams schema;
  schema.Text(kPostgresSchema);
  const auto currentVersion = [&]() -> std::optional<std::int64_t> {
    // A plain query of the catalog, not to_regclass(): after waiting for the
    // advisory lock, this session's cached view of the catalog may not yet
    // show the tables another console has just committed.
    const PgResult exists = conn_.Execute(
        "SELECT count(*) FROM pg_catalog.pg_tables WHERE schemaname = $1 AND "
        "tablename = 'schema_version'",
        schema);
    if (Int(exists.get(), 0, 0) == 0)
      return std::nullopt;
    const PgResult version = conn_.Execute("SELECT max(version) FROM " + versionTable);
    return OptionalInt(version.get(), 0, 0).value_or(0);
  };
  // Every connection asks, so the usual answer costs one plain query.
  try {
    const PgResult version = conn_.Execute("SELECT max(version) FROM " + versionTable);
    if (OptionalInt(version.get(), 0, 0) == kSchemaVersion)
      return;
  } catch (const PgError& error) {
    if (error.kind() != PgError::Kind::Rejected)
      throw;  // no table yet is answered below, under the lock
  }

  PgTransaction transaction(conn_);
  conn_.Execute("SELECT pg_advisory_xact_lock(" + std::to_string(kPostgresMigrationLock) + ")");
  // Another console may have done it while this one waited for the lock.
  std::optional<std::int64_t> version = currentVersion();
  if (!version) {
    const PgResult tables =
        conn_.Execute("SELECT count(*) FROM pg_catalog.pg_tables WHERE schemaname = $1", schema);
    if (Int(tables.get(), 0, 0) != 0) {
      throw HistoryError(std::string("схема ") + kPostgresSchema +
                         " на сервере есть, но это не история запусков; ничего не изменено");
    }
    conn_.Execute(std::string("CREATE SCHEMA IF NOT EXISTS ") + kPostgresSchema +
                  "; CREATE TABLE " + versionTable + " (version integer NOT NULL); INSERT INTO " +
                  versionTable + " VALUES (0)");
    version = 0;
  }
  if (*version > kSchemaVersion) {
    throw HistoryError("история на сервере записана более новой версией программы (схема " +
                       std::to_string(*version) + ", эта программа знает до " +
                       std::to_string(kSchemaVersion) + ")");
  }
  const auto steps = PostgresMigrations();
  for (std::int64_t step = *version; step < kSchemaVersion; ++step)
    conn_.Execute(steps[static_cast<std::size_t>(step)]);
  conn_.Execute("UPDATE " + versionTable + " SET version = " + std::to_string(kSchemaVersion));
  transaction.Commit();
}

bool PgStore::Insert(const RecordedRun& run) {
  // One statement, so one round trip and one transaction: the run's row
  // first, and the rest only when that row is new.
  static const std::string kInsert =
      "WITH run AS (INSERT INTO " + kPrefix +
      "runs (run_id, program, program_version, station, started_ms, finished_ms, unit_serial, "
      "unit_version, reference_serial, reference_version, bench) "
      "VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $20) "
      "ON CONFLICT (run_id) DO NOTHING RETURNING run_id), "
      "log AS (INSERT INTO " +
      kPrefix +
      "run_logs (run_id, log, sha256) SELECT run_id, $11, $21 FROM run), "
      "tests AS (INSERT INTO " +
      kPrefix +
      "test_runs (run_id, seq, test_id, caption, verdict, started_ms, finished_ms) "
      "SELECT run.run_id, t.seq - 1, t.test_id, t.caption, t.verdict, t.started_ms, t.finished_ms "
      "FROM run, unnest($12, $13, $14, $15, $16) WITH ORDINALITY "
      "AS t (test_id, caption, verdict, started_ms, finished_ms, seq)), "
      "test_logs AS (INSERT INTO " +
      kPrefix +
      "test_logs (run_id, seq, log, sha256) "
      "SELECT run.run_id, l.seq - 1, l.log, l.sha256 "
      "FROM run, unnest($17, $22) WITH ORDINALITY AS l (log, sha256, seq)), "
      "parameters AS (INSERT INTO " +
      kPrefix +
      "run_parameters (run_id, seq, name, value) "
      "SELECT run.run_id, p.seq - 1, p.name, p.value "
      "FROM run, unnest($18, $19) WITH ORDINALITY AS p (name, value, seq)) "
      "SELECT count(*) FROM run";

  PgParams params;
  params.Text(run.runId, PgParams::kUuid);
  params.Text(run.program);
  params.Text(run.programVersion);
  params.Text(run.station);
  params.Int(Ms(run.started));
  params.Int(Ms(run.finished));
  const auto serial = [](const std::optional<UnitIdentity>& unit) {
    return unit ? std::optional<std::int64_t>(unit->serial) : std::nullopt;
  };
  const auto version = [](const std::optional<UnitIdentity>& unit) {
    return unit ? std::optional<std::int64_t>(unit->version) : std::nullopt;
  };
  params.OptionalInt(serial(run.unitUnderTest), PgParams::kInt4);
  params.OptionalInt(version(run.unitUnderTest), PgParams::kInt4);
  params.OptionalInt(serial(run.referenceUnit), PgParams::kInt4);
  params.OptionalInt(version(run.referenceUnit), PgParams::kInt4);
  params.Bytes(run.log);

  PgArray ids, captions, verdicts, starts, finishes, logs, digests;
  for (const RecordedTest& test : run.tests) {
    ids.Text(test.id);
    captions.Text(test.caption);
    verdicts.OptionalText(test.verdict ? std::optional(std::string(VerdictCode(*test.verdict)))
                                       : std::nullopt);
    starts.Int(Ms(test.started));
    finishes.OptionalInt(test.finished ? std::optional(Ms(*test.finished)) : std::nullopt);
    const std::string log = JoinLogLines(test.log);
    logs.Bytes(log);
    digests.Text(Sha256Hex(log));
  }
  PgArray names, values;
  for (const RunParameter& parameter : run.parameters) {
    names.Text(parameter.name);
    values.Bytes(parameter.value);
  }
  params.Text(ids.Literal(), PgArray::kTextArray);
  params.Text(captions.Literal(), PgArray::kTextArray);
  params.Text(verdicts.Literal(), PgArray::kTextArray);
  params.Text(starts.Literal(), PgArray::kInt8Array);
  params.Text(finishes.Literal(), PgArray::kInt8Array);
  params.Text(logs.Literal(), PgArray::kByteaArray);
  params.Text(names.Literal(), PgArray::kTextArray);
  params.Text(values.Literal(), PgArray::kByteaArray);
  params.OptionalText(run.bench ? std::optional(std::string(BenchCode(*run.bench))) : std::nullopt);
  params.Text(Sha256Hex(run.log));
  params.Text(digests.Literal(), PgArray::kTextArray);
  const PgResult inserted = conn_.Execute(kInsert, params);
  return Int(inserted.get(), 0, 0) == 1;
}

void PgStore::Rehearse() {
  RecordedRun rehearsal;
  rehearsal.runId = NewRunId();
  rehearsal.bench = Bench::Real;
  rehearsal.tests.push_back({"func", "Функционирование", Verdict::Ok, {}, {}, {""}});
  rehearsal.parameters.push_back({"Phone", "2002"});
  PgTransaction transaction(conn_);
  Insert(rehearsal);
  // Rolled back as the transaction ends uncommitted.
}

std::vector<TestRunRow> PgStore::List(const RunQuery& query) {
  PgParams params;
  if (query.unitSerial)
    params.Int(*query.unitSerial, PgParams::kInt4);
  if (query.verdicts) {
    for (const Verdict verdict : *query.verdicts)
      params.Text(VerdictCode(verdict));
  }
  if (query.limit)
    params.Int(static_cast<std::int64_t>(*query.limit));
  const PgResult result = conn_.Execute(ListTestRunsSql(query, SqlDialect::Postgres), params);
  const PGresult* r = result.get();
  std::vector<TestRunRow> rows;
  rows.reserve(static_cast<std::size_t>(PQntuples(r)));
  for (int i = 0; i < PQntuples(r); ++i) {
    rows.push_back({Text(r, i, 0), Time(Int(r, i, 1)), OptionalTime(OptionalInt(r, i, 2)),
                    Text(r, i, 3), OptionalSerial(r, i, 4), OptionalSerial(r, i, 5), Text(r, i, 6),
                    Text(r, i, 7), StoredVerdict(OptionalText(r, i, 8)),
                    StoredBench(OptionalText(r, i, 9))});
  }
  return rows;
}

std::optional<RecordedRun> PgStore::Find(std::string_view runId) {
  PgParams id;
  id.Text(runId, PgParams::kUuid);
  const PgResult runResult = conn_.Execute(
      "SELECT r.program, r.program_version, r.station, r.started_ms, r.finished_ms, "
      "r.unit_serial, r.unit_version, r.reference_serial, r.reference_version, l.log, r.bench, "
      "l.sha256 FROM " +
          kPrefix + "runs r LEFT JOIN " + kPrefix +
          "run_logs l ON l.run_id = r.run_id WHERE r.run_id = $1",
      id);
  const PGresult* r = runResult.get();
  if (PQntuples(r) == 0)
    return std::nullopt;
  RecordedRun run;
  run.runId = std::string(runId);
  run.program = Text(r, 0, 0);
  run.programVersion = Text(r, 0, 1);
  run.station = Text(r, 0, 2);
  run.started = Time(Int(r, 0, 3));
  run.finished = Time(Int(r, 0, 4));
  run.unitUnderTest = Unit(r, 0, 5, 6);
  run.referenceUnit = Unit(r, 0, 7, 8);
  run.log = Bytes(r, 0, 9);
  run.bench = StoredBench(OptionalText(r, 0, 10));
  CheckStoredLog(runId, "журнал запуска", run.log, OptionalText(r, 0, 11));

  const PgResult testResult = conn_.Execute(
      "SELECT t.test_id, t.caption, t.verdict, t.started_ms, t.finished_ms, l.log, l.sha256 "
      "FROM " +
          kPrefix + "test_runs t LEFT JOIN " + kPrefix +
          "test_logs l ON l.run_id = t.run_id AND l.seq = t.seq WHERE t.run_id = $1 "
          "ORDER BY t.seq",
      id);
  const PGresult* t = testResult.get();
  for (int i = 0; i < PQntuples(t); ++i) {
    const std::string log = Bytes(t, i, 5);
    CheckStoredLog(runId, "журнал проверки " + Text(t, i, 0), log, OptionalText(t, i, 6));
    run.tests.push_back({Text(t, i, 0), Text(t, i, 1), StoredVerdict(OptionalText(t, i, 2)),
                         Time(Int(t, i, 3)), OptionalTime(OptionalInt(t, i, 4)),
                         SplitLogLines(log)});
  }

  const PgResult parameterResult = conn_.Execute(
      "SELECT name, value FROM " + kPrefix + "run_parameters WHERE run_id = $1 ORDER BY seq", id);
  const PGresult* p = parameterResult.get();
  for (int i = 0; i < PQntuples(p); ++i)
    run.parameters.push_back({Text(p, i, 0), Bytes(p, i, 1)});
  return run;
}

}  // namespace vr512b::history
