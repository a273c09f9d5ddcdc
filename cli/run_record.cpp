#include "run_record.h"

#include <ostream>

#include "atomic_file.h"
#include "build_info.h"
#include "cli_view.h"
#include "device_link.h"
#include "diag_console.h"
#include "json_writer.h"
#include "procedure_table.h"
#include "utc_time.h"

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

std::string CheckRecordPath(const std::string& path) {
  return CheckReplaceable(path);
}

// ------------------------------------------------------------- RunRecord

RunRecord::RunRecord(const CliOptions& options, TestParameterValues parameters,
                     WallClock::time_point started)
    : options_(options), parameters_(std::move(parameters)), started_(started) {}

void RunRecord::LogLine(std::string_view line) {
  if (inTest_) {
    tests_.back().log.emplace_back(line);
  } else {
    logOutsideTests_.emplace_back(line);
  }
}

void RunRecord::TestStarted(const TestProcedure& test, WallClock::time_point at) {
  Test entry;
  entry.id = test.id;
  entry.caption = test.caption;
  entry.started = at;
  tests_.push_back(std::move(entry));
  inTest_ = true;
}

void RunRecord::TestFinished(std::string_view verdict, WallClock::time_point at) {
  if (!inTest_)
    return;
  tests_.back().verdict = std::string(verdict);
  tests_.back().finished = at;
  inTest_ = false;
}

void RunRecord::NoteUnits(const DeviceLink& link) {
  for (const TUnitRole role : {urUnderTest, urReference}) {
    const DeviceLink::Identity& identity = link.LastIdentity(role);
    if (identity.known)
      units_[role] = Unit{identity.serial, identity.version};
  }
}

std::string RunRecord::ToJson(WallClock::time_point finished, std::optional<int> exitStatus,
                              bool interrupted) const {
  JsonWriter json;
  json.BeginObject();
  json.Key("recordFormat");
  json.Int(1);
  json.Key("program");
  json.BeginObject();
  json.StringMember("name", "vr512b-diag-cli");
  json.StringMember("version", VR512B_FILE_VERSION);
  json.EndObject();
  TimeMember(json, "started", started_);
  TimeMember(json, "finished", finished);

  json.Key("mode");
  json.BeginObject();
  json.StringMember("bench", options_.simulate ? "virtual-bench" : "real-units");
  json.BoolMember("virtualTime", options_.virtualTime);
  json.StringArrayMember("benchScenarios", options_.scenarios);
  json.StringMember("answers", AnswerModeName(options_.answer.value_or(
                                   options_.simulate ? AnswerMode::Auto : AnswerMode::Ask)));
  json.EndObject();
  json.StringArrayMember("requestedTests", options_.tests);

  // By their names in the store, in the store's order.
  const TestParameterValues& p = parameters_;
  json.Key("parameters");
  json.BeginObject();
  json.StringMember("NameVR512BSample", p.NameVR512BSample);
  json.StringMember("PhoneSample", p.PhoneSample);
  json.StringMember("Phone", p.Phone);
  json.BoolMember("IDContact", p.IDContact);
  json.BoolMember("LowSpeed", p.LowSpeed);
  json.BoolMember("Secsoa", p.Secsoa);
  json.BoolMember("Korvex", p.Korvex);
  json.BoolMember("Presto", p.Presto);
  json.BoolMember("ShortTest", p.ShortTest);
  json.BoolMember("Sound", p.Sound);
  json.BoolMember("SoundSample", p.SoundSample);
  json.BoolMember("KorvexTestMsg", p.KorvexTestMsg);
  json.BoolMember("CBNoTone", p.CBNoTone);
  json.EndObject();

  json.Key("units");
  json.BeginArray();
  for (const TUnitRole role : {urUnderTest, urReference}) {
    if (!units_[role])
      continue;
    const Unit& unit = *units_[role];
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
  for (const Test& test : tests_) {
    json.BeginObject();
    json.StringMember("id", test.id);
    json.StringMember("caption", test.caption);
    json.Key("verdict");
    if (test.verdict) {
      json.String(*test.verdict);
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
  json.StringArrayMember("logOutsideTests", logOutsideTests_);

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

// ----------------------------------------------------------- RunReporter

RunReporter::RunReporter(const CliOptions& options, const TestParameterValues& parameters,
                         CliView& view, DiagConsole& console, std::ostream& err)
    : path_(options.reportPath), view_(view), console_(console), err_(err) {
  if (!path_)
    return;
  record_.emplace(options, parameters, WallClock::now());
  view_.onLogLine = [this](std::string_view line) { record_->LogLine(line); };
  view_.onTestStarted = [this](const TestProcedure& test) {
    record_->TestStarted(test, WallClock::now());
  };
  view_.onTestFinished = [this](const TestProcedure&, std::string_view verdict) {
    // The frame has closed the units, but the link still knows whom it had.
    record_->NoteUnits(console_.link());
    record_->TestFinished(verdict, WallClock::now());
  };
}

RunReporter::~RunReporter() {
  if (record_) {
    view_.onLogLine = nullptr;
    view_.onTestStarted = nullptr;
    view_.onTestFinished = nullptr;
  }
  try {
    Write(std::nullopt);
  } catch (...) {
    // Unwinding already: a record that cannot be made must not end the
    // program before the error that ends the run is reported.
  }
}

void RunReporter::Finish(int exitStatus) {
  Write(exitStatus);
}

void RunReporter::Write(std::optional<int> exitStatus) {
  if (!record_ || written_)
    return;
  written_ = true;
  const std::string json = record_->ToJson(WallClock::now(), exitStatus, view_.SignalAbort());
  const std::string error = ReplaceFileAtomically(*path_, json);
  if (!error.empty()) {
    err_ << "vr512b-diag-cli: --report " << *path_ << ": протокол запуска не записан: " << error
         << '\n';
  }
}

}  // namespace vr512b::cli
