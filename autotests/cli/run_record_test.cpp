// The run record of vr512b-diag-cli --report: a record that matches the run on
// the virtual bench, also when the run fails, is interrupted or never starts.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "autotests/support/cli_in_process.h"
#include "autotests/support/json.h"
#include "autotests/support/small_disk.h"
#include "autotests/support/test_support.h"
#include "cli/cli_options.h"
#include "cli/cli_runner.h"
#include "cli/run_reporter.h"

namespace vr512b {
namespace {

using testing::Json;
using testing::Lines;
using RunOutcome = testing::CliRun;

Json ParseRecord(const std::string& text) {
  Json value;
  EXPECT_TRUE(testing::ParseJson(text, value));
  return value;
}

// ------------------------------------------------------------------- runs

class RunRecordTest : public ::testing::Test {
 protected:
  RunOutcome Launch(std::vector<std::string> args,
                    const volatile std::sig_atomic_t* abort = nullptr) {
    const std::vector<std::string> common = {"--simulate",          "--virtual-time", "--settings",
                                             dir.File("bench.reg"), "--report",       report};
    args.insert(args.begin(), common.begin(), common.end());
    EXPECT_EQ(cli::ParseCommandLine(args).error, "");
    return testing::RunCliInProcess(args, "", abort);
  }
  Json Record() { return ParseRecord(testing::ReadFile(report)); }
  static void ExpectTime(const Json& value) {
    ASSERT_TRUE(value.is_string()) << value.dump();
    const std::string t = value.get<std::string>();
    ASSERT_EQ(t.size(), 24u) << t;
    EXPECT_EQ(t.substr(4, 1) + t.substr(7, 1) + t.substr(10, 1) + t.substr(13, 1) +
                  t.substr(16, 1) + t.substr(19, 1) + t.substr(23, 1),
              "--T::.Z")
        << t;
  }

  testing::TempDir dir;
  std::string report = dir.File("run.json");
};

TEST_F(RunRecordTest, PassingRunIsRecordedAsItsLogShowsIt) {
  const RunOutcome run = Launch({"--set", "Sound=1", "func", "rx"});
  ASSERT_EQ(run.status, cli::kExitOk) << run.err;
  Json r = Record();

  EXPECT_EQ(r["recordFormat"], 1);
  EXPECT_EQ(r["program"]["name"], "vr512b-diag-cli");
  EXPECT_EQ(r["program"]["version"], "2.0.0.3");
  EXPECT_EQ(r["mode"]["bench"], "virtual-bench");
  EXPECT_EQ(r["mode"]["virtualTime"], true);
  EXPECT_EQ(r["mode"]["answers"], "auto");
  EXPECT_EQ(r["requestedTests"].get<std::vector<std::string>>(),
            (std::vector<std::string>{"func", "rx"}));
  EXPECT_EQ(r["interrupted"], false);
  EXPECT_EQ(r["exitStatus"], 0);

  // All thirteen parameters in force: the seeded store plus this run's --set.
  Json& p = r["parameters"];
  EXPECT_EQ(testing::MemberNames(p),
            (std::vector<std::string>{"NameVR512BSample", "PhoneSample", "Phone", "IDContact",
                                      "LowSpeed", "Secsoa", "Korvex", "Presto", "ShortTest",
                                      "Sound", "SoundSample", "KorvexTestMsg", "CBNoTone"}));
  EXPECT_EQ(p["NameVR512BSample"], "10001");
  EXPECT_EQ(p["PhoneSample"], "2001");
  EXPECT_EQ(p["Phone"], "2002");
  EXPECT_EQ(p["Sound"], true);
  EXPECT_TRUE(p["Sound"].is_boolean());
  EXPECT_EQ(p["ShortTest"], false);

  // The unit under test first, whichever test opened which.
  ASSERT_EQ(r["units"].size(), 2u);
  EXPECT_EQ(r["units"][0]["role"], "ut");
  EXPECT_EQ(r["units"][0]["roleName"], "проверяемое");
  EXPECT_EQ(r["units"][0]["serialNumber"], 10002);
  EXPECT_EQ(r["units"][1]["role"], "ref");
  EXPECT_EQ(r["units"][1]["roleName"], "эталонное");
  EXPECT_EQ(r["units"][1]["serialNumber"], 10001);

  // The tests' logs are stdout, cut at the test boundaries.
  Json& tests = r["tests"];
  ASSERT_EQ(tests.size(), 2u);
  EXPECT_EQ(tests[0]["id"], "func");
  EXPECT_EQ(tests[0]["caption"], "Функционирование");
  EXPECT_EQ(tests[1]["id"], "rx");
  EXPECT_EQ(tests[1]["caption"], "Прием данных");
  std::vector<std::string> logged;
  for (Json& test : tests) {
    EXPECT_EQ(test["verdict"], "OK");
    const std::vector<std::string> log = test["log"].get<std::vector<std::string>>();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[0], log[2]);
    EXPECT_EQ(log.back(), "");
    logged.insert(logged.end(), log.begin(), log.end());
  }
  EXPECT_EQ(tests[0]["log"][1], ">>>>>--Проверка функционирования--<<<<<");
  EXPECT_EQ(logged, Lines(run.out));
  EXPECT_TRUE(r["logOutsideTests"].empty());

