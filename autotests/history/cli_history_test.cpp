// The runner and its history, through the real vr512b-diag-cli: every run of
// tests recorded without being asked, --list-runs and --show-run reading it
// back, and a history that cannot be used said on stderr while the run runs
// as it would without one.

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <regex>

#include "autotests/history/cli_process.h"
#include "autotests/history/history_test_support.h"
#include "autotests/history/silent_server.h"
#include "history/recorded_run.h"

namespace vr512b::history::testing {
namespace {

// The fields of a CSV line that needs no quoting.
std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (std::size_t comma = line.find(','); comma != std::string::npos;
       comma = line.find(',', start)) {
    fields.push_back(line.substr(start, comma - start));
    start = comma + 1;
  }
  fields.push_back(line.substr(start));
  return fields;
}

const std::regex kIsoUtc(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)");

class CliHistory : public ::testing::Test {
 protected:
  // The environment of a technician's session: the data folder is the
  // test's, no history named.
  EnvChanges Env() const {
    return {{"HOME", dir_.File("home")},
            {"XDG_DATA_HOME", dir_.File("data")},
            {"VR512B_HISTORY", std::nullopt}};
  }

  // A run of tests on the virtual bench, on virtual time, with a fresh
  // parameters file.
  CliResult Run(std::vector<std::string> args, EnvChanges env = {}) {
    std::vector<std::string> command{"--simulate", "--virtual-time", "--settings",
                                     dir_.File("p" + std::to_string(++runs_) + ".reg")};
    command.insert(command.end(), args.begin(), args.end());
    EnvChanges all = Env();
    for (auto& [name, value] : env)
      all[name] = value;
    return RunCliProcess(command, all);
  }
  CliResult Cli(const std::vector<std::string>& args) { return RunCliProcess(args, Env()); }

  std::string SimDefault() const { return dir_.File("data/Korvex/vr512b-history-sim.sqlite"); }
  std::string RealDefault() const { return dir_.File("data/Korvex/vr512b-history.sqlite"); }

  TempDir dir_;
  int runs_ = 0;
};

TEST_F(CliHistory, ARunIsRecordedInTheDefaultHistoryAndPrintedBackByteForByte) {
  const CliResult run = Run({"func", "indic"});
  ASSERT_EQ(run.status, 0) << run.err;
  // Recording that goes well says nothing.
  EXPECT_EQ(run.err.find("vr512b-diag-cli"), std::string::npos) << run.err;
  EXPECT_TRUE(FileExists(SimDefault()));
  EXPECT_FALSE(FileExists(RealDefault()));  // simulated runs never mix with real ones

  const CliResult listed = Cli({"--simulate", "--list-runs"});
  ASSERT_EQ(listed.status, 0) << listed.err;
  EXPECT_EQ(listed.err, "");
  const std::vector<std::string> lines = Lines(listed.out);
  ASSERT_EQ(lines.size(), 3u) << listed.out;
  EXPECT_EQ(lines[0], kListHeader);
  std::string runId;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string> fields = Fields(lines[i]);
    ASSERT_EQ(fields.size(), 9u) << lines[i];
    EXPECT_EQ(CanonicalRunId(fields[0]), fields[0]);
    runId = fields[0];
    EXPECT_TRUE(std::regex_match(fields[1], kIsoUtc)) << fields[1];
    EXPECT_TRUE(std::regex_match(fields[2], kIsoUtc)) << fields[2];
    EXPECT_LE(fields[1], fields[2]);
    EXPECT_EQ(fields[3], LocalStationName());
    EXPECT_EQ(fields[4], "10002");  // the virtual unit under test
    EXPECT_EQ(fields[5], "");       // the reference unit was never opened
    EXPECT_EQ(fields[6], i == 1 ? "func" : "indic");
    EXPECT_EQ(fields[7], "OK");
    EXPECT_EQ(fields[8], "virtual");
  }
  EXPECT_EQ(Fields(lines[1])[0], runId);  // both tests are one run

  const CliResult shown = Cli({"--simulate", "--show-run", runId});
  EXPECT_EQ(shown.status, 0) << shown.err;
  EXPECT_EQ(shown.err, "");
  EXPECT_EQ(shown.out, run.out);
  std::string upper = runId;
  for (char& c : upper)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(Cli({"--simulate", "--show-run", upper}).out, run.out);

  // The real units' history is another file, read without being made.
  const CliResult real = Cli({"--list-runs"});
  EXPECT_EQ(real.status, 0) << real.err;
  EXPECT_EQ(real.out, std::string(kListHeader) + "\n");
  EXPECT_FALSE(FileExists(RealDefault()));
}

