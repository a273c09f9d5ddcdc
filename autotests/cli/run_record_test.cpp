// The run record of vr512b-diag-cli --report: JSON that stays valid whatever
// bytes a unit sends, times in UTC, and a record that matches the run on the
// virtual bench, also when the run fails, is interrupted or never starts.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli_options.h"
#include "cli_runner.h"
#include "run_record.h"
#include "test_support.h"

namespace vr512b {
namespace {

// ------------------------------------------------------ a strict JSON reader

// Just enough JSON to read a record back, and strict where a sloppy writer
// would slip: raw control characters, bytes that are not UTF-8, trailing
// commas, anything after the value.
struct Json {
  enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<Json> items;
  std::map<std::string, Json> members;
  std::vector<std::string> order;  // member names as written

  bool Has(const std::string& key) const { return members.count(key) != 0; }
  const Json& operator[](const std::string& key) const {
    static const Json missing;
    const auto it = members.find(key);
    EXPECT_NE(it, members.end()) << "no member " << key;
    return it == members.end() ? missing : it->second;
  }
  const Json& operator[](std::size_t index) const {
    static const Json missing;
    EXPECT_LT(index, items.size());
    return index < items.size() ? items[index] : missing;
  }
  std::vector<std::string> Strings() const {
    std::vector<std::string> out;
    for (const Json& item : items)
      out.push_back(item.text);
    return out;
  }
};

class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : text_(text) {}

  bool Read(Json& value) {
    if (!Value(value))
      return false;
    Blank();
    return Fail(pos_ == text_.size(), "text after the value");
  }
  const std::string& error() const { return error_; }

