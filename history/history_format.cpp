#include "history/history_format.h"

#include "common/json_writer.h"
#include "common/utc_time.h"
#include "history/schema.h"

namespace vr512b::history {

namespace {

void AppendCsvField(std::string& out, std::string_view field) {
  if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
    out += field;
    return;
  }
  out += '"';
  for (const char c : field) {
    if (c == '"')
      out += '"';
    out += c;
  }
  out += '"';
}

std::string OptionalTime(const std::optional<TimeMs>& time) {
  return time ? IsoUtcMillis(*time) : std::string();
}

std::string OptionalSerial(const std::optional<std::int32_t>& serial) {
  return serial ? std::to_string(*serial) : std::string();
}

void AppendJsonMember(std::string& out, std::string_view key,
                      const std::optional<std::string>& text, bool quoted = true) {
  if (out.back() != '{')
    out += ", ";
  AppendJsonString(out, key);
  out += ": ";
  if (!text) {
    out += "null";
  } else if (quoted) {
    AppendJsonString(out, *text);
  } else {
    out += *text;
  }
}

std::optional<std::string> JsonSerial(const std::optional<std::int32_t>& serial) {
  if (!serial)
    return std::nullopt;
  return std::to_string(*serial);
}

std::optional<std::string> VerdictField(const std::optional<Verdict>& verdict) {
  if (!verdict)
    return std::nullopt;
  return std::string(VerdictText(*verdict));
}

std::optional<std::string> BenchField(const std::optional<Bench>& bench) {
  if (!bench)
    return std::nullopt;
  return std::string(BenchCode(*bench));
}

}  // namespace

std::string FormatCsv(const std::vector<TestRunRow>& rows) {
  std::string out(kCsvHeader);
  out += '\n';
  for (const TestRunRow& row : rows) {
    const std::string fields[] = {row.runId,
                                  IsoUtcMillis(row.started),
                                  OptionalTime(row.finished),
                                  row.station,
                                  OptionalSerial(row.unitSerial),
                                  OptionalSerial(row.referenceSerial),
                                  row.test,
                                  VerdictField(row.verdict).value_or(std::string()),
                                  BenchField(row.bench).value_or(std::string())};
    for (std::size_t i = 0; i < std::size(fields); ++i) {
      if (i > 0)
        out += ',';
      AppendCsvField(out, fields[i]);
    }
    out += '\n';
  }
  return out;
}

std::string FormatJson(const std::vector<TestRunRow>& rows) {
  if (rows.empty())
    return "[]\n";
  std::string out = "[\n";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const TestRunRow& row = rows[i];
    out += "  {";
    AppendJsonMember(out, "run_id", row.runId);
    AppendJsonMember(out, "started", IsoUtcMillis(row.started));
    AppendJsonMember(out, "finished",
                     row.finished ? std::optional(IsoUtcMillis(*row.finished)) : std::nullopt);
    AppendJsonMember(out, "station", row.station);
    AppendJsonMember(out, "unit_serial", JsonSerial(row.unitSerial), false);
    AppendJsonMember(out, "reference_serial", JsonSerial(row.referenceSerial), false);
    AppendJsonMember(out, "test", row.test);
    AppendJsonMember(out, "verdict", VerdictField(row.verdict));
    AppendJsonMember(out, "bench", BenchField(row.bench));
    out += i + 1 < rows.size() ? "},\n" : "}\n";
  }
  out += "]\n";
  return out;
}

}  // namespace vr512b::history