TEST_F(CliHistory, RecordingChangesNeitherTheLogNorTheExitStatus) {
  const std::vector<std::vector<std::string>> runs = {
      {"--sim", "display-broken", "indic"},
      {"--abort-after", "3000", "func"},
      {"--set", "ShortTest=1", "all"},
      {"--sim", "absent ut", "--abort-after", "5000", "monitor"},
  };
  for (const std::vector<std::string>& args : runs) {
    std::vector<std::string> none = args;
    none.insert(none.begin(), {"--history", "none"});
    const CliResult without = Run(none);
    const CliResult with = Run(args);
    EXPECT_EQ(with.out, without.out) << args.back();
    EXPECT_EQ(with.err, without.err) << args.back();
    EXPECT_EQ(with.status, without.status) << args.back();
  }
  // Each run is there, with the verdicts the window shows.
  const std::vector<std::string> lines = Lines(Cli({"--simulate", "--list-runs"}).out);
  std::vector<std::string> verdicts;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string> fields = Fields(lines[i]);
    verdicts.push_back(fields[6] + ":" + fields[7]);
  }
  ASSERT_GE(verdicts.size(), 4u);
  EXPECT_EQ(verdicts.front(), "indic:Ошибка");
  EXPECT_EQ(verdicts[1], "func:Прервано");
  EXPECT_EQ(verdicts.back(), "monitor:Прервано");
  EXPECT_EQ(std::count(verdicts.begin(), verdicts.end(), "line:OK"), 1) << lines.size();
}

TEST_F(CliHistory, ListsAUnitsRunsAsCsvOrJson) {
  ASSERT_EQ(Run({"--sim", "serial ut 4711", "func"}).status, 0);
  ASSERT_EQ(Run({"--sim", "serial ut -5", "sound"}).status, 0);
  ASSERT_EQ(Run({"--sim", "serial ut 4711", "indic"}).status, 0);

  const std::vector<std::string> unit =
      Lines(Cli({"--simulate", "--list-runs", "--unit", "4711"}).out);
  ASSERT_EQ(unit.size(), 3u);
  EXPECT_EQ(Fields(unit[1])[6], "func");  // newest last
  EXPECT_EQ(Fields(unit[2])[6], "indic");
  const std::vector<std::string> negative =
      Lines(Cli({"--simulate", "--list-runs", "--unit", "-5"}).out);
  ASSERT_EQ(negative.size(), 2u);
  EXPECT_EQ(Fields(negative[1])[4], "-5");
  EXPECT_EQ(Lines(Cli({"--simulate", "--list-runs", "--unit", "4712"}).out),
            std::vector<std::string>{kListHeader});

  const CliResult json = Cli({"--simulate", "--list-runs", "--unit", "-5", "--format", "json"});
  EXPECT_EQ(json.status, 0);
  EXPECT_EQ(json.out.substr(0, 16), "[\n  {\"run_id\": \"");
  EXPECT_NE(json.out.find("\"unit_serial\": -5, \"reference_serial\": null, \"test\": \"sound\", "
                          "\"verdict\": \"OK\", \"bench\": \"virtual\"}\n]\n"),
            std::string::npos)
      << json.out;
}

TEST_F(CliHistory, ReadingBackSaysWhatIsWrongWithItsOwnExitStatus) {
  ASSERT_EQ(Run({"func"}).status, 0);
  const CliResult malformed = Cli({"--simulate", "--show-run", "42"});
  EXPECT_EQ(malformed.status, 64);
  EXPECT_EQ(malformed.out, "");
  EXPECT_EQ(malformed.err.find("vr512b-diag-cli: \"42\" не идентификатор запуска"), 0u)
      << malformed.err;
  const CliResult missing =
      Cli({"--simulate", "--show-run", "00000000-0000-4000-8000-000000000000"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err,
            "vr512b-diag-cli: запуска 00000000-0000-4000-8000-000000000000 нет в "
            "истории \"" +
                SimDefault() + "\"\n");
  const CliResult none = Cli({"--history", "none", "--list-runs"});
  EXPECT_EQ(none.status, 3);
  EXPECT_EQ(none.err, "vr512b-diag-cli: --history none: история запусков не ведется\n");
  const CliResult bad = Cli({"--history", "mysql://h/db", "--list-runs"});
  EXPECT_EQ(bad.status, 64);
  EXPECT_NE(bad.err.find("--history: неверный адрес истории \"mysql://h/db\""), std::string::npos);

  // The command line keeps a listing and a run of tests apart.
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--list-runs", "func"},
                                               {"--list-runs", "--show-run", "x"},
                                               {"--unit", "5", "func"},
                                               {"--list-runs", "--unit", "5x"},
                                               {"--list-runs", "--format", "xml"},
                                               {"--list-runs", "--report", "r.json"},
                                               {"--show-run"},
                                               {"--history"}}) {
    const CliResult refused = Cli(args);
    EXPECT_EQ(refused.status, 64) << args.back();
    EXPECT_NE(refused.err.find("Справка: vr512b-diag-cli --help"), std::string::npos);
  }
}

