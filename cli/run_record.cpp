#include "run_record.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "build_info.h"
#include "cli_view.h"
#include "device_link.h"
#include "diag_console.h"
#include "procedure_table.h"

namespace vr512b::cli {

namespace fs = std::filesystem;

namespace {

// ------------------------------------------------------------------ UTF-8

struct Utf8Step {
  std::size_t length;  // bytes taken: the whole sequence, or the ill-formed part to replace
  char32_t codePoint;
  bool valid;
};

// One step over `text` at `i`, by the table of well-formed sequences: the
// second byte's range depends on the first (no overlongs, no surrogates,
// nothing past U+10FFFF), the others are plain continuation bytes.
Utf8Step DecodeUtf8(std::string_view text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  std::size_t trailing = 0;
  char32_t codePoint = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    trailing = 1;
    codePoint = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    trailing = 2;
    codePoint = lead & 0x0Fu;
    if (lead == 0xE0)
      low = 0xA0;
    if (lead == 0xED)
      high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    trailing = 3;
    codePoint = lead & 0x07u;
    if (lead == 0xF0)
      low = 0x90;
    if (lead == 0xF4)
      high = 0x8F;
  } else {
    return {1, 0, false};
  }
  for (std::size_t k = 1; k <= trailing; ++k) {
    if (i + k >= text.size())
      return {k, 0, false};
    const auto next = static_cast<unsigned char>(text[i + k]);
    if (next < low || next > high)
      return {k, 0, false};
    low = 0x80;
    high = 0xBF;
    codePoint = (codePoint << 6) | (next & 0x3Fu);
  }
  return {trailing + 1, codePoint, true};
}

void AppendEscape(std::string& out, unsigned value) {
  char escape[8];
  std::snprintf(escape, sizeof escape, "\\u%04X", value);
  out += escape;
}

// ------------------------------------------------------------------- JSON

// Pretty-printed JSON, one member or element a line, so that a record can be
// read and diffed as text.
class JsonWriter {
 public:
  void BeginObject() { Open('{'); }
  void EndObject() { Close('}'); }
  void BeginArray() { Open('['); }
  void EndArray() { Close(']'); }
  void Key(std::string_view key) {
    BeforeItem();
    AppendJsonString(out_, key);
    out_ += ": ";
    afterKey_ = true;
  }
  void String(std::string_view value) {
    BeforeValue();
    AppendJsonString(out_, value);
  }
  void Int(long long value) {
    BeforeValue();
    out_ += std::to_string(value);
  }
  void Bool(bool value) {
    BeforeValue();
    out_ += value ? "true" : "false";
  }
  void Null() {
    BeforeValue();
    out_ += "null";
  }
  std::string Take() {
    out_ += '\n';
    return std::move(out_);
  }

 private:
  void Indent() {
    out_ += '\n';
    out_.append(2 * depth_.size(), ' ');
  }
  void BeforeItem() {
    if (depth_.empty())
      return;
    if (!depth_.back())
      out_ += ',';
    depth_.back() = false;
    Indent();
  }
  void BeforeValue() {
    if (afterKey_) {
      afterKey_ = false;
      return;
    }
    BeforeItem();
  }
  void Open(char bracket) {
    BeforeValue();
    out_ += bracket;
    depth_.push_back(true);
  }
  void Close(char bracket) {
    const bool empty = depth_.back();
    depth_.pop_back();
    if (!empty)
      Indent();
    out_ += bracket;
  }

