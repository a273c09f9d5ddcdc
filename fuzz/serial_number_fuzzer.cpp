// Both serial-number conversions against plain models that work in 64-bit
// arithmetic and read the rules off their wording.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "device/serial_number.h"

namespace {

bool IsDigit(char32_t c) {
  return c >= '0' && c <= '9';
}

int HexDigit(char c) {
  if (IsDigit(static_cast<unsigned char>(c)))
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

std::int32_t FromPattern(std::uint64_t pattern) {
  pattern &= 0xFFFFFFFFu;
  const std::int64_t value = static_cast<std::int64_t>(pattern);
  return static_cast<std::int32_t>(value >= 0x80000000LL ? value - 0x100000000LL : value);
}

// Leading white space, one optional sign, decimal digits up to the first
// non-digit, modulo 2^32, negated after "-".
std::int32_t ModelSerialString(std::u16string_view s) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == u' ' || (s[i] >= u'\t' && s[i] <= u'\r')))
    ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == u'+' || s[i] == u'-'))
    negative = s[i++] == u'-';
  std::uint64_t value = 0;
  for (; i < s.size() && IsDigit(s[i]); ++i)
    value = (value * 10 + (s[i] - u'0')) % 0x100000000ULL;
  if (negative)
    value = (0x100000000ULL - value) % 0x100000000ULL;
  return FromPattern(value);
}

// Leading blanks; then a sign and decimal digits that fit 32 signed bits, or
// "$", "x", "X", "0x", "0X" and one to eight hexadecimal digits taken as a bit
// pattern; nothing after. Anything else is 0.
std::int32_t ModelReference(std::string_view s) {
  while (!s.empty() && s.front() == ' ')
    s.remove_prefix(1);
  std::string_view hex;
  if (s.starts_with("0x") || s.starts_with("0X")) {
    hex = s.substr(2);
  } else if (s.starts_with("$") || s.starts_with("x") || s.starts_with("X")) {
    hex = s.substr(1);
  } else {
    bool negative = false;
    if (s.starts_with("+") || s.starts_with("-")) {
      negative = s.front() == '-';
      s.remove_prefix(1);
    }
    if (s.empty())
      return 0;
    std::int64_t value = 0;
    for (char c : s) {
      if (!IsDigit(static_cast<unsigned char>(c)))
        return 0;
      value = value * 10 + (c - '0');
      if (value > 0x80000000LL)
        return 0;
    }
    if (negative)
      value = -value;
    if (value > 0x7FFFFFFFLL)
      return 0;
    return static_cast<std::int32_t>(value);
  }
  if (hex.empty() || hex.size() > 8)
    return 0;
  std::uint64_t pattern = 0;
  for (char c : hex) {
    if (HexDigit(c) < 0)
      return 0;
    pattern = pattern * 16 + static_cast<std::uint64_t>(HexDigit(c));
  }
  return FromPattern(pattern);
}

[[noreturn]] void Differ(const char* what, long long got, long long want) {
  std::fprintf(stderr, "serial_number: %s gives %lld, the model %lld\n", what, got, want);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::int32_t reference = vr512b::ReferenceSerialFromText(text);
  if (reference != ModelReference(text))
    Differ("ReferenceSerialFromText", reference, ModelReference(text));

  // The unit's string both as bytes widened to UTF-16 (easy digits) and as
  // little-endian code-unit pairs (any code unit).
  std::u16string widened(text.begin(), text.end());
  for (char16_t& c : widened)
    c = static_cast<unsigned char>(c);
  std::u16string pairs;
  for (std::size_t i = 0; i + 1 < size; i += 2)
    pairs.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  for (const std::u16string& serial : {widened, pairs}) {
    const std::int32_t got = vr512b::SerialStringToInt(serial);
    if (got != ModelSerialString(serial))
      Differ("SerialStringToInt", got, ModelSerialString(serial));
  }
  return 0;
}
