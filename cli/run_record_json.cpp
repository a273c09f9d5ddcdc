#include "cli/run_record_json.h"

#include "common/json_writer.h"
#include "device/device_link.h"

namespace vr512b::cli {

namespace {

void TimeMember(JsonWriter& json, std::string_view key, WallClock::time_point time) {
  json.StringMember(key, IsoUtcMillis(time));
}

const char* AnswerModeName(AnswerMode mode) {
  switch (mode) {
    case AnswerMode::Auto:
      return "auto";
    case AnswerMode::Yes:
      return "yes";
    case AnswerMode::No:
      return "no";
    case AnswerMode::Ask:
      return "ask";
  }
  return "ask";
}

}  // namespace

std::string RunRecordJson(const RunRecord& record, const CliOptions& options,
                          std::optional<int> exitStatus, bool interrupted) {
  JsonWriter json;
  json.BeginObject();
  json.Key("recordFormat");
  json.Int(1);
  json.Key("program");
  json.BeginObject();
  json.StringMember("name", "vr512b-diag-cli");
  json.StringMember("version", record.programVersion);
  json.EndObject();
  TimeMember(json, "started", record.started);
  TimeMember(json, "finished", record.finished.value_or(record.started));

  json.Key("mode");
  json.BeginObject();
  json.StringMember("bench", options.simulate ? "virtual-bench" : "real-units");
  json.BoolMember("virtualTime", options.virtualTime);
  json.StringArrayMember("benchScenarios", options.scenarios);
  json.StringMember("answers", AnswerModeName(options.answer.value_or(
                                   options.simulate ? AnswerMode::Auto : AnswerMode::Ask)));
  json.EndObject();
  json.StringArrayMember("requestedTests", options.tests);

  // By their names in the store, in the table's order.
  json.Key("parameters");
  json.BeginObject();
  for (const ParameterInfo& parameter : AllParameters()) {
    if (parameter.IsFlag())
      json.BoolMember(parameter.name, record.parameters.*parameter.flag);
    else
      json.StringMember(parameter.name, record.parameters.*parameter.text);
  }
  json.EndObject();

  json.Key("units");
  json.BeginArray();
  for (const TUnitRole role : {urUnderTest, urReference}) {
    if (!record.units[role])
      continue;
    const RunRecord::Unit& unit = *record.units[role];
    json.BeginObject();
    json.StringMember("role", role == urReference ? "ref" : "ut");
    json.StringMember("roleName", DeviceLink::RoleWord(role));
    json.Key("serialNumber");
    json.Int(unit.serial);
    // As the log shows it: major and minor byte of the device version.
    json.StringMember(
        "version", std::to_string(unit.version >> 8) + "." + std::to_string(unit.version & 0xFF));
    json.Key("versionCode");
    json.Int(unit.version);
    json.EndObject();
  }
  json.EndArray();

  json.Key("tests");
  json.BeginArray();
  for (const RunRecord::Test& test : record.tests) {
    json.BeginObject();
    json.StringMember("id", test.id);
    json.StringMember("caption", test.caption);
    json.Key("verdict");
    if (test.verdict) {
      json.String(VerdictText(*test.verdict));
    } else {
      json.Null();
    }
    TimeMember(json, "started", test.started);
    json.Key("finished");
    if (test.finished) {
      json.String(IsoUtcMillis(*test.finished));
    } else {
      json.Null();
    }
    json.StringArrayMember("log", test.log);
    json.EndObject();
  }
  json.EndArray();
  json.StringArrayMember("logOutsideTests", record.logOutsideTests);

  json.BoolMember("interrupted", interrupted);
  json.Key("exitStatus");
  if (exitStatus) {
    json.Int(*exitStatus);
  } else {
    json.Null();
  }
  json.EndObject();
  return json.Take();
}

}  // namespace vr512b::cli
