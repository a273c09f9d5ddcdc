// The default bench and the scenarios of the --sim option, e.g.
// "unplug ref after 5" or "call ut 50 0E01341234 2001".

#include "sim/bench_config.h"

#include <cctype>
#include <charconv>
#include <sstream>

namespace vr512b::sim {

namespace {

using Words = BenchScenario::Words;

std::vector<std::string> SplitWords(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> word;)
    words.push_back(word);
  return words;
}

std::optional<TUnitRole> ParseRole(const std::string& word) {
  if (word == "ut")
    return urUnderTest;
  if (word == "ref")
    return urReference;
  return std::nullopt;
}

std::optional<int> ParseCount(const std::string& word, int max) {
  int value = 0;
  const char* end = word.data() + word.size();
  const auto [ptr, ec] = std::from_chars(word.data(), end, value);
  if (ec != std::errc() || ptr != end || value < 0 || value > max)
    return std::nullopt;
  return value;
}

std::optional<unsigned> ParseHexNumber(std::string word, std::size_t maxDigits) {
  if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X'))
    word.erase(0, 2);
  if (word.empty() || word.size() > maxDigits)
    return std::nullopt;
  unsigned value = 0;
  const char* end = word.data() + word.size();
  const auto [ptr, ec] = std::from_chars(word.data(), end, value, 16);
  if (ec != std::errc() || ptr != end)
    return std::nullopt;
  return value;
}

std::optional<std::vector<std::uint8_t>> ParseHexBytes(const std::string& digits,
                                                       std::size_t maxBytes) {
  if (digits.empty() || digits.size() % 2 != 0 || digits.size() / 2 > maxBytes) {
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    const auto byte = ParseHexNumber(digits.substr(i, 2), 2);
    if (!byte)
      return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(*byte));
  }
  return bytes;
}

// "serial ROLE TEXT" keeps TEXT exactly as written, blanks included, since
// leading blanks and signs are part of what the console must cope with.
std::string RestAfterWords(const std::string& text, int words) {
  std::size_t at = 0;
  for (int i = 0; i < words; ++i) {
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at])))
      ++at;
    while (at < text.size() && !std::isspace(static_cast<unsigned char>(text[at])))
      ++at;
  }
  if (at < text.size())
    ++at;  // the one blank that separates TEXT
  std::string rest = text.substr(at);
  while (!rest.empty() && (rest.back() == '\n' || rest.back() == '\r'))
    rest.pop_back();
  return rest;
}

// "unplug ROLE after N", "drop ROLE after N".
std::optional<int> AfterCount(const Words& s) {
  return s.words.size() == 4 && s.words[2] == "after" ? ParseCount(s.words[3], 1000000)
                                                      : std::nullopt;
}

bool SetFlag(bool& flag, const Words& s) {
  if (s.words.size() != 1)
    return false;
  flag = true;
  return true;
}

bool Absent(BenchConfig& c, const Words& s) {
  if (s.words.size() != 2)
    return false;
  c.units[s.role].present = false;
  return true;
}

bool Serial(BenchConfig& c, const Words& s) {
  const std::string text = RestAfterWords(s.text, 2);
  if (text.empty())
    return false;
  c.units[s.role].serial = text;
  return true;
}

bool Version(BenchConfig& c, const Words& s) {
  const auto version = s.words.size() == 3 ? ParseHexNumber(s.words[2], 4) : std::nullopt;
  if (!version)
    return false;
  c.units[s.role].version = static_cast<std::uint16_t>(*version);
  return true;
}

bool Unplug(BenchConfig& c, const Words& s) {
  const auto n = AfterCount(s);
  if (!n)
    return false;
  c.faults[s.role].unplugAfterTransfers = *n;
  return true;
}

bool ConfigByte(BenchConfig& c, const Words& s) {
  const auto k = s.words.size() == 3 ? ParseCount(s.words[2], 15) : std::nullopt;
  if (!k)
    return false;
  c.faults[s.role].configByteNotKept = *k;
  return true;
}

bool Pending(BenchConfig& c, const Words& s) {
  std::string digits;
  for (std::size_t i = 2; i < s.words.size(); ++i)
    digits += s.words[i];
  const auto bytes = ParseHexBytes(digits, kMsgDataField + kMsgDataFieldSize);
  if (!bytes)
    return false;
  c.faults[s.role].pendingReply = *bytes;
  return true;
}

bool Busy(BenchConfig& c, const Words& s) {
  if (s.words.size() != 2)
    return false;
  c.faults[s.role].stuckBusy = true;
  return true;
}

bool Drop(BenchConfig& c, const Words& s) {
  const auto n = AfterCount(s);
  if (!n)
    return false;
  c.faults[s.role].dropAfterMessages = *n;
  return true;
}

bool Corrupt(BenchConfig& c, const Words& s) {
  const auto n = s.words.size() == 3 ? ParseCount(s.words[2], 1000000) : std::nullopt;
  if (!n)
    return false;
  c.faults[s.role].corruptMessage = *n;
  return true;
}

bool Call(BenchConfig& c, const Words& s) {
  const std::vector<std::string>& w = s.words;
  if (w.size() < 4 || w.size() > 5 || w[2].size() != 2)
    return false;
  const auto format = ParseHexNumber(w[2], 2);
  const auto data = ParseHexBytes(w[3], kMsgDataFieldSize);
  if (!format || !data)
    return false;
  RemoteCall call;
  call.target = s.role;
  call.format = static_cast<std::uint8_t>(*format);
  call.data = *data;
  if (w.size() == 5) {
    if (w[4].size() > kMsgNumberFieldSize - 1)
      return false;
    call.callingNumber = w[4];
  }
  c.calls.push_back(call);
  return true;
}