 private:
  bool Fail(bool ok, const char* what) {
    if (!ok && error_.empty())
      error_ = std::string(what) + " at byte " + std::to_string(pos_);
    return ok;
  }
  void Blank() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\n' ||
                                   text_[pos_] == '\r' || text_[pos_] == '\t'))
      ++pos_;
  }
  bool Eat(char c) {
    Blank();
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  bool Word(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word)
      return Fail(false, "bad literal");
    pos_ += word.size();
    return true;
  }
  bool Value(Json& v) {
    Blank();
    if (pos_ >= text_.size())
      return Fail(false, "missing value");
    const char c = text_[pos_];
    if (c == '{')
      return Object(v);
    if (c == '[')
      return Array(v);
    if (c == '"') {
      v.kind = Json::Kind::String;
      return String(v.text);
    }
    if (c == 't' || c == 'f') {
      v.kind = Json::Kind::Bool;
      v.boolean = c == 't';
      return Word(c == 't' ? "true" : "false");
    }
    if (c == 'n')
      return Word("null");
    return Number(v);
  }
  bool Number(Json& v) {
    const std::size_t start = pos_;
    if (pos_ < text_.size() && text_[pos_] == '-')
      ++pos_;
    while (pos_ < text_.size() &&
           std::string_view("0123456789.eE+-").find(text_[pos_]) != std::string_view::npos)
      ++pos_;
    if (!Fail(pos_ > start && text_[start] != '+', "bad number"))
      return false;
    v.kind = Json::Kind::Number;
    v.number = std::stod(std::string(text_.substr(start, pos_ - start)));
    return true;
  }
  bool Object(Json& v) {
    v.kind = Json::Kind::Object;
    ++pos_;
    if (Eat('}'))
      return true;
    do {
      Blank();
      std::string key;
      if (!Fail(pos_ < text_.size() && text_[pos_] == '"', "member name expected") ||
          !String(key) || !Fail(Eat(':'), "':' expected"))
        return false;
      Json member;
      if (!Value(member) || !Fail(!v.Has(key), "duplicate member"))
        return false;
      v.order.push_back(key);
      v.members.emplace(key, std::move(member));
    } while (Eat(','));
    return Fail(Eat('}'), "'}' expected");
  }
  bool Array(Json& v) {
    v.kind = Json::Kind::Array;
    ++pos_;
    if (Eat(']'))
      return true;
    do {
      Json item;
      if (!Value(item))
        return false;
      v.items.push_back(std::move(item));
    } while (Eat(','));
    return Fail(Eat(']'), "']' expected");
  }
  static void PutUtf8(std::string& out, unsigned long cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  // A raw multi-byte character: decoded, then held to the shortest form and
  // to the Unicode range without surrogates.
  bool RawUtf8(std::string& out) {
    const auto lead = static_cast<unsigned char>(text_[pos_]);
    int more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
    if (!Fail(more > 0 && lead < 0xF8, "bad UTF-8 lead byte"))
      return false;
    unsigned long cp = lead & (0x3F >> more);
    const std::size_t start = pos_++;
    for (int i = 0; i < more; ++i, ++pos_) {
      if (!Fail(pos_ < text_.size() && (static_cast<unsigned char>(text_[pos_]) & 0xC0) == 0x80,
                "truncated UTF-8"))
        return false;
      cp = (cp << 6) | (static_cast<unsigned char>(text_[pos_]) & 0x3F);
    }
    const unsigned long shortest[] = {0, 0x80, 0x800, 0x10000};
    if (!Fail(cp >= shortest[more] && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF),
              "ill-formed UTF-8"))
      return false;
    out.append(text_.substr(start, pos_ - start));
    return true;
  }
  bool String(std::string& out) {
    ++pos_;
    for (;;) {
      if (!Fail(pos_ < text_.size(), "unterminated string"))
        return false;
      const auto c = static_cast<unsigned char>(text_[pos_]);
      if (c == '"') {
        ++pos_;
        return true;
      }
      if (!Fail(c >= 0x20, "raw control character in a string"))
        return false;
      if (c >= 0x80) {
        if (!RawUtf8(out))
          return false;
        continue;
      }
      ++pos_;
      if (c != '\\') {
        out += static_cast<char>(c);
        continue;
      }
      if (!Fail(pos_ < text_.size(), "bad escape"))
        return false;
      const char e = text_[pos_++];
      const std::string_view simple = "\"\\/bfnrt";
      const std::string_view meaning = "\"\\/\b\f\n\r\t";
      if (simple.find(e) != std::string_view::npos) {
        out += meaning[simple.find(e)];
      } else if (e == 'u' && pos_ + 4 <= text_.size()) {
        const unsigned long cp = std::stoul(std::string(text_.substr(pos_, 4)), nullptr, 16);
        pos_ += 4;
        // The writer escapes only controls, so no surrogate pairs here.
        if (!Fail(cp < 0xD800 || cp > 0xDFFF, "surrogate escape"))
          return false;
        PutUtf8(out, cp);
      } else {
        return Fail(false, "bad escape");
      }
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  std::string error_;
};

Json ParseRecord(const std::string& text) {
  Json value;
  JsonReader reader(text);
  EXPECT_TRUE(reader.Read(value)) << reader.error();
  return value;
}

std::string JsonOf(std::string_view text) {
  std::string out;
  cli::AppendJsonString(out, text);
  return out;
}

// --------------------------------------------------------------- strings

TEST(RunRecordJson, EscapesQuotesBackslashesAndControls) {
  EXPECT_EQ(JsonOf(""), "\"\"");
  EXPECT_EQ(JsonOf("a\"b\\c/d"), "\"a\\\"b\\\\c/d\"");
  EXPECT_EQ(JsonOf(std::string("\x00\x01\t\n\r\x1f\x7f", 7)),
            "\"\\u0000\\u0001\\u0009\\u000A\\u000D\\u001F\\u007F\"");
  // C1 controls are characters of their own in UTF-8, and controls as well.
  EXPECT_EQ(JsonOf("\xC2\x85\xC2\x9F\xC2\xA0"), "\"\\u0085\\u009F\xC2\xA0\"");
  // Well-formed text passes unchanged, from two bytes to four.
  EXPECT_EQ(JsonOf("Прием с линии €𝄞"), "\"Прием с линии €𝄞\"");
  EXPECT_EQ(JsonOf("\xEF\xBF\xBF\xF4\x8F\xBF\xBF"), "\"\xEF\xBF\xBF\xF4\x8F\xBF\xBF\"");
}

TEST(RunRecordJson, EveryIllFormedSubsequenceBecomesOneReplacementCharacter) {
  const std::string R = "\xEF\xBF\xBD";
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"\x80", R},                        // lone continuation byte
      {"a\xBF\xBFz", "a" + R + R + "z"},  // each stray continuation on its own
      {"\xD0", R},                        // cut off at the end
      {"\xD0"
       "A",
       R + "A"},  // cut off by an ASCII byte, which stays
      {"\xE2\x82"
       "A",
       R + "A"},                            // three-byte start: one replacement
      {"\xF0\x9F\x98", R},                  // four-byte start, end of text
      {"\xC0\xAF", R + R},                  // overlong '/'
      {"\xE0\x80\xAF", R + R + R},          // overlong, caught at the second byte
      {"\xED\xA0\x80", R + R + R},          // UTF-16 surrogate
      {"\xF4\x90\x80\x80", R + R + R + R},  // past U+10FFFF
      {"\xF5\x80", R + R},                  // lead byte that never occurs
      {"\xFF\xFE", R + R},                  // nor these
      {"\xD0\x9F\xD1", "П" + R},            // good, then cut off
      {"\xE2\x82\xAC\xE2\x82", "€" + R},    // good, then cut off
      {"\xC3\x28", R + "("},                // bad continuation is read again
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JsonOf(c.in), "\"" + c.out + "\"") << ::testing::PrintToString(c.in);
    // And what comes out is always JSON a strict reader takes.
    Json value;
    const std::string json = JsonOf(c.in);
    JsonReader reader(json);
    EXPECT_TRUE(reader.Read(value)) << reader.error();
  }
}