TEST_F(CliHistory, TheHistoryIsChosenByOptionThenVariableThenDefault) {
  const std::string option = dir_.File("option.sqlite");
  const std::string variable = dir_.File("variable.sqlite");
  ASSERT_EQ(Run({"--history", "sqlite:" + option, "func"}, {{"VR512B_HISTORY", variable}}).status,
            0);
  ASSERT_EQ(Run({"sound"}, {{"VR512B_HISTORY", variable}}).status, 0);
  // An empty variable counts as none set.
  ASSERT_EQ(Run({"indic"}, {{"VR512B_HISTORY", ""}}).status, 0);
  const auto tests = [this](const std::string& history) {
    std::string names;
    for (const std::string& line : Lines(Cli({"--history", history, "--list-runs"}).out))
      names += Fields(line)[6] + " ";
    return names;
  };
  EXPECT_EQ(tests(option), "test func ");
  EXPECT_EQ(tests(variable), "test sound ");
  EXPECT_EQ(tests(SimDefault()), "test indic ");
}

TEST_F(CliHistory, ABadAddressIsSaidAndTheRunRunsWithoutHistory) {
  const CliResult reference = Run({"--history", "none", "func"});
  const CliResult option = Run({"--history", "mysql://bench/history", "func"});
  EXPECT_EQ(option.status, reference.status);
  EXPECT_EQ(option.out, reference.out);
  EXPECT_EQ(option.err,
            "vr512b-diag-cli: --history: неверный адрес истории \"mysql://bench/history\": "
            "неизвестная схема \"mysql\"; ожидается путь к файлу, sqlite:ПУТЬ, postgresql://... "
            "или none; запуск не будет записан в историю\n" +
                reference.err);
  const CliResult variable = Run({"func"}, {{"VR512B_HISTORY", "postgresql:bench"}});
  EXPECT_EQ(variable.out, reference.out);
  EXPECT_EQ(variable.err.find("vr512b-diag-cli: VR512B_HISTORY: неверный адрес истории"), 0u)
      << variable.err;
  EXPECT_FALSE(FileExists(SimDefault()));
  EXPECT_FALSE(FileExists(dir_.File("data")));
}

TEST_F(CliHistory, AFileThatIsNotAHistoryIsSaidAndLeftAsItWas) {
  const std::string text = dir_.File("notes.txt");
  WriteFile(text, "Журнал стенда\nне база данных\n");
  const std::string foreign = dir_.File("stock.sqlite");
  SqliteExecute(foreign, "CREATE TABLE parts (name TEXT); INSERT INTO parts VALUES ('relay')");
  const std::string newer = dir_.File("newer.sqlite");
  ASSERT_EQ(Run({"--history", newer, "indic"}).status, 0);
  SqliteExecute(newer, "PRAGMA user_version = 99");

  const CliResult reference = Run({"--history", "none", "func"});
  for (const std::string& path : {text, foreign, newer}) {
    const std::string before = ReadFile(path);
    const CliResult run = Run({"--history", path, "func"});
    EXPECT_EQ(run.status, reference.status) << path;
    EXPECT_EQ(run.out, reference.out) << path;
    // Said as the run starts, and again when it could not be recorded.
    const std::string said = "vr512b-diag-cli: история \"" + path + "\": ";
    EXPECT_EQ(run.err.find(said), 0u) << run.err;
    EXPECT_NE(run.err.find("; запуск не записан\n"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(path), before) << path;
    EXPECT_FALSE(FileExists(path + "-wal")) << path;
    EXPECT_FALSE(FileExists(path + "-journal")) << path;

    const CliResult listed = Cli({"--history", path, "--list-runs"});
    EXPECT_EQ(listed.status, 3) << path;
    EXPECT_EQ(listed.out, "");
    EXPECT_EQ(listed.err.find(said), 0u) << listed.err;
  }
}

TEST_F(CliHistory, ADataFolderThatCannotBeMadeIsSaidAndTheRunRuns) {
  WriteFile(dir_.File("data"), "a file where the data folder should be");
  const CliResult reference = Run({"--history", "none", "sound"});
  const CliResult run = Run({"sound"});
  EXPECT_EQ(run.status, reference.status);
  EXPECT_EQ(run.out, reference.out);
  EXPECT_EQ(run.err.find("vr512b-diag-cli: история \"" + SimDefault() + "\": "), 0u) << run.err;
  EXPECT_EQ(ReadFile(dir_.File("data")), "a file where the data folder should be");
}

TEST_F(CliHistory, TheReportAndTheHistoryHoldTheSameRun) {
  const std::string report = dir_.File("run.json");
  ASSERT_EQ(Run({"--report", report, "func", "sound"}).status, 0);
  const std::string json = ReadFile(report);
  const std::vector<std::string> lines = Lines(Cli({"--simulate", "--list-runs"}).out);
  ASSERT_EQ(lines.size(), 3u);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string> fields = Fields(lines[i]);
    EXPECT_NE(json.find("\"started\": \"" + fields[1] + "\""), std::string::npos) << fields[1];
    EXPECT_NE(json.find("\"finished\": \"" + fields[2] + "\""), std::string::npos) << fields[2];
  }
}