  // Wall-clock times in order (ISO text sorts as time does).
  for (const Json* time : {&r["started"], &r["finished"], &tests[0]["started"],
                           &tests[0]["finished"], &tests[1]["started"], &tests[1]["finished"]})
    ExpectTime(*time);
  EXPECT_LE(r["started"].get<std::string>(), tests[0]["started"].get<std::string>());
  EXPECT_LE(tests[0]["finished"].get<std::string>(), tests[1]["started"].get<std::string>());
  EXPECT_LE(tests[1]["finished"].get<std::string>(), r["finished"].get<std::string>());
}

TEST_F(RunRecordTest, UnitsKeepTheIdentityLastReadEvenAfterAFailedOpen) {
  // The unit under test goes away during the second test; the third cannot
  // open it at all, so the link no longer knows it, but the record does.
  const RunOutcome run = Launch({"--sim", "serial ut 4321", "--sim", "version ut 0102", "--sim",
                                 "unplug ut after 800", "func", "func", "func"});
  EXPECT_EQ(run.status, cli::kExitTestFailed);
  EXPECT_NE(run.out.find("Не удалось открыть проверяемое УПО"), std::string::npos);
  Json r = Record();
  ASSERT_EQ(r["units"].size(), 1u);
  Json& ut = r["units"][0];
  EXPECT_EQ(ut["role"], "ut");
  EXPECT_EQ(ut["serialNumber"], 4321);
  EXPECT_EQ(ut["version"], "1.2");
  EXPECT_EQ(ut["versionCode"], 0x0102);
  EXPECT_EQ(r["mode"]["benchScenarios"].get<std::vector<std::string>>(),
            (std::vector<std::string>{"serial ut 4321", "version ut 0102", "unplug ut after 800"}));
  std::vector<std::string> verdicts;
  for (Json& test : r["tests"])
    verdicts.push_back(test["verdict"].get<std::string>());
  EXPECT_EQ(verdicts, (std::vector<std::string>{"OK", "Ошибка", "Ошибка"}));
  EXPECT_EQ(r["exitStatus"], cli::kExitTestFailed);
}

TEST_F(RunRecordTest, InterruptedRunIsRecordedUpToTheAbortedTest) {
  // An interrupt that is already pending presses Abort at the first message
  // pass; the run stops there and the record is still written.
  const volatile std::sig_atomic_t interrupt = 1;
  const RunOutcome run = Launch({"func", "indic"}, &interrupt);
  EXPECT_EQ(run.status, cli::kExitAborted);
  Json r = Record();
  EXPECT_EQ(r["interrupted"], true);
  EXPECT_EQ(r["exitStatus"], cli::kExitAborted);
  ASSERT_EQ(r["tests"].size(), 1u);
  EXPECT_EQ(r["tests"][0]["verdict"], "Прервано");
  EXPECT_EQ(r["tests"][0]["log"].get<std::vector<std::string>>(), Lines(run.out));
  EXPECT_EQ(r["requestedTests"].size(), 2u);
}

TEST_F(RunRecordTest, NoRecordWhenTheConsoleNeverStarts) {
  // A record path in a missing folder is refused before any test runs.
  report = dir.File("missing/run.json");
  const RunOutcome refused = Launch({"func"});
  EXPECT_EQ(refused.status, cli::kExitCannotStart);
  EXPECT_EQ(refused.out, "");
  EXPECT_NE(refused.err.find("--report " + report), std::string::npos);

  // A usage error found after parsing leaves an older record as it was.
  report = dir.File("run.json");
  testing::WriteFile(report, "older record");
  EXPECT_EQ(Launch({"--set", "Colour=1", "func"}).status, cli::kExitUsage);
  EXPECT_EQ(Launch({"--sim", "unplug ut before 3", "func"}).status, cli::kExitUsage);
  EXPECT_EQ(testing::ReadFile(report), "older record");
}

// ------------------------------------------------------- the file system

mode_t TypeOf(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 ? (info.st_mode & S_IFMT) : 0;
}

TEST_F(RunRecordTest, OnlyARegularFileTakesTheRecord) {
  struct Node {
    std::string name;
    mode_t type;
    std::string refusal;
  };
  std::vector<Node> nodes = {{"folder", S_IFDIR, "это папка, а не обычный файл"},
                             {"fifo", S_IFIFO, "это именованный канал, а не обычный файл"}};
  std::filesystem::create_directory(dir.File("folder"));
  ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0644), 0);
  // As root, a node that behaves as /dev/null would become a regular file.
  if (::mknod(dir.File("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0)
    nodes.push_back({"null", S_IFCHR, "это устройство, а не обычный файл"});
  for (const Node& node : nodes) {
    SCOPED_TRACE(node.name);
    report = dir.File(node.name);
    const RunOutcome run = Launch({"func"});
    EXPECT_EQ(run.status, cli::kExitCannotStart);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("vr512b-diag-cli: --report " + report + ": " + node.refusal),
              std::string::npos)
        << run.err;
    EXPECT_EQ(TypeOf(report), node.type);
  }

  // A link is written through and stays; the file keeps its mode.
  std::filesystem::create_directory(dir.File("records"));
  testing::WriteFile(dir.File("records/run.json"), "older record");
  ASSERT_EQ(::chmod(dir.File("records/run.json").c_str(), 0444), 0);
  std::filesystem::create_symlink("records/run.json", dir.File("latest.json"));
  report = dir.File("latest.json");
  EXPECT_EQ(Launch({"func"}).status, cli::kExitOk);
  EXPECT_EQ(TypeOf(report), S_IFLNK);
  EXPECT_EQ(Record()["exitStatus"], cli::kExitOk);
  struct stat info {};
  ASSERT_EQ(::stat(dir.File("records/run.json").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0444u);
}

TEST_F(RunRecordTest, ARecordOnAFullDiskEndsTheRunWithItsOwnStatus) {
  testing::SmallDisk disk;
  if (!disk.unavailable().empty())
    GTEST_SKIP() << disk.unavailable();
  report = disk.File("run.json");
  testing::WriteFile(report, "older record");
  ASSERT_TRUE(disk.Fill());
  // A passing, a failing and an interrupted run: each ends 4, and the older
  // record is not taken for theirs.
  const volatile std::sig_atomic_t interrupt = 1;
  const std::vector<std::pair<std::vector<std::string>, const volatile std::sig_atomic_t*>> runs = {
      {{"func"}, nullptr}, {{"--sim", "absent ut", "func"}, nullptr}, {{"func"}, &interrupt}};
  for (const auto& [args, abort] : runs) {
    const RunOutcome run = Launch(args, abort);
    EXPECT_EQ(run.status, cli::kExitNotWritten);
    EXPECT_NE(run.err.find("vr512b-diag-cli: --report " + report +
                           ": протокол запуска не записан: No space left on device\n"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(testing::ReadFile(report), "older record");
  }
}

TEST_F(RunRecordTest, ALogThatCouldNotBeWrittenIsInTheRecordsStatus) {
  // The record is written; the log was not, and the record says so.
  const cli::ParseResult parsed =
      cli::ParseCommandLine({"--simulate", "--virtual-time", "--settings", dir.File("bench.reg"),
                             "--report", report, "func"});
  std::ostream nowhere(nullptr);
  std::ostringstream err;
  std::istringstream in;
  EXPECT_EQ(cli::RunCli(parsed.options, {nowhere, err, in, nullptr}), cli::kExitNotWritten);
  EXPECT_NE(err.str().find("vr512b-diag-cli: протокол проверки не записан в стандартный вывод: "),
            std::string::npos)
      << err.str();
  EXPECT_EQ(Record()["exitStatus"], cli::kExitNotWritten);
  EXPECT_EQ(Record()["tests"][0]["verdict"], "OK");
}

#ifndef _WIN32
TEST_F(RunRecordTest, NoRecordWithoutTheHidLibrary) {
  testing::WriteFile(report, "older record");
  ::setenv("VR512B_HIDAPI_LIBRARY", "/nonexistent/libhidapi.so", 1);
  const int status =
      testing::RunCliInProcess({"--settings", dir.File("p.reg"), "--report", report, "func"})
          .status;
  ::unsetenv("VR512B_HIDAPI_LIBRARY");
  EXPECT_EQ(status, cli::kExitCannotStart);
  EXPECT_EQ(testing::ReadFile(report), "older record");
}
#endif

}  // namespace
}  // namespace vr512b