TEST(RunRecordJson, TimesAreUtcWithMilliseconds) {
  using namespace std::chrono;
  EXPECT_EQ(cli::IsoUtcMillis(cli::WallClock::time_point{}), "1970-01-01T00:00:00.000Z");
  const auto leapDay = sys_days{year{2024} / February / 29} + 23h + 59min + 59s + 999ms;
  EXPECT_EQ(cli::IsoUtcMillis(time_point_cast<cli::WallClock::duration>(leapDay)),
            "2024-02-29T23:59:59.999Z");
  // Sub-millisecond parts are cut, not rounded up into the next second.
  const auto almost = sys_days{year{2026} / December / 31} + 23h + 59min + 59s + 999999us;
  EXPECT_EQ(cli::IsoUtcMillis(time_point_cast<cli::WallClock::duration>(almost)),
            "2026-12-31T23:59:59.999Z");
  // Before the epoch the day and the time of day still come out right.
  EXPECT_EQ(cli::IsoUtcMillis(cli::WallClock::time_point{} - 1ms), "1969-12-31T23:59:59.999Z");
}

// ------------------------------------------------------------------ files

TEST(RunRecordFile, ReplacesTheFileInOneStepAndLeavesNothingBehind) {
  testing::TempDir dir;
  const std::string path = dir.File("run.json");
  testing::WriteFile(path, "an older, longer record\n");
  EXPECT_EQ(cli::ReplaceFileAtomically(path, "{}\n"), "");
  EXPECT_EQ(testing::ReadFile(path), "{}\n");
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"run.json"});

  EXPECT_NE(cli::ReplaceFileAtomically(dir.File("no-such-folder/run.json"), "{}"), "");
  EXPECT_NE(cli::CheckRecordPath(dir.File("no-such-folder/run.json")), "");
  EXPECT_NE(cli::CheckRecordPath(dir.path()), "");  // a folder is no record file
  EXPECT_EQ(cli::CheckRecordPath(dir.File("new.json")), "");
  EXPECT_FALSE(std::filesystem::exists(dir.File("new.json")));
}

// ------------------------------------------------------------------- runs

struct RunOutcome {
  int status = -1;
  std::string out;
  std::string err;
};

class RunRecordTest : public ::testing::Test {
 protected:
  RunOutcome Launch(std::vector<std::string> args,
                    const volatile std::sig_atomic_t* abort = nullptr) {
    const std::vector<std::string> common = {"--simulate",          "--virtual-time", "--settings",
                                             dir.File("bench.reg"), "--report",       report};
    args.insert(args.begin(), common.begin(), common.end());
    const cli::ParseResult parsed = cli::ParseCommandLine(args);
    EXPECT_EQ(parsed.error, "");
    std::ostringstream out;
    std::ostringstream err;
    std::istringstream in;
    RunOutcome run;
    run.status = cli::RunCli(parsed.options, {out, err, in, abort});
    run.out = out.str();
    run.err = err.str();
    return run;
  }
  Json Record() { return ParseRecord(testing::ReadFile(report)); }
  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
      lines.push_back(line);
    return lines;
  }
  static void ExpectTime(const Json& value) {
    ASSERT_EQ(value.kind, Json::Kind::String);
    const std::string& t = value.text;
    ASSERT_EQ(t.size(), 24u) << t;
    EXPECT_EQ(t.substr(4, 1) + t.substr(7, 1) + t.substr(10, 1) + t.substr(13, 1) +
                  t.substr(16, 1) + t.substr(19, 1) + t.substr(23, 1),
              "--T::.Z")
        << t;
  }

  testing::TempDir dir;
  std::string report = dir.File("run.json");
};

