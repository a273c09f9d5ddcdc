#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vr512b::cli {

enum class AnswerMode { Auto, Yes, No, Ask };
enum class RunListFormat { Csv, Json };

struct CliOptions {
  std::vector<std::string> tests;
  bool simulate = false;
  bool virtualTime = false;
  std::optional<std::string> settingsPath;
  std::vector<std::pair<std::string, std::string>> overrides;  // --set NAME=VALUE
  std::optional<AnswerMode> answer;
  std::vector<std::string> scenarios;
  std::optional<long long> abortAfterMs;
  // --wait-for-unit [SECONDS]: the tests start when a unit under test is
  // plugged in; 0 waits as long as it takes.
  std::optional<long long> waitForUnitSeconds;
  std::optional<std::string> reportPath;
  std::optional<std::string> tracePath;
  std::optional<std::string> historyUrl;  // --history
  // Instead of tests: the history's test runs (of one unit under test), or
  // one run's log.
  bool listRuns = false;
  std::optional<std::int32_t> unitSerial;
  RunListFormat listFormat = RunListFormat::Csv;
  std::optional<std::string> showRun;
  bool help = false;
  bool version = false;
};

struct ParseResult {
  CliOptions options;
  std::string error;  // usage error, empty when the command line is valid
};

ParseResult ParseCommandLine(const std::vector<std::string>& args);
std::string UsageText();

}  // namespace vr512b::cli
