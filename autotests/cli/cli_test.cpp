#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "autotests/support/cli_in_process.h"
#include "autotests/support/test_support.h"
#include "cli/cli_options.h"
#include "cli/cli_runner.h"

namespace vr512b {
namespace {

using cli::ParseCommandLine;
using testing::Lines;
using RunResult = testing::CliRun;

RunResult RunArgs(const std::vector<std::string>& args, const std::string& input = "") {
  return testing::RunCliInProcess(args, input);
}

class CliTest : public ::testing::Test {
 protected:
  std::vector<std::string> Sim(std::vector<std::string> more) {
    std::vector<std::string> args = {"--simulate", "--virtual-time", "--settings", settings};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }
  testing::TempDir dir;
  std::string settings = dir.File("bench.reg");
};

TEST_F(CliTest, UsageErrorsExitWith64) {
  EXPECT_EQ(RunArgs({}).status, cli::kExitUsage);
  EXPECT_EQ(RunArgs({"bogus"}).status, cli::kExitUsage);
  EXPECT_EQ(RunArgs({"--frobnicate", "func"}).status, cli::kExitUsage);
  EXPECT_EQ(RunArgs({"--virtual-time", "func"}).status, cli::kExitUsage);
  EXPECT_EQ(RunArgs({"--sim", "absent ut", "func"}).status, cli::kExitUsage);
  EXPECT_EQ(RunArgs({"--answer", "maybe", "func"}).status, cli::kExitUsage);
  EXPECT_EQ(RunArgs({"--abort-after", "soon", "func"}).status, cli::kExitUsage);
  EXPECT_EQ(RunArgs({"--settings"}).status, cli::kExitUsage);
  EXPECT_EQ(RunArgs(Sim({"--sim", "unplug ut before 3", "func"})).status, cli::kExitUsage);
  EXPECT_EQ(RunArgs(Sim({"--set", "Sound=yes", "func"})).status, cli::kExitUsage);
  EXPECT_EQ(RunArgs(Sim({"--set", "Colour=1", "func"})).status, cli::kExitUsage);
}

// Each option belongs to the modes the option table gives it: a run of tests,
// --list-runs or --show-run; elsewhere it is a usage error that names it.
TEST_F(CliTest, OptionsOutsideTheirModeAreRefused) {
  const struct {
    std::vector<std::string> args;
    std::string error;
  } cases[] = {
      {{"--list-runs", "--trace", "x.pcapng"}, "--trace не используется с --list-runs"},
      {{"--show-run", "id", "--trace", "x.pcapng"}, "--trace не используется с --show-run"},
      {{"--list-runs", "--report", "r.json"}, "--report не используется с --list-runs"},
      {{"--show-run", "id", "--sim", "busy ut"}, "--sim не используется с --show-run"},
      {{"--show-run", "id", "--format", "json"}, "--format работает только с --list-runs"},
      {{"--unit", "5", "func"}, "--unit работает только с --list-runs"},
      {{"--list-runs", "func"}, "с --list-runs тесты не указываются"},
      {{"--list-runs", "--show-run", "id"}, "--list-runs и --show-run вместе не используются"},
  };
  for (const auto& c : cases) {
    if (!cli::ParseCommandLine({"--list-runs"}).error.empty())
      GTEST_SKIP() << "a build without the run history";
    EXPECT_EQ(ParseCommandLine(c.args).error, c.error) << c.args.back();
  }
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--simulate", "--history", "none", "--list-runs", "--unit", "7",
                                 "--format", "json"},
        {"--history", "none", "--show-run", "id"},
        {"--simulate", "--virtual-time", "--trace", "t.pcapng", "--report", "r.json", "func"}})
    EXPECT_EQ(ParseCommandLine(args).error, "") << args.back();
}

TEST_F(CliTest, HelpAndVersion) {
  const RunResult help = RunArgs({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--abort-after"), std::string::npos);
  const RunResult version = RunArgs({"--version"});
  EXPECT_EQ(version.out, "vr512b-diag-cli 2.0.0.3\n");
}

TEST_F(CliTest, NoHidLibraryMeansTheConsoleCannotStart) {
  ::setenv("VR512B_HIDAPI_LIBRARY", "/nonexistent/libhidapi.so", 1);
  const RunResult run = RunArgs({"--settings", settings, "--answer", "no", "func"});
  ::unsetenv("VR512B_HIDAPI_LIBRARY");
  EXPECT_EQ(run.status, cli::kExitCannotStart);
  EXPECT_EQ(run.err, "Не могу загрузить библиотеку hid.dll\n");
  EXPECT_EQ(run.out, "");
}

TEST_F(CliTest, FirstThreeTestsPassOnTheVirtualBench) {
  const RunResult run = RunArgs(Sim({"func", "indic", "sound"}));
  EXPECT_EQ(run.status, 0) << run.err;
  const auto lines = Lines(run.out);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[1], ">>>>>--Проверка функционирования--<<<<<");
  EXPECT_NE(run.out.find(">>>>>--Проверка индикации--<<<<<\n"), std::string::npos);
  EXPECT_NE(run.out.find(">>>>>----Проверка звука----<<<<<\n"), std::string::npos);
  EXPECT_NE(run.err.find("STFunc: OK\nSTIndic: OK\nSTSound: OK\n"), std::string::npos);
  // The store was seeded for the virtual bench on first use.
  EXPECT_NE(testing::ReadFile(settings).find("\"NameVR512BSample\"=\"10001\""), std::string::npos);
}

TEST_F(CliTest, ExitStatusFollowsTheVerdicts) {
  EXPECT_EQ(RunArgs(Sim({"--sim", "absent ut", "func"})).status, cli::kExitTestFailed);
  const RunResult refused = RunArgs(Sim({"--answer", "no", "indic"}));
  EXPECT_EQ(refused.status, cli::kExitTestFailed);
  EXPECT_NE(refused.err.find("STIndic: Ошибка"), std::string::npos);
  const RunResult aborted = RunArgs(Sim({"--abort-after", "3000", "func"}));
  EXPECT_EQ(aborted.status, cli::kExitAborted);
  EXPECT_NE(aborted.err.find("STFunc: Прервано"), std::string::npos);
  // A failure wins over an abort.
  EXPECT_EQ(RunArgs(Sim({"--abort-after", "3000", "func", "--sim", "absent ref", "tr"})).status,
            cli::kExitTestFailed);
}

TEST_F(CliTest, OverridesApplyToThisRunOnly) {
  const RunResult run = RunArgs(Sim({"--set", "NameVR512BSample=", "tr"}));
  EXPECT_EQ(run.status, cli::kExitTestFailed);
  EXPECT_NE(run.out.find("Серийный номер эталонного УПО  не задан\n"), std::string::npos);
  EXPECT_NE(testing::ReadFile(settings).find("\"NameVR512BSample\"=\"10001\""), std::string::npos);
}

TEST_F(CliTest, AskModeReadsAnswersFromTheTerminal) {
  const RunResult run = RunArgs(Sim({"--answer", "ask", "indic"}), "да\nн\n");
  EXPECT_EQ(run.status, cli::kExitTestFailed);
  EXPECT_NE(run.err.find("Проверка: На дисплей проверяемого УПО"), std::string::npos);
  EXPECT_NE(run.err.find("Ответ: Да"), std::string::npos);
  EXPECT_NE(run.err.find("Ответ: Нет"), std::string::npos);
}

}  // namespace
}  // namespace vr512b