TEST_F(RunRecordTest, PassingRunIsRecordedAsItsLogShowsIt) {
  const RunOutcome run = Launch({"--set", "Sound=1", "func", "rx"});
  ASSERT_EQ(run.status, cli::kExitOk) << run.err;
  const Json r = Record();

  EXPECT_EQ(r["recordFormat"].number, 1);
  EXPECT_EQ(r["program"]["name"].text, "vr512b-diag-cli");
  EXPECT_EQ(r["program"]["version"].text, "2.0.0.3");
  EXPECT_EQ(r["mode"]["bench"].text, "virtual-bench");
  EXPECT_TRUE(r["mode"]["virtualTime"].boolean);
  EXPECT_EQ(r["mode"]["answers"].text, "auto");
  EXPECT_EQ(r["requestedTests"].Strings(), (std::vector<std::string>{"func", "rx"}));
  EXPECT_FALSE(r["interrupted"].boolean);
  EXPECT_EQ(r["exitStatus"].number, 0);

  // All thirteen parameters in force: the seeded store plus this run's --set.
  const Json& p = r["parameters"];
  EXPECT_EQ(p.order,
            (std::vector<std::string>{"NameVR512BSample", "PhoneSample", "Phone", "IDContact",
                                      "LowSpeed", "Secsoa", "Korvex", "Presto", "ShortTest",
                                      "Sound", "SoundSample", "KorvexTestMsg", "CBNoTone"}));
  EXPECT_EQ(p["NameVR512BSample"].text, "10001");
  EXPECT_EQ(p["PhoneSample"].text, "2001");
  EXPECT_EQ(p["Phone"].text, "2002");
  EXPECT_TRUE(p["Sound"].boolean);
  EXPECT_EQ(p["Sound"].kind, Json::Kind::Bool);
  EXPECT_FALSE(p["ShortTest"].boolean);

  // The unit under test first, whichever test opened which.
  ASSERT_EQ(r["units"].items.size(), 2u);
  EXPECT_EQ(r["units"][0]["role"].text, "ut");
  EXPECT_EQ(r["units"][0]["roleName"].text, "проверяемое");
  EXPECT_EQ(r["units"][0]["serialNumber"].number, 10002);
  EXPECT_EQ(r["units"][1]["role"].text, "ref");
  EXPECT_EQ(r["units"][1]["roleName"].text, "эталонное");
  EXPECT_EQ(r["units"][1]["serialNumber"].number, 10001);

  // The tests' logs are stdout, cut at the test boundaries.
  const Json& tests = r["tests"];
  ASSERT_EQ(tests.items.size(), 2u);
  EXPECT_EQ(tests[0]["id"].text, "func");
  EXPECT_EQ(tests[0]["caption"].text, "Функционирование");
  EXPECT_EQ(tests[1]["id"].text, "rx");
  EXPECT_EQ(tests[1]["caption"].text, "Прием данных");
  std::vector<std::string> logged;
  for (const Json& test : tests.items) {
    EXPECT_EQ(test["verdict"].text, "OK");
    const std::vector<std::string> log = test["log"].Strings();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[0], log[2]);
    EXPECT_EQ(log.back(), "");
    logged.insert(logged.end(), log.begin(), log.end());
  }
  EXPECT_EQ(tests[0]["log"][1].text, ">>>>>--Проверка функционирования--<<<<<");
  EXPECT_EQ(logged, Lines(run.out));
  EXPECT_TRUE(r["logOutsideTests"].items.empty());

  // Wall-clock times in order (ISO text sorts as time does).
  for (const Json* time : {&r["started"], &r["finished"], &tests[0]["started"],
                           &tests[0]["finished"], &tests[1]["started"], &tests[1]["finished"]})
    ExpectTime(*time);
  EXPECT_LE(r["started"].text, tests[0]["started"].text);
  EXPECT_LE(tests[0]["finished"].text, tests[1]["started"].text);
  EXPECT_LE(tests[1]["finished"].text, r["finished"].text);
}

