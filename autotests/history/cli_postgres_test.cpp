// The runner recording into a real PostgreSQL server (the CTest fixture's):
// a run stored and read back byte for byte, and a login the server refuses
// said on stderr while the run runs, its record kept and sent later.

#include <gtest/gtest.h>

#include "autotests/history/cli_process.h"
#include "autotests/history/history_test_support.h"
#include "autotests/history/pg_database_test.h"

namespace vr512b::history::testing {
namespace {

class CliPostgres : public PgDatabaseTest {
 protected:
  EnvChanges Env() const {
    return {{"HOME", dir_.File("home")},
            {"XDG_DATA_HOME", dir_.File("data")},
            {"VR512B_HISTORY", std::nullopt}};
  }
  CliResult Run(const std::string& history, const std::string& test) {
    return RunCliProcess(
        {"--simulate", "--virtual-time", "--settings",
         dir_.File("p" + std::to_string(++runs_) + ".reg"), "--history", history, test},
        Env());
  }
  CliResult Cli(const std::vector<std::string>& args) { return RunCliProcess(args, Env()); }

  int runs_ = 0;
};

TEST_F(CliPostgres, ARunStoredOnTheServerIsPrintedBackByteForByte) {
  const std::string uri = server_->Uri(database_);
  const CliResult run = Run(uri, "func");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err.find("vr512b-diag-cli"), std::string::npos) << run.err;

  const CliResult listed = Cli({"--history", uri, "--list-runs", "--unit", "10002"});
  ASSERT_EQ(listed.status, 0) << listed.err;
  const std::vector<std::string> lines = Lines(listed.out);
  ASSERT_EQ(lines.size(), 2u) << listed.out;
  EXPECT_EQ(lines[0], kListHeader);
  EXPECT_NE(lines[1].find(",10002,,func,OK"), std::string::npos) << lines[1];
  const CliResult shown = Cli({"--history", uri, "--show-run", lines[1].substr(0, 36)});
  EXPECT_EQ(shown.status, 0) << shown.err;
  EXPECT_EQ(shown.out, run.out);
  // The server's spool is never needed, so never made.
  EXPECT_FALSE(FileExists(dir_.File("data/Korvex/vr512b-history-sim-spool.sqlite")));
}

TEST_F(CliPostgres, ARefusedLoginIsSaidAndTheRunIsSentOnceTheLoginWorks) {
  const std::string role = "technician_" + database_;
  server_->Execute(database_, "CREATE ROLE " + role + " LOGIN PASSWORD 'right'");
  server_->Execute(database_, "GRANT CREATE ON DATABASE " + database_ + " TO " + role);
  const CliResult reference = Run("none", "sound");

  const CliResult refused = Run(server_->Uri(database_, role, "wrong"), "sound");
  EXPECT_EQ(refused.status, reference.status);
  EXPECT_EQ(refused.out, reference.out);
  // As the run starts, and again at its end, with what became of the run.
  const std::string server = "vr512b-diag-cli: сервер истории " + role + "@";
  EXPECT_EQ(refused.err.find(server), 0u) << refused.err;
  EXPECT_NE(refused.err.find("отказал во входе"), std::string::npos) << refused.err;
  EXPECT_NE(refused.err.find("password authentication failed"), std::string::npos);
  EXPECT_NE(refused.err.find("; запуск сохранён локально в \"" +
                             dir_.File("data/Korvex/vr512b-history-sim-spool.sqlite") + "\""),
            std::string::npos)
      << refused.err;
  EXPECT_NE(refused.err.find(reference.err), std::string::npos);

  // Listing with the right password sends the waiting run first, once.
  const std::string right = server_->Uri(database_, role, "right");
  const CliResult listed = Cli({"--simulate", "--history", right, "--list-runs"});
  EXPECT_EQ(listed.status, 0) << listed.err;
  EXPECT_EQ(listed.err,
            "vr512b-diag-cli: на сервер истории отправлены запуски, сохранённые локально: 1\n");
  const std::vector<std::string> lines = Lines(listed.out);
  ASSERT_EQ(lines.size(), 2u) << listed.out;
  EXPECT_NE(lines[1].find(",sound,OK"), std::string::npos);
  EXPECT_EQ(Cli({"--history", right, "--show-run", lines[1].substr(0, 36)}).out, refused.out);
  EXPECT_EQ(Lines(Cli({"--simulate", "--history", right, "--list-runs"}).out).size(), 2u);
}

}  // namespace
}  // namespace vr512b::history::testing
