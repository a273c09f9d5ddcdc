#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vr512b::cli {

enum class AnswerMode { Auto, Yes, No, Ask };

struct CliOptions {
  std::vector<std::string> tests;
  bool simulate = false;
  bool virtualTime = false;
  std::optional<std::string> settingsPath;
  std::vector<std::pair<std::string, std::string>> overrides;  // --set NAME=VALUE
  std::optional<AnswerMode> answer;
  std::vector<std::string> scenarios;
  std::optional<long long> abortAfterMs;
  std::optional<std::string> reportPath;
  std::optional<std::string> tracePath;
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
