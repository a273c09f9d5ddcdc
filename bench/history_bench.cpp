// The run history's two costs that a user feels: what recording adds to the
// end of a run, and how long `--list-runs --unit S` takes once the history
// holds many runs. On a SQLite file always, on a PostgreSQL server when one
// is named.
//
//   vr512b-bench-history [--runs N] [--samples K] [--postgres URI] [--keep-sqlite FILE]
//                        [--fill-one-each]
//
// With --fill-one-each the SQLite file is filled as the runner fills it, one
// history opened, recorded into with every flush and closed per run, and the
// sizes of the file and of its log of changes are given after the fill.
//
// Each timed record or list opens the history afresh, as a new process of
// the CLI would, and closes it again; a record on a history prepared when
// the run started (as the CLI should do it) and one on a history kept open
// (as the window does) are timed too. The history is first filled with N runs (default
// 100 000) of realistic size for 20 000 units, five runs each, except one
// unit tested 1 000 times.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "history/history_format.h"
#include "history/pg_store.h"
#include "history/run_history.h"
#include "history/sqlite_store.h"

namespace {

using namespace vr512b::history;
using Clock = std::chrono::steady_clock;

constexpr std::int32_t kBusyUnit = 999'999;

// A run of the functioning, indication and sound tests: about 60 log lines,
// 3 KB of log.
RecordedRun BenchRun(std::int32_t unit, std::int64_t index) {
  using namespace std::chrono;
  const TimeMs start = TimeMs(milliseconds(1'796'720'400'000 + index * 60'000));
  RecordedRun run;
  run.runId = NewRunId();
  run.program = "vr512b-diag-cli";
  run.programVersion = "2.0.0.3";
  run.station = "bench-" + std::to_string(index % 7);
  run.bench = Bench::Real;
  run.started = start;
  run.finished = start + seconds(20);
  run.unitUnderTest = UnitIdentity{unit, 0x0102};
  run.referenceUnit = UnitIdentity{10001, 0x0103};
  for (const char* name :
       {"NameVR512BSample", "PhoneSample", "Phone", "IDContact", "LowSpeed", "Secsoa", "Korvex",
        "Presto", "ShortTest", "Sound", "SoundSample", "KorvexTestMsg", "CBNoTone"})
    run.parameters.push_back({name, "true"});
  const char* tests[][2] = {
      {"func", "Функционирование"}, {"indic", "Индикация"}, {"sound", "Звук"}};
  for (int t = 0; t < 3; ++t) {
    RecordedTest test;
    test.id = tests[t][0];
    test.caption = tests[t][1];
    test.verdict = (index + t) % 11 == 0 ? vr512b::Verdict::Failed : vr512b::Verdict::Ok;
    test.started = start + seconds(6 * t);
    test.finished = start + seconds(6 * t + 5);
    test.log = {"---------------------------------------",
                ">>>>>--Проверка " + test.caption + "--<<<<<",
                "---------------------------------------",
                "Проверяемое УПО: версия 1.2, серийный номер " + std::to_string(unit)};
    for (int line = 0; line < 16; ++line)
      test.log.push_back("Запись конфигурации, цикл " + std::to_string(line) + ": совпадает");
    test.log.push_back("");
    for (const std::string& line : test.log)
      run.log += line + "\n";
    run.tests.push_back(std::move(test));
  }
  return run;
}

std::int32_t UnitOf(std::int64_t index) {
  return index % 100 == 0 ? kBusyUnit : static_cast<std::int32_t>(100'000 + index % 20'000);
}

struct Stats {
  double median;
  double p95;
  double max;
};

Stats Measure(int samples, const std::function<void()>& work) {
  std::vector<double> ms;
  for (int i = 0; i < samples; ++i) {
    const auto start = Clock::now();
    work();
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::sort(ms.begin(), ms.end());
  return {ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 95 / 100)], ms.back()};
}

void Report(const char* backend, const char* what, const Stats& stats, double target) {
  std::printf("%-10s %-46s median %8.2f ms  p95 %8.2f ms  max %8.2f ms  (target < %.0f ms)\n",
              backend, what, stats.median, stats.p95, stats.max, target);
}

void Fail(const std::string& what) {
  std::fprintf(stderr, "vr512b-bench-history: %s\n", what.c_str());
  std::exit(1);
}

void RecordOrFail(RunHistory& history, const RecordedRun& run) {
  const RecordOutcome outcome = history.Record(run);
  if (outcome.status != RecordStatus::Stored)
    Fail(outcome.message);
}

std::size_t ListOrFail(RunHistory& history, std::int32_t unit) {
  const auto rows = history.ListTestRuns({.unitSerial = unit});
  if (!rows.ok())
    Fail(rows.error);
  return FormatCsv(rows.value).size();
}

// The timings common to both backends; `open` opens the history afresh.
void Time(const char* backend, const std::function<std::unique_ptr<RunHistory>()>& open,
          int samples, std::int64_t& index) {
  const auto recordOn = [&](RunHistory& history) {
    RecordOrFail(history, BenchRun(UnitOf(index), index));
    ++index;
  };
  const Stats cold = Measure(samples, [&] { recordOn(*open()); });
  Report(backend, "record one run (open + record)", cold, 20);

  // As the CLI should do it: the history prepared while the run starts, and
  // closed when the program ends.
  std::vector<std::unique_ptr<RunHistory>> prepared;
  for (int i = 0; i < samples; ++i) {
    prepared.push_back(open());
    if (const std::string error = prepared.back()->Prepare(); !error.empty())
      Fail(error);
  }
  auto next = prepared.begin();
  const Stats warm = Measure(samples, [&] {
    recordOn(**next);
    next++->reset();
  });
  Report(backend, "record one run (prepared at the run's start)", warm, 20);

  const auto kept = open();
  const Stats open_ = Measure(samples, [&] { recordOn(*kept); });
  Report(backend, "record one run (history kept open)", open_, 20);

  std::mt19937 random(7);
  std::size_t bytes = 0;
  const Stats few = Measure(samples, [&] {
    bytes += ListOrFail(*open(), static_cast<std::int32_t>(100'000 + random() % 20'000));
  });
  Report(backend, "--list-runs --unit S (5 runs), CSV", few, 200);
  const Stats many = Measure(samples, [&] { bytes += ListOrFail(*open(), kBusyUnit); });
  Report(backend, "--list-runs --unit S (1 000 runs), CSV", many, 200);
  const Stats window = Measure(samples, [&] {
    const auto rows = open()->ListTestRuns({.order = RowOrder::NewestFirst, .limit = 1000});
    if (!rows.ok())
      Fail(rows.error);
    bytes += rows.value.size();
  });
  Report(backend, "window: newest 1 000 rows of all units", window, 200);
  if (bytes == 0)
    Fail("nothing listed");
}

// `keep`: the file to fill and leave behind (for timing the runner on it),
// instead of one in a folder of its own that goes when the timing is done.
double MegabytesOf(const std::string& path) {
  std::error_code missing;
  const auto size = std::filesystem::file_size(path, missing);
  return missing ? 0.0 : static_cast<double>(size) / 1e6;
}

void FillOneEach(const std::string& path, std::int64_t runs, std::int64_t& index) {
  const auto start = Clock::now();
  for (; index < runs; ++index)
    RecordOrFail(*OpenRunHistory({HistoryKind::SqliteFile, path, {}, false}),
                 BenchRun(UnitOf(index), index));
  std::printf("sqlite     filled with %lld runs, one history opened per run, in %.1f s\n",
              static_cast<long long>(runs),
              std::chrono::duration<double>(Clock::now() - start).count());
  std::printf("sqlite     file %.1f MB, log of changes (-wal) %.1f MB\n", MegabytesOf(path),
              MegabytesOf(path + "-wal"));
}

void BenchSqlite(std::int64_t runs, int samples, const std::string& keep, bool oneEach) {
  std::string folder = (std::filesystem::temp_directory_path() / "vr512b-bench.XXXXXX").string();
  if (::mkdtemp(folder.data()) == nullptr)
    Fail("mkdtemp failed");
  const std::string path = keep.empty() ? folder + "/history.sqlite" : keep;
  std::int64_t index = 0;
  if (oneEach) {
    FillOneEach(path, runs, index);
  } else {
    // Filling is not what is measured: no flush to disk per run here.
    std::optional<SqliteStore> store = SqliteStore::Open(path, SqliteStore::Mode::Write);
    store->database().Execute("PRAGMA synchronous = OFF");
    const auto start = Clock::now();
    for (; index < runs; ++index)
      store->Insert(BenchRun(UnitOf(index), index));
    // What the fill left unwritten must not weigh on the first timed records.
    store->database().Execute("PRAGMA wal_checkpoint(TRUNCATE)");
    ::sync();
    std::printf("sqlite     filled with %lld runs in %.1f s, file %.0f MB\n",
                static_cast<long long>(runs),
                std::chrono::duration<double>(Clock::now() - start).count(),
                static_cast<double>(std::filesystem::file_size(path)) / 1e6);
  }
  Time(
      "sqlite",
      [&] {
        return OpenRunHistory({HistoryKind::SqliteFile, path, {}, false});
      },
      samples, index);
  std::filesystem::remove_all(folder);
}

void BenchPostgres(const std::string& uri, std::int64_t runs, int samples) {
  std::string folder = (std::filesystem::temp_directory_path() / "vr512b-bench.XXXXXX").string();
  if (::mkdtemp(folder.data()) == nullptr)
    Fail("mkdtemp failed");
  std::int64_t index = 0;
  try {
    // Filling without waiting for each commit to reach the disk.
    const char* join = uri.find('?') == std::string::npos ? "?" : "&";
    PgStore store(uri + join + "options=-c%20synchronous_commit%3Doff");
    const auto start = Clock::now();
    for (; index < runs; ++index)
      store.Insert(BenchRun(UnitOf(index), index));
    std::printf("postgresql filled with %lld runs in %.1f s\n", static_cast<long long>(runs),
                std::chrono::duration<double>(Clock::now() - start).count());
    ::sync();
  } catch (const std::exception& error) {
    Fail(std::string("postgresql: ") + error.what());
  }
  Time(
      "postgresql",
      [&] {
        return OpenRunHistory({HistoryKind::Postgres, uri, folder + "/spool.sqlite", false});
      },
      samples, index);
  std::filesystem::remove_all(folder);
}

}  // namespace

int main(int argc, char** argv) {
  std::int64_t runs = 100'000;
  int samples = 50;
  std::string postgres;
  std::string keep;
  bool oneEach = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--runs" && i + 1 < argc) {
      runs = std::atoll(argv[++i]);
    } else if (arg == "--samples" && i + 1 < argc) {
      samples = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--postgres" && i + 1 < argc) {
      postgres = argv[++i];
    } else if (arg == "--keep-sqlite" && i + 1 < argc) {
      keep = argv[++i];
    } else if (arg == "--fill-one-each") {
      oneEach = true;
    } else {
      std::fprintf(stderr,
                   "usage: %s [--runs N] [--samples K] [--postgres URI] [--keep-sqlite FILE] "
                   "[--fill-one-each]\n",
                   argv[0]);
      return 64;
    }
  }
  BenchSqlite(runs, samples, keep, oneEach);
  if (postgres.empty()) {
    std::printf("postgresql not measured: no --postgres URI\n");
  } else {
    BenchPostgres(postgres, runs, samples);
  }
  return 0;
}