  std::string out_;
  std::vector<bool> depth_;  // per open bracket: nothing written in it yet
  bool afterKey_ = false;
};

void StringMember(JsonWriter& json, std::string_view key, std::string_view value) {
  json.Key(key);
  json.String(value);
}

void BoolMember(JsonWriter& json, std::string_view key, bool value) {
  json.Key(key);
  json.Bool(value);
}

void TimeMember(JsonWriter& json, std::string_view key, WallClock::time_point time) {
  StringMember(json, key, IsoUtcMillis(time));
}

void StringArrayMember(JsonWriter& json, std::string_view key,
                       const std::vector<std::string>& values) {
  json.Key(key);
  json.BeginArray();
  for (const std::string& value : values)
    json.String(value);
  json.EndArray();
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

// ------------------------------------------------------------------ files

std::string ErrorText(int code) {
  return std::generic_category().message(code);
}

fs::path FolderOf(const std::string& path) {
  const fs::path parent = fs::path(path).parent_path();
  return parent.empty() ? fs::path(".") : parent;
}

#ifdef _WIN32

int OpenNew(const std::string& path) {
  return ::_open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}
int ProcessId() {
  return ::_getpid();
}
bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const unsigned chunk = data.size() > 1u << 30 ? 1u << 30 : static_cast<unsigned>(data.size());
    const int written = ::_write(fd, data.data(), chunk);
    if (written <= 0)
      return false;
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}
bool SyncAndClose(int fd) {
  const bool synced = ::_commit(fd) == 0;
  return ::_close(fd) == 0 && synced;
}
void RemoveFile(const std::string& path) {
  ::_unlink(path.c_str());
}
std::string Rename(const std::string& from, const std::string& to) {
  if (::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return {};
  return std::system_category().message(static_cast<int>(::GetLastError()));
}
bool SyncFolder(const fs::path&) {
  // MOVEFILE_WRITE_THROUGH has already made the rename durable.
  return true;
}

#else

int OpenNew(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}
int ProcessId() {
  return static_cast<int>(::getpid());
}
bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0)
      return false;
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}
bool SyncAndClose(int fd) {
  const bool synced = ::fsync(fd) == 0;
  const int syncError = errno;
  const bool closed = ::close(fd) == 0;
  if (!synced)
    errno = syncError;
  return synced && closed;
}
void RemoveFile(const std::string& path) {
  ::unlink(path.c_str());
}
std::string Rename(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) == 0)
    return {};
  return ErrorText(errno);
}
bool SyncFolder(const fs::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return false;
  // Some file systems cannot sync a folder; the rename is then as durable as
  // they make it.
  const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
  ::close(fd);
  return synced;
}

#endif

// A new, empty temporary file beside `path`, named after it so that a stale
// one left by a killed run is recognisable. Returns the descriptor (or -1
// with errno set) and the name.
int CreateTemporaryBeside(const std::string& path, std::string& name) {
  std::string leaf = ".";
  leaf += fs::path(path).filename().string();
  leaf += ".tmp.";
  leaf += std::to_string(ProcessId());
  const std::string base = (FolderOf(path) / leaf).string();
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    name = base + "." + std::to_string(attempt);
    fd = OpenNew(name);
    if (fd < 0 && errno != EEXIST)
      return -1;
  }
  return fd;
}

}  // namespace

std::string IsoUtcMillis(WallClock::time_point time) {
  using namespace std::chrono;
  const auto ms = floor<milliseconds>(time);
  const auto day = floor<days>(ms);
  const year_month_day date(day);
  const hh_mm_ss clock(ms - day);
  char text[40];
  std::snprintf(
      text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
      static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
      static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
      static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
  return text;
}

void AppendJsonString(std::string& out, std::string_view text) {
  out += '"';
  std::size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      if (byte == '"') {
        out += "\\\"";
      } else if (byte == '\\') {
        out += "\\\\";
      } else if (byte < 0x20 || byte == 0x7F) {
        AppendEscape(out, byte);
      } else {
        out += static_cast<char>(byte);
      }
      ++i;
      continue;
    }
    const Utf8Step step = DecodeUtf8(text, i);
    if (!step.valid) {
      out += "\xEF\xBF\xBD";
    } else if (step.codePoint <= 0x9F) {
      // C1 controls are as unwelcome in a terminal as C0 ones.
      AppendEscape(out, step.codePoint);
    } else {
      out.append(text.substr(i, step.length));
    }
    i += step.length;
  }
  out += '"';
}