TEST_F(RunRecordTest, UnitsKeepTheIdentityLastReadEvenAfterAFailedOpen) {
  // The unit under test goes away during the second test; the third cannot
  // open it at all, so the link no longer knows it, but the record does.
  const RunOutcome run = Launch({"--sim", "serial ut 4321", "--sim", "version ut 0102", "--sim",
                                 "unplug ut after 800", "func", "func", "func"});
  EXPECT_EQ(run.status, cli::kExitTestFailed);
  EXPECT_NE(run.out.find("Не удалось открыть проверяемое УПО"), std::string::npos);
  const Json r = Record();
  ASSERT_EQ(r["units"].items.size(), 1u);
  const Json& ut = r["units"][0];
  EXPECT_EQ(ut["role"].text, "ut");
  EXPECT_EQ(ut["serialNumber"].number, 4321);
  EXPECT_EQ(ut["version"].text, "1.2");
  EXPECT_EQ(ut["versionCode"].number, 0x0102);
  EXPECT_EQ(r["mode"]["benchScenarios"].Strings(),
            (std::vector<std::string>{"serial ut 4321", "version ut 0102", "unplug ut after 800"}));
  std::vector<std::string> verdicts;
  for (const Json& test : r["tests"].items)
    verdicts.push_back(test["verdict"].text);
  EXPECT_EQ(verdicts, (std::vector<std::string>{"OK", "Ошибка", "Ошибка"}));
  EXPECT_EQ(r["exitStatus"].number, cli::kExitTestFailed);
}

TEST_F(RunRecordTest, InterruptedRunIsRecordedUpToTheAbortedTest) {
  // An interrupt that is already pending presses Abort at the first message
  // pass; the run stops there and the record is still written.
  const volatile std::sig_atomic_t interrupt = 1;
  const RunOutcome run = Launch({"func", "indic"}, &interrupt);
  EXPECT_EQ(run.status, cli::kExitAborted);
  const Json r = Record();
  EXPECT_TRUE(r["interrupted"].boolean);
  EXPECT_EQ(r["exitStatus"].number, cli::kExitAborted);
  ASSERT_EQ(r["tests"].items.size(), 1u);
  EXPECT_EQ(r["tests"][0]["verdict"].text, "Прервано");
  EXPECT_EQ(r["tests"][0]["log"].Strings(), Lines(run.out));
  EXPECT_EQ(r["requestedTests"].items.size(), 2u);
}

TEST_F(RunRecordTest, NoRecordWhenTheConsoleNeverStarts) {
  // A record path in a missing folder is refused before any test runs.
  report = dir.File("missing/run.json");
  const RunOutcome refused = Launch({"func"});
  EXPECT_EQ(refused.status, cli::kExitCannotStart);
  EXPECT_EQ(refused.out, "");
  EXPECT_NE(refused.err.find("--report " + report), std::string::npos);

  // A usage error found after parsing leaves an older record as it was.
  report = dir.File("run.json");
  testing::WriteFile(report, "older record");
  EXPECT_EQ(Launch({"--set", "Colour=1", "func"}).status, cli::kExitUsage);
  EXPECT_EQ(Launch({"--sim", "unplug ut before 3", "func"}).status, cli::kExitUsage);
  EXPECT_EQ(testing::ReadFile(report), "older record");
}

#ifndef _WIN32
TEST_F(RunRecordTest, NoRecordWithoutTheHidLibrary) {
  testing::WriteFile(report, "older record");
  ::setenv("VR512B_HIDAPI_LIBRARY", "/nonexistent/libhidapi.so", 1);
  const cli::ParseResult parsed =
      cli::ParseCommandLine({"--settings", dir.File("p.reg"), "--report", report, "func"});
  std::ostringstream out;
  std::ostringstream err;
  std::istringstream in;
  const int status = cli::RunCli(parsed.options, {out, err, in, nullptr});
  ::unsetenv("VR512B_HIDAPI_LIBRARY");
  EXPECT_EQ(status, cli::kExitCannotStart);
  EXPECT_EQ(testing::ReadFile(report), "older record");
}
#endif

}  // namespace
}  // namespace vr512b
