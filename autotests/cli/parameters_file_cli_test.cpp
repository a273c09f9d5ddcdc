// The runner and the parameters file as users hand it one: a file that is none
// of ours, a value of the wrong type, an empty path, a read-only config folder
// on the virtual bench. The runner never writes the file, and says what it
// found.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "autotests/support/cli_in_process.h"
#include "autotests/support/json.h"
#include "autotests/support/reg_samples.h"
#include "autotests/support/test_support.h"
#include "autotests/support/unprivileged.h"
#include "cli/cli_options.h"
#include "cli/cli_runner.h"

namespace vr512b {
namespace {

namespace fs = std::filesystem;
using testing::Json;
using RunResult = testing::CliRun;

RunResult RunRunner(const std::vector<std::string>& args) {
  return testing::RunCliInProcess(args);
}

std::string FirstLine(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

TEST(ParametersFileCli, AFileThatIsNoParametersFileStopsTheRunUntouched) {
  testing::TempDir dir;
  const std::string path = dir.File("hosts");
  const std::string hosts = "127.0.0.1\tlocalhost\n";
  testing::WriteFile(path, hosts);
  const RunResult run = RunRunner({"--simulate", "--virtual-time", "--settings", path, "func"});
  EXPECT_EQ(run.status, cli::kExitCannotStart);
  EXPECT_EQ(run.err, "vr512b-diag-cli: --settings: Файл «" + path +
                         "» не является файлом параметров тестирования: это не файл реестра "
                         "(первая строка не «Windows Registry Editor Version 5.00» и не "
                         "«REGEDIT4»). Файл оставлен без изменений.\n");
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(testing::ReadFile(path), hosts);
  EXPECT_FALSE(fs::exists(path + ".lock"));
}

TEST(ParametersFileCli, AWrongTypeIsReportedAndTheRunHasTheWindowsValues) {
  testing::TempDir dir;
  const std::string path = dir.File("typed.reg");
  const std::string file = testing::kWrongTypeFile;
  testing::WriteFile(path, file);
  const std::string report = dir.File("run.json");
  const RunResult run =
      RunRunner({"--simulate", "--virtual-time", "--settings", path, "--report", report, "func"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(FirstLine(run.err), "Параметры тестирования: Invalid data type for 'PhoneSample'");
  EXPECT_EQ(testing::ReadFile(path), file);

  // The values the window shows on the same file (autotests/gui).
  Json record;
  ASSERT_TRUE(testing::ParseJson(testing::ReadFile(report), record));
  Json& p = record["parameters"];
  EXPECT_EQ(p["NameVR512BSample"], "10001");
  EXPECT_EQ(p["PhoneSample"], "");
  EXPECT_EQ(p["Phone"], "2002");
  const std::pair<const char*, bool> flags[] = {
      {"IDContact", false},    {"LowSpeed", true},  {"Secsoa", true}, {"Korvex", false},
      {"Presto", true},        {"ShortTest", true}, {"Sound", false}, {"SoundSample", true},
      {"KorvexTestMsg", true}, {"CBNoTone", true}};
  for (const auto& [name, value] : flags)
    EXPECT_EQ(p[name], value) << name;
}

TEST(ParametersFileCli, AnEmptySettingsPathIsAUsageError) {
  const RunResult run = RunRunner({"--settings", "", "func"});
  EXPECT_EQ(run.status, cli::kExitUsage);
  EXPECT_EQ(run.err, "--settings: не указан файл");
}

TEST(ParametersFileCli, AReadOnlyConfigFolderOnTheBenchSaysWhy) {
  testing::TempDir dir;
  fs::permissions(dir.path(), fs::perms(0755));
  const std::string folder = dir.File("Korvex");
  fs::create_directory(folder);
  fs::permissions(folder, fs::perms(0555));
  const std::string path = folder + "/DiagVR512B-sim.reg";
  RunResult run;
  {
    const testing::AsUnprivilegedUser user;
    ASSERT_TRUE(user.Effective());
    run = RunRunner({"--simulate", "--virtual-time", "--settings", path, "tr"});
  }
  fs::permissions(folder, fs::perms(0755));
  EXPECT_EQ(FirstLine(run.err),
            "vr512b-diag-cli: Не удалось создать параметры виртуального стенда "
            "в «" +
                path +
                "»: Permission denied. Без них эталонное УПО стенда не будет "
                "найдено.");
  // The run goes on, and fails where the hint said it would.
  EXPECT_EQ(run.status, cli::kExitTestFailed);
  EXPECT_NE(run.out.find("Серийный номер эталонного УПО  не задан\n"), std::string::npos);
}

}  // namespace
}  // namespace vr512b