std::string ReplaceFileAtomically(const std::string& path, std::string_view content) {
  std::string temporary;
  const int fd = CreateTemporaryBeside(path, temporary);
  if (fd < 0)
    return ErrorText(errno);
  if (!WriteAll(fd, content)) {
    const int error = errno;
    SyncAndClose(fd);
    RemoveFile(temporary);
    return ErrorText(error);
  }
  if (!SyncAndClose(fd)) {
    const int error = errno;
    RemoveFile(temporary);
    return ErrorText(error);
  }
  const std::string renameError = Rename(temporary, path);
  if (!renameError.empty()) {
    RemoveFile(temporary);
    return renameError;
  }
  if (!SyncFolder(FolderOf(path)))
    return ErrorText(errno);
  return {};
}

std::string CheckRecordPath(const std::string& path) {
  if (path.empty())
    return ErrorText(ENOENT);
  std::error_code error;
  if (fs::is_directory(path, error))
    return ErrorText(EISDIR);
  std::string temporary;
  const int fd = CreateTemporaryBeside(path, temporary);
  if (fd < 0)
    return ErrorText(errno);
  SyncAndClose(fd);
  RemoveFile(temporary);
  return {};
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
  StringMember(json, "name", "vr512b-diag-cli");
  StringMember(json, "version", VR512B_FILE_VERSION);
  json.EndObject();
  TimeMember(json, "started", started_);
  TimeMember(json, "finished", finished);

  json.Key("mode");
  json.BeginObject();
  StringMember(json, "bench", options_.simulate ? "virtual-bench" : "real-units");
  BoolMember(json, "virtualTime", options_.virtualTime);
  StringArrayMember(json, "benchScenarios", options_.scenarios);
  StringMember(json, "answers",
               AnswerModeName(options_.answer.value_or(options_.simulate ? AnswerMode::Auto
                                                                         : AnswerMode::Ask)));
  json.EndObject();
  StringArrayMember(json, "requestedTests", options_.tests);

  // By their names in the store, in the store's order.
  const TestParameterValues& p = parameters_;
  json.Key("parameters");
  json.BeginObject();
  StringMember(json, "NameVR512BSample", p.NameVR512BSample);
  StringMember(json, "PhoneSample", p.PhoneSample);
  StringMember(json, "Phone", p.Phone);
  BoolMember(json, "IDContact", p.IDContact);
  BoolMember(json, "LowSpeed", p.LowSpeed);
  BoolMember(json, "Secsoa", p.Secsoa);
  BoolMember(json, "Korvex", p.Korvex);
  BoolMember(json, "Presto", p.Presto);
  BoolMember(json, "ShortTest", p.ShortTest);
  BoolMember(json, "Sound", p.Sound);
  BoolMember(json, "SoundSample", p.SoundSample);
  BoolMember(json, "KorvexTestMsg", p.KorvexTestMsg);
  BoolMember(json, "CBNoTone", p.CBNoTone);
  json.EndObject();

  json.Key("units");
  json.BeginArray();
  for (const TUnitRole role : {urUnderTest, urReference}) {
    if (!units_[role])
      continue;
    const Unit& unit = *units_[role];
    json.BeginObject();
    StringMember(json, "role", role == urReference ? "ref" : "ut");
    StringMember(json, "roleName", DeviceLink::RoleWord(role));
    json.Key("serialNumber");
    json.Int(unit.serial);
    // As the log shows it: major and minor byte of the device version.
    StringMember(json, "version",
                 std::to_string(unit.version >> 8) + "." + std::to_string(unit.version & 0xFF));
    json.Key("versionCode");
    json.Int(unit.version);
    json.EndObject();
  }
  json.EndArray();

  json.Key("tests");
  json.BeginArray();
  for (const Test& test : tests_) {
    json.BeginObject();
    StringMember(json, "id", test.id);
    StringMember(json, "caption", test.caption);
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
    StringArrayMember(json, "log", test.log);
    json.EndObject();
  }
  json.EndArray();
  StringArrayMember(json, "logOutsideTests", logOutsideTests_);

  BoolMember(json, "interrupted", interrupted);
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
