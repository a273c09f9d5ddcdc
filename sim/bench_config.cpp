// Default bench and the scenario texts of the command-line runner's --sim
// option, e.g. "unplug ref after 5" or "call ut 50 0E01341234 2001".

#include <cctype>
#include <charconv>
#include <optional>
#include <sstream>

#include "virtual_bench.h"

namespace vr512b::sim {

namespace {

std::vector<std::string> Words(const std::string& text) {
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

// Empty for a keyword that is not a scenario of a unit.
std::string UnitScenarioUsage(const std::string& keyword) {
  if (keyword == "absent" || keyword == "busy")
    return keyword + " ROLE";
  if (keyword == "serial")
    return "serial ROLE TEXT";
  if (keyword == "version")
    return "version ROLE HEX (up to four hex digits, e.g. 0A03)";
  if (keyword == "unplug")
    return "unplug ROLE after N";
  if (keyword == "config-byte")
    return "config-byte ROLE K (K from 0 to 15)";
  if (keyword == "pending")
    return "pending ROLE HEX (1 to 42 bytes)";
  if (keyword == "drop")
    return "drop ROLE after N";
  if (keyword == "corrupt")
    return "corrupt ROLE N";
  if (keyword == "call") {
    return "call ROLE FORMAT HEX [NUMBER] (FORMAT two hex digits, HEX 1 to 24 bytes)";
  }
  if (keyword == "error")
    return "error ROLE CODE after N [quiet] (CODE 0 to 255, N from 1)";
  if (keyword == "count-after-read")
    return "count-after-read ROLE N (N 0 to 255)";
  return {};
}

// "error ROLE CODE after N [quiet]": after its N-th message on the line the
// unit sends the error reply CODE, as an event or, quiet, among the messages.
bool ParseLineError(const std::vector<std::string>& w, UnitFaults& faults) {
  if (w.size() != 5 && !(w.size() == 6 && w[5] == "quiet"))
    return false;
  const auto code = ParseCount(w[2], 255);
  const auto after = w[3] == "after" ? ParseCount(w[4], 1000000) : std::nullopt;
  if (!code || !after || *after == 0)
    return false;
  faults.lineError = LineError{*after, static_cast<std::uint8_t>(*code), w.size() == 6};
  return true;
}

// "count-after-read ROLE N": the received counter reads N once every stored
// message has been read back.
bool ParseCountAfterRead(const std::vector<std::string>& w, UnitFaults& faults) {
  const auto count = w.size() == 3 ? ParseCount(w[2], 255) : std::nullopt;
  if (!count)
    return false;
  faults.countAfterReadBack = *count;
  return true;
}

bool* BenchFlag(BenchConfig& config, const std::string& keyword) {
  if (keyword == "display-broken")
    return &config.displayBroken;
  if (keyword == "buzzer-broken")
    return &config.buzzerBroken;
  if (keyword == "no-dial-tone")
    return &config.noDialTone;
  if (keyword == "voltage-stays")
    return &config.voltageStays;
  if (keyword == "power-off-before-ok")
    return &config.powerOffBeforeOk;
  return nullptr;
}

}  // namespace

BenchConfig DefaultBenchConfig() {
  BenchConfig config;
  config.units[urReference] = UnitSetup{true, "10001", 0x0203, "2001"};
  config.units[urUnderTest] = UnitSetup{true, "10002", 0x0203, "2002"};
  return config;
}

std::string ApplyScenario(BenchConfig& config, const std::string& scenario) {
  const std::vector<std::string> w = Words(scenario);
  if (w.empty())
    return "empty scenario";
  const std::string& keyword = w[0];
  if (bool* flag = BenchFlag(config, keyword)) {
    if (w.size() != 1)
      return "scenario '" + keyword + "' takes no arguments";
    *flag = true;
    return {};
  }
  const std::string usage = UnitScenarioUsage(keyword);
  if (usage.empty())
    return "unknown scenario '" + keyword + "'";
  const auto malformed = [&] {
    return "malformed scenario '" + scenario + "', expected: " + usage;
  };
  if (w.size() < 2)
    return malformed();
  const std::optional<TUnitRole> role = ParseRole(w[1]);
  if (!role)
    return "unknown role '" + w[1] + "' in '" + scenario + "' (ut or ref)";
  UnitSetup& unit = config.units[*role];
  UnitFaults& faults = config.faults[*role];

  if (keyword == "absent" || keyword == "busy") {
    if (w.size() != 2)
      return malformed();
    if (keyword == "absent") {
      unit.present = false;
    } else {
      faults.stuckBusy = true;
    }
  } else if (keyword == "serial") {
    const std::string text = RestAfterWords(scenario, 2);
    if (text.empty())
      return malformed();
    unit.serial = text;
  } else if (keyword == "version") {
    const auto version = w.size() == 3 ? ParseHexNumber(w[2], 4) : std::nullopt;
    if (!version)
      return malformed();
    unit.version = static_cast<std::uint16_t>(*version);
  } else if (keyword == "unplug" || keyword == "drop") {
    const auto n = w.size() == 4 && w[2] == "after" ? ParseCount(w[3], 1000000) : std::nullopt;
    if (!n)
      return malformed();
    (keyword == "unplug" ? faults.unplugAfterTransfers : faults.dropAfterMessages) = *n;
  } else if (keyword == "config-byte") {
    const auto k = w.size() == 3 ? ParseCount(w[2], 15) : std::nullopt;
    if (!k)
      return malformed();
    faults.configByteNotKept = *k;
  } else if (keyword == "corrupt") {
    const auto n = w.size() == 3 ? ParseCount(w[2], 1000000) : std::nullopt;
    if (!n)
      return malformed();
    faults.corruptMessage = *n;
  } else if (keyword == "error") {
    if (!ParseLineError(w, faults))
      return malformed();
  } else if (keyword == "count-after-read") {
    if (!ParseCountAfterRead(w, faults))
      return malformed();
  } else if (keyword == "pending") {
    std::string digits;
    for (std::size_t i = 2; i < w.size(); ++i)
      digits += w[i];
    const auto bytes = ParseHexBytes(digits, kMsgDataField + kMsgDataFieldSize);
    if (!bytes)
      return malformed();
    faults.pendingReply = *bytes;
  } else {  // call
    if (w.size() < 4 || w.size() > 5 || w[2].size() != 2)
      return malformed();
    const auto format = ParseHexNumber(w[2], 2);
    const auto data = ParseHexBytes(w[3], kMsgDataFieldSize);
    if (!format || !data)
      return malformed();
    RemoteCall call;
    call.target = *role;
    call.format = static_cast<std::uint8_t>(*format);
    call.data = *data;
    if (w.size() == 5) {
      if (w[4].size() > kMsgNumberFieldSize - 1)
        return malformed();
      call.callingNumber = w[4];
    }
    config.calls.push_back(call);
  }
  return {};
}

}  // namespace vr512b::sim
