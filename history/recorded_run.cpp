#include "history/recorded_run.h"

#include <array>
#include <cstdio>
#include <random>

#include "common/host_name.h"
#include "common/text.h"
#include "common/utf8.h"

namespace vr512b::history {

namespace {

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

char LowerHex(char c) {
  return (c >= 'A' && c <= 'F') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string CheckName(std::string_view what, std::string_view value) {
  if (value.find('\0') != std::string_view::npos || !IsValidUtf8(value))
    return std::string(what) + ": не текст UTF-8";
  return {};
}

}  // namespace

std::string NewRunId() {
  std::random_device entropy;
  std::array<unsigned char, 16> bytes{};
  for (std::size_t i = 0; i < bytes.size(); i += 4) {
    const std::uint32_t word = entropy();
    for (std::size_t k = 0; k < 4; ++k)
      bytes[i + k] = static_cast<unsigned char>(word >> (8 * k));
  }
  bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  std::string id;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10)
      id += '-';
    AppendHexByte(id, bytes[i], false);
  }
  return id;
}

std::optional<std::string> CanonicalRunId(std::string_view text) {
  if (text.size() != 36)
    return std::nullopt;
  std::string id(text);
  for (std::size_t i = 0; i < id.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? id[i] != '-' : !IsHexDigit(id[i]))
      return std::nullopt;
    id[i] = LowerHex(id[i]);
  }
  return id;
}

std::string StationName(std::string_view hostName) {
  if (hostName.empty())
    return "?";
  std::string station(hostName);
  for (char& c : station) {
    if (c < 0x21 || c > 0x7E)
      c = '?';
  }
  return station;
}

std::string LocalStationName() {
  return StationName(HostName());
}

std::string CheckRecordedRun(const RecordedRun& run) {
  if (CanonicalRunId(run.runId) != run.runId)
    return "идентификатор запуска \"" + ValidUtf8(run.runId) + "\" не UUID в канонической записи";
  if (!run.bench)
    return "не указано, на каком стенде прошел запуск";
  for (const auto& [what, value] :
       {std::pair<std::string_view, std::string_view>{"программа", run.program},
        {"версия программы", run.programVersion},
        {"станция", run.station}}) {
    if (std::string error = CheckName(what, value); !error.empty())
      return error;
  }
  for (const RunParameter& parameter : run.parameters) {
    if (std::string error = CheckName("имя параметра", parameter.name); !error.empty())
      return error;
  }
  for (const RecordedTest& test : run.tests) {
    if (std::string error = CheckName("проверка", test.id); !error.empty())
      return error;
    if (std::string error = CheckName("название проверки", test.caption); !error.empty())
      return error;
  }
  return {};
}

std::string JoinLogLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    for (const char c : line) {
      if (c == '\\') {
        text += "\\\\";
      } else if (c == '\n') {
        text += "\\n";
      } else {
        text += c;
      }
    }
    text += '\n';
  }
  return text;
}

std::vector<std::string> SplitLogLines(std::string_view text) {
  std::vector<std::string> lines;
  std::string line;
  bool escaped = false;
  for (const char c : text) {
    if (escaped) {
      line += c == 'n' ? '\n' : c;
      escaped = false;
    } else if (c == '\\') {
      escaped = true;
    } else if (c == '\n') {
      lines.push_back(std::move(line));
      line.clear();
    } else {
      line += c;
    }
  }
  // A text cut short still gives back what it holds.
  if (escaped)
    line += '\\';
  if (!line.empty())
    lines.push_back(std::move(line));
  return lines;
}

}  // namespace vr512b::history