// "error ROLE CODE after N [quiet]": after its N-th message on the line the
// unit sends the error reply CODE, as an event or, quiet, among the messages.
bool Error(BenchConfig& c, const Words& s) {
  const std::vector<std::string>& w = s.words;
  if (w.size() != 5 && !(w.size() == 6 && w[5] == "quiet"))
    return false;
  const auto code = ParseCount(w[2], 255);
  const auto after = w[3] == "after" ? ParseCount(w[4], 1000000) : std::nullopt;
  if (!code || !after || *after == 0)
    return false;
  c.faults[s.role].lineError = LineError{*after, static_cast<std::uint8_t>(*code), w.size() == 6};
  return true;
}

// "count-after-read ROLE N": the received counter reads N once every stored
// message has been read back.
bool CountAfterRead(BenchConfig& c, const Words& s) {
  const auto count = s.words.size() == 3 ? ParseCount(s.words[2], 255) : std::nullopt;
  if (!count)
    return false;
  c.faults[s.role].countAfterReadBack = *count;
  return true;
}

// "replay ROLE FILE": the unit answers from the trace FILE (the rest of the
// text, blanks included). Both roles replay from one trace, since a trace is
// one run of the console.
bool Replay(BenchConfig& c, const Words& s) {
  const std::string path = RestAfterWords(s.text, 2);
  if (path.empty() || (c.replay && c.replay->path != path))
    return false;
  if (!c.replay)
    c.replay = ReplaySetup{path, {}};
  c.replay->roles[s.role] = true;
  return true;
}

}  // namespace

BenchConfig DefaultBenchConfig() {
  BenchConfig config;
  config.units[urReference] = UnitSetup{true, "10001", 0x0203, "2001"};
  config.units[urUnderTest] = UnitSetup{true, "10002", 0x0203, "2002"};
  return config;
}

std::span<const BenchScenario> AllScenarios() {
  static const BenchScenario scenarios[] = {
      {"absent", "РОЛЬ", "", Absent},
      {"serial", "РОЛЬ ТЕКСТ", "", Serial},
      {"version", "РОЛЬ HEX", "до четырех шестнадцатеричных цифр, например 0A03", Version},
      {"unplug", "РОЛЬ after N", "", Unplug},
      {"config-byte", "РОЛЬ K", "K от 0 до 15", ConfigByte},
      {"pending", "РОЛЬ HEX", "от 1 до 42 байт", Pending},
      {"busy", "РОЛЬ", "", Busy},
      {"display-broken", "", "",
       [](BenchConfig& c, const Words& s) { return SetFlag(c.displayBroken, s); }},
      {"buzzer-broken", "", "",
       [](BenchConfig& c, const Words& s) { return SetFlag(c.buzzerBroken, s); }},
      {"no-dial-tone", "", "",
       [](BenchConfig& c, const Words& s) { return SetFlag(c.noDialTone, s); }},
      {"voltage-stays", "", "",
       [](BenchConfig& c, const Words& s) { return SetFlag(c.voltageStays, s); }},
      {"drop", "РОЛЬ after N", "", Drop},
      {"corrupt", "РОЛЬ N", "", Corrupt},
      {"call", "РОЛЬ ФОРМАТ HEX [НОМЕР]",
       "ФОРМАТ - две шестнадцатеричные цифры, HEX - от 1 до 24 байт", Call},
      {"error", "РОЛЬ КОД after N [quiet]", "КОД от 0 до 255, N от 1", Error},
      {"count-after-read", "РОЛЬ N", "N от 0 до 255", CountAfterRead},
      {"power-off-before-ok", "", "",
       [](BenchConfig& c, const Words& s) { return SetFlag(c.powerOffBeforeOk, s); }},
      {"replay", "РОЛЬ ФАЙЛ",
       "ФАЙЛ - трасса обмена, записанная с --trace; обе роли - из одной трассы", Replay},
  };
  return scenarios;
}

std::string BenchScenario::Usage() const {
  std::string usage(keyword);
  if (!arguments.empty()) {
    usage += ' ';
    usage += arguments;
  }
  return usage;
}

std::string ApplyScenario(BenchConfig& config, const std::string& scenario) {
  const std::vector<std::string> words = SplitWords(scenario);
  if (words.empty())
    return "пустой сценарий";
  const BenchScenario* found = nullptr;
  for (const BenchScenario& candidate : AllScenarios()) {
    if (candidate.keyword == words[0])
      found = &candidate;
  }
  if (found == nullptr)
    return "неизвестный сценарий '" + words[0] + "'";
  const auto malformed = [&] {
    std::string error = "неверный сценарий '" + scenario + "', ожидается: " + found->Usage();
    if (!found->hint.empty())
      error += " (" + std::string(found->hint) + ")";
    return error;
  };
  TUnitRole role = urUnderTest;
  if (found->ForUnit()) {
    if (words.size() < 2)
      return malformed();
    const std::optional<TUnitRole> named = ParseRole(words[1]);
    if (!named)
      return "неизвестная роль '" + words[1] + "' в '" + scenario + "' (ut или ref)";
    role = *named;
  }
  if (!found->apply(config, BenchScenario::Words{scenario, words, role}))
    return malformed();
  return {};
}

}  // namespace vr512b::sim
