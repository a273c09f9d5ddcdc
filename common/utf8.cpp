#include "common/utf8.h"

#include <cstdint>

namespace vr512b {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsSurrogate(char32_t c) {
  return c >= 0xD800 && c <= 0xDFFF;
}

template <typename Units>
void AppendUtf16Units(Units& out, char32_t c) {
  using Unit = typename Units::value_type;
  if (c < 0x10000) {
    out.push_back(static_cast<Unit>(c));
  } else {
    out.push_back(static_cast<Unit>(0xD800 + ((c - 0x10000) >> 10)));
    out.push_back(static_cast<Unit>(0xDC00 + ((c - 0x10000) & 0x3FF)));
  }
}

template <typename Units>
void AppendDecoded(Units& out, std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Step step = DecodeUtf8(text, i);
    const char32_t c = step.valid ? step.codePoint : kReplacement;
    if constexpr (sizeof(typename Units::value_type) == 2) {
      AppendUtf16Units(out, c);
    } else {
      out.push_back(static_cast<typename Units::value_type>(c));
    }
    i += step.length;
  }
}

template <typename Unit>
std::string FromUtf16(std::basic_string_view<Unit> text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto first = static_cast<char32_t>(static_cast<std::uint16_t>(text[i]));
    if (first >= 0xD800 && first <= 0xDBFF && i + 1 < text.size()) {
      const auto second = static_cast<char32_t>(static_cast<std::uint16_t>(text[i + 1]));
      if (second >= 0xDC00 && second <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00));
        ++i;
        continue;
      }
    }
    AppendUtf8(out, first);
  }
  return out;
}

}  // namespace

std::size_t Utf8Length(std::string_view text) {
  std::size_t count = 0;
  for (unsigned char c : text) {
    if ((c & 0xC0) != 0x80)
      ++count;
  }
  return count;
}

std::size_t Utf16Length(std::string_view text) {
  std::size_t units = 0;
  for (unsigned char c : text)
    units += static_cast<std::size_t>((c & 0xC0) != 0x80) + static_cast<std::size_t>(c >= 0xF0);
  return units;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (IsSurrogate(c) || c > 0x10FFFF)
    c = kReplacement;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

Utf8Step DecodeUtf8(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80)
    return {1, lead, true};
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
    if (at + k >= text.size())
      return {k, 0, false};
    const auto next = static_cast<unsigned char>(text[at + k]);
    if (next < low || next > high)
      return {k, 0, false};
    low = 0x80;
    high = 0xBF;
    codePoint = (codePoint << 6) | (next & 0x3Fu);
  }
  return {trailing + 1, codePoint, true};
}

std::string ValidUtf8(std::string_view text) {
  constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Step step = DecodeUtf8(text, i);
    out += step.valid ? text.substr(i, step.length) : kReplacementUtf8;
    i += step.length;
  }
  return out;
}

void AppendUtf16(std::u16string& out, char32_t codePoint) {
  AppendUtf16Units(out, codePoint);
}

bool IsValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Step step = DecodeUtf8(text, i);
    if (!step.valid)
      return false;
    i += step.length;
  }
  return true;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  AppendDecoded(out, text);
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  return FromUtf16(text);
}

std::wstring Utf8ToWide(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  AppendDecoded(out, text);
  return out;
}

std::string WideToUtf8(std::wstring_view text) {
  if constexpr (sizeof(wchar_t) == 2) {
    return FromUtf16(text);
  } else {
    std::string out;
    out.reserve(text.size());
    for (wchar_t c : text)
      AppendUtf8(out, static_cast<char32_t>(c));
    return out;
  }
}

}  // namespace vr512b
