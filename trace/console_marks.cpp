#include "trace/console_marks.h"

#include <charconv>
#include <cstdio>

#include "common/text.h"
#include "trace/pcapng_layout.h"

namespace vr512b::trace {
namespace {

using Kind = ConsoleMark::Kind;

constexpr std::string_view kRun = "Запуск: ";
constexpr std::string_view kParameters = "Параметры тестирования:";
constexpr std::string_view kTestStarted = "Начало теста ";
constexpr std::string_view kGenerator = ", генератор 0x";
constexpr std::string_view kTestFinished = "Конец теста ";
constexpr std::string_view kOpened = "Открыто ";
constexpr std::string_view kOpenedUnderTest = "проверяемое";
constexpr std::string_view kOpenedReference = "эталонное";
constexpr std::string_view kDevice = " УПО, устройство ";
constexpr std::string_view kAnswerYes = "Ответ «Да»: ";
constexpr std::string_view kAnswerNo = "Ответ «Нет»: ";
constexpr std::string_view kNotice = "Указание: ";
constexpr std::string_view kAbort = "Нажато «Прервать»";

// A test's id or a parameter's name: one word of letters and digits.
bool IsWord(std::string_view text) {
  if (text.empty())
    return false;
  for (const char c : text) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!letter && !(c >= '0' && c <= '9'))
      return false;
  }
  return true;
}

// A parameter's value in quotes, with the quote, the backslash and control
// characters escaped, so that any text survives the one-line mark.
void AppendQuoted(std::string& out, std::string_view value) {
  out += '"';
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      out += "\\x";
      AppendHexByte(out, byte);
    } else {
      out += c;
    }
  }
  out += '"';
}

std::optional<unsigned> HexValue(std::string_view digits) {
  unsigned value = 0;
  const char* end = digits.data() + digits.size();
  const auto [ptr, ec] = std::from_chars(digits.data(), end, value, 16);
  if (digits.empty() || ec != std::errc() || ptr != end)
    return std::nullopt;
  return value;
}

// Reads `name="value"` pairs separated by blanks.
std::optional<std::vector<std::pair<std::string, std::string>>> ParseParameters(
    std::string_view text) {
  std::vector<std::pair<std::string, std::string>> pairs;
  std::size_t at = 0;
  while (at < text.size()) {
    if (text[at++] != ' ')
      return std::nullopt;
    const std::size_t equals = text.find('=', at);
    if (equals == std::string_view::npos || !IsWord(text.substr(at, equals - at)) ||
        equals + 1 >= text.size() || text[equals + 1] != '"')
      return std::nullopt;
    std::string name(text.substr(at, equals - at));
    std::string value;
    at = equals + 2;
    for (;;) {
      if (at >= text.size())
        return std::nullopt;
      const char c = text[at++];
      if (c == '"')
        break;
      if (c != '\\') {
        value += c;
        continue;
      }
      if (at >= text.size())
        return std::nullopt;
      const char escaped = text[at++];
      if (escaped == '"' || escaped == '\\') {
        value += escaped;
      } else if (escaped == 'x' && at + 2 <= text.size()) {
        const auto byte = HexValue(text.substr(at, 2));
        if (!byte)
          return std::nullopt;
        value += static_cast<char>(*byte);
        at += 2;
      } else {
        return std::nullopt;
      }
    }
    pairs.emplace_back(std::move(name), std::move(value));
  }
  return pairs;
}

std::optional<ConsoleMark> ParseTestStarted(std::string_view rest) {
  const std::size_t comma = rest.find(kGenerator);
  if (comma == std::string_view::npos || !IsWord(rest.substr(0, comma)))
    return std::nullopt;
  const std::string_view digits = rest.substr(comma + kGenerator.size());
  const auto state = digits.size() == 8 ? HexValue(digits) : std::nullopt;
  if (!state)
    return std::nullopt;
  ConsoleMark mark;
  mark.kind = Kind::TestStarted;
  mark.name = rest.substr(0, comma);
  mark.generator = *state;
  return mark;
}

