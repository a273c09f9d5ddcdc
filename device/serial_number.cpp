#include "device/serial_number.h"

#include "common/text.h"

namespace vr512b {

namespace {

bool IsWhiteSpace(char16_t c) {
  return c == u' ' || (c >= u'\t' && c <= u'\r');
}

}  // namespace

std::int32_t SerialStringToInt(std::u16string_view serial) {
  std::size_t i = 0;
  while (i < serial.size() && IsWhiteSpace(serial[i]))
    ++i;
  bool negative = false;
  if (i < serial.size() && (serial[i] == u'+' || serial[i] == u'-')) {
    negative = serial[i] == u'-';
    ++i;
  }
  std::uint32_t value = 0;
  for (; i < serial.size() && serial[i] >= u'0' && serial[i] <= u'9'; ++i) {
    value = value * 10u + static_cast<std::uint32_t>(serial[i] - u'0');
  }
  if (negative)
    value = 0u - value;
  return static_cast<std::int32_t>(value);
}

std::int32_t ReferenceSerialFromText(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ')
    ++i;
  text.remove_prefix(i);
  if (text.empty())
    return 0;

  std::size_t hexStart = 0;
  if (text[0] == '$' || text[0] == 'x' || text[0] == 'X') {
    hexStart = 1;
  } else if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    hexStart = 2;
  }
  if (hexStart != 0) {
    const std::string_view digits = text.substr(hexStart);
    if (digits.empty() || digits.size() > 8)
      return 0;
    std::uint32_t value = 0;
    for (char c : digits) {
      const int d = HexDigitValue(c);
      if (d < 0)
        return 0;
      value = (value << 4) | static_cast<std::uint32_t>(d);
    }
    return static_cast<std::int32_t>(value);
  }

  bool negative = false;
  if (text[0] == '+' || text[0] == '-') {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty())
    return 0;
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9')
      return 0;
    value = value * 10 + (c - '0');
    if (value > 2147483648LL)
      return 0;
  }
  if (negative)
    value = -value;
  if (value > 2147483647LL || value < -2147483648LL)
    return 0;
  return static_cast<std::int32_t>(value);
}

std::u16string SerialFromBuffer(const char16_t* buffer, std::size_t units) {
  std::u16string result;
  for (std::size_t i = 0; i < units && buffer[i] != 0; ++i)
    result.push_back(buffer[i]);
  return result;
}

}  // namespace vr512b