TEST_F(CliHistory, ARunThatNeverStartsIsNotRecorded) {
  EXPECT_EQ(Run({"--sim", "bogus", "func"}).status, 64);
  const CliResult noHid =
      RunCliProcess({"--settings", dir_.File("real.reg"), "func"},
                    {{"XDG_DATA_HOME", dir_.File("data")},
                     {"VR512B_HISTORY", std::nullopt},
                     {"VR512B_HIDAPI_LIBRARY", dir_.File("no-such-hidapi.so")}});
  EXPECT_EQ(noHid.status, 3);
  EXPECT_FALSE(FileExists(dir_.File("data")));
}

#if VR512B_HISTORY_POSTGRES
// The server's socket takes the runner's connection and reads, from the
// runner's own process, what `ps` shows of its command line.
TEST_F(CliHistory, ThePasswordOfTheHistoryNeverShowsInPsNorInWhatIsSaid) {
  std::string commandLine;
  CliResult result;
  {
    const SilentServer server(dir_.path(), [&](pid_t runner) {
      commandLine = ReadFile("/proc/" + std::to_string(runner) + "/cmdline");
      ::kill(runner, SIGTERM);
    });
    result = Cli({"--list-runs", "--history", server.Uri("s3cret")});
  }
  ASSERT_NE(commandLine.find("--history"), std::string::npos) << "the runner never connected";
  EXPECT_EQ(commandLine.find("s3cret"), std::string::npos) << commandLine;
  EXPECT_NE(result.status, 0);
  EXPECT_EQ(result.err.find("s3cret"), std::string::npos) << result.err;
}
#endif

// A history written by the previous version of the runner (data/README.md):
// every run it holds is listed and shown as that version printed it, and
// this version records into it.
TEST_F(CliHistory, AHistoryWrittenByThePreviousVersionIsReadAndExtended) {
  const std::string data = VR512B_HISTORY_DATA;
  const std::string path = dir_.File("v2.sqlite");
  WriteFile(path, ReadFile(data + "/v2-runs.sqlite"));

  // The old list, each row with a bench nobody knows.
  const std::vector<std::string> old = Lines(ReadFile(data + "/v2-list.csv"));
  ASSERT_EQ(old.size(), 5u);
  const CliResult listed = Cli({"--history", path, "--list-runs"});
  ASSERT_EQ(listed.status, 0) << listed.err;
  EXPECT_EQ(listed.err, "");
  std::vector<std::string> expected{kListHeader};
  for (std::size_t i = 1; i < old.size(); ++i)
    expected.push_back(old[i] + ",");
  EXPECT_EQ(Lines(listed.out), expected);

  // Every run's log byte for byte, its exit status aside.
  const struct {
    std::size_t row;
    const char* log;
  } runs[] = {{1, "v2-ok.log"}, {2, "v2-failed.log"}, {4, "v2-aborted.log"}};
  for (const auto& run : runs) {
    const CliResult shown = Cli({"--history", path, "--show-run", Fields(old[run.row])[0]});
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(shown.err, "");
    EXPECT_EQ(shown.out, ReadFile(data + "/" + run.log)) << run.log;
  }

  const CliResult recorded = Run({"--history", path, "--sim", "display-broken", "indic"});
  EXPECT_EQ(recorded.status, 1);
  EXPECT_EQ(recorded.err.find("vr512b-diag-cli"), std::string::npos) << recorded.err;
  const std::vector<std::string> now = Lines(Cli({"--history", path, "--list-runs"}).out);
  ASSERT_EQ(now.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(now.begin(), now.end() - 1), expected);
  const std::vector<std::string> added = Fields(now[5]);
  ASSERT_EQ(added.size(), 9u) << now[5];
  EXPECT_EQ(added[6] + ":" + added[7] + ":" + added[8], "indic:Ошибка:virtual");
  EXPECT_EQ(Cli({"--history", path, "--show-run", added[0]}).out, recorded.out);
}