std::optional<ConsoleMark> ParseTestFinished(std::string_view rest) {
  const std::size_t colon = rest.find(": ");
  if (colon == std::string_view::npos || !IsWord(rest.substr(0, colon)))
    return std::nullopt;
  ConsoleMark mark;
  mark.kind = Kind::TestFinished;
  mark.name = rest.substr(0, colon);
  mark.text = rest.substr(colon + 2);
  return mark;
}

std::optional<ConsoleMark> ParseOpened(std::string_view rest) {
  ConsoleMark mark;
  mark.kind = Kind::UnitOpened;
  if (rest.starts_with(kOpenedUnderTest)) {
    mark.role = Role::UnderTest;
    rest.remove_prefix(kOpenedUnderTest.size());
  } else if (rest.starts_with(kOpenedReference)) {
    mark.role = Role::Reference;
    rest.remove_prefix(kOpenedReference.size());
  } else {
    return std::nullopt;
  }
  if (!rest.starts_with(kDevice))
    return std::nullopt;
  rest.remove_prefix(kDevice.size());
  unsigned address = 0;
  const char* end = rest.data() + rest.size();
  const auto [ptr, ec] = std::from_chars(rest.data(), end, address);
  if (rest.empty() || ec != std::errc() || ptr != end || address < layout::kFirstDeviceAddress ||
      address > 127)
    return std::nullopt;
  mark.unit = address - layout::kFirstDeviceAddress;
  return mark;
}

}  // namespace

std::string MarkText(const ConsoleMark& mark) {
  switch (mark.kind) {
    case Kind::Run:
      return std::string(kRun) + mark.name;
    case Kind::Parameters: {
      std::string text(kParameters);
      for (const auto& [name, value] : mark.parameters) {
        text += ' ';
        text += name;
        text += '=';
        AppendQuoted(text, value);
      }
      return text;
    }
    case Kind::TestStarted: {
      char state[9];
      std::snprintf(state, sizeof state, "%08X", static_cast<unsigned>(mark.generator));
      return std::string(kTestStarted) + mark.name + std::string(kGenerator) + state;
    }
    case Kind::TestFinished:
      return std::string(kTestFinished) + mark.name + ": " + mark.text;
    case Kind::UnitOpened:
      return std::string(kOpened) +
             std::string(mark.role == Role::Reference ? kOpenedReference : kOpenedUnderTest) +
             std::string(kDevice) + std::to_string(layout::kFirstDeviceAddress + mark.unit);
    case Kind::Answer:
      return std::string(mark.yes ? kAnswerYes : kAnswerNo) + mark.text;
    case Kind::Notice:
      return std::string(kNotice) + mark.text;
    case Kind::Abort:
      return std::string(kAbort);
  }
  return {};
}

std::optional<ConsoleMark> ParseMark(std::string_view text) {
  ConsoleMark mark;
  if (text.starts_with(kRun) && IsWord(text.substr(kRun.size()))) {
    mark.kind = Kind::Run;
    mark.name = text.substr(kRun.size());
    return mark;
  }
  if (text.starts_with(kParameters)) {
    auto parameters = ParseParameters(text.substr(kParameters.size()));
    if (!parameters)
      return std::nullopt;
    mark.kind = Kind::Parameters;
    mark.parameters = std::move(*parameters);
    return mark;
  }
  if (text.starts_with(kTestStarted))
    return ParseTestStarted(text.substr(kTestStarted.size()));
  if (text.starts_with(kTestFinished))
    return ParseTestFinished(text.substr(kTestFinished.size()));
  if (text.starts_with(kOpened))
    return ParseOpened(text.substr(kOpened.size()));
  if (text.starts_with(kAnswerYes) || text.starts_with(kAnswerNo)) {
    mark.kind = Kind::Answer;
    mark.yes = text.starts_with(kAnswerYes);
    mark.text = text.substr(mark.yes ? kAnswerYes.size() : kAnswerNo.size());
    return mark;
  }
  if (text.starts_with(kNotice)) {
    mark.kind = Kind::Notice;
    mark.text = text.substr(kNotice.size());
    return mark;
  }
  if (text == kAbort) {
    mark.kind = Kind::Abort;
    return mark;
  }
  return std::nullopt;
}

}  // namespace vr512b::trace