// A log changed on disk, even to one of the same length, is reported and
// never printed as if whole.
TEST_F(CliHistory, ADamagedLogIsReportedNotPrinted) {
  const char* damages[] = {
      "UPDATE run_logs SET log = '=' || substr(log, 2)",
      "UPDATE test_logs SET log = '=' || substr(log, 2)",
  };
  for (const char* damage : damages) {
    const std::string path = dir_.File(std::to_string(runs_) + ".sqlite");
    ASSERT_EQ(Run({"--history", path, "func"}).status, 0);
    const std::string runId = Fields(Lines(Cli({"--history", path, "--list-runs"}).out)[1])[0];
    SqliteExecute(path, damage);

    const CliResult shown = Cli({"--history", path, "--show-run", runId});
    EXPECT_NE(shown.status, 0) << damage;
    EXPECT_TRUE(shown.out.empty()) << damage << ": " << shown.out.substr(0, 80);
    EXPECT_NE(shown.err.find("запуск " + runId + " в истории повреждён"), std::string::npos)
        << shown.err;
  }
}

// A file with a damaged page takes no more runs, and is left as it was.
TEST_F(CliHistory, ADamagedFileIsNeverWrittenTo) {
  const std::string path = dir_.File("damaged.sqlite");
  ASSERT_EQ(Run({"--history", path, "func"}).status, 0);
  SqliteExecute(path, "PRAGMA wal_checkpoint(TRUNCATE)");
  // The last byte of the index by start time: its one entry now points at
  // another row, a page that integrity_check finds wrong.
  const std::int64_t pageSize = SqliteQueryInt(path, "PRAGMA page_size");
  const std::int64_t page =
      SqliteQueryInt(path, "SELECT rootpage FROM sqlite_master WHERE name = 'runs_by_start'");
  std::string bytes = ReadFile(path);
  bytes[static_cast<std::size_t>(page * pageSize - 1)] ^= 0x04;
  WriteFile(path, bytes);
  ASSERT_NE(SqliteQueryColumn(path, "PRAGMA integrity_check", 0), "ok\n");

  const CliResult run = Run({"--history", path, "func"});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.err.find("файл повреждён"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("запуск не записан"), std::string::npos) << run.err;
  EXPECT_EQ(SqliteQueryInt(path, "SELECT count(*) FROM runs"), 1);
  EXPECT_EQ(ReadFile(path), bytes);
}

// Another program holds the history when the run ends: the run's log and
// exit status stay its own, the run waits beside the file, and the next read
// puts it into the file.
TEST_F(CliHistory, ARunMeetingTheHistoryHeldWaitsBesideItAndIsListedOnceItIsFree) {
  const std::string history = dir_.File("held.sqlite");
  ASSERT_EQ(Run({"--history", history, "func"}).status, 0);
  CliResult kept;
  {
    const HeldSqliteFile held(history);
    kept = Run({"--history", history, "func"});
  }
  EXPECT_EQ(kept.status, 0);
  EXPECT_NE(kept.err.find("файл истории занят другой программой, не освободился за 3 с (database "
                          "is locked); запуск сохранён в \"" +
                          history + "-spool\""),
            std::string::npos)
      << kept.err;
  const CliResult listed = Cli({"--list-runs", "--history", history});
  EXPECT_EQ(listed.status, 0) << listed.err;
  EXPECT_EQ(Lines(listed.out).size(), 3u) << listed.out;
  EXPECT_NE(listed.err.find("в историю записаны запуски, ждавшие в"), std::string::npos)
      << listed.err;
}

}  // namespace
}  // namespace vr512b::history::testing
