#include "settings/reg_file_text.h"

#include <algorithm>

#include "common/cp1251.h"
#include "common/text.h"
#include "common/utf8.h"

namespace vr512b {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16Mark = "\xFF\xFE";

bool IsAscii(std::string_view bytes) {
  return std::all_of(bytes.begin(), bytes.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

RegFileEncoding NarrowEncoding(std::string_view bytes) {
  if (!IsValidUtf8(bytes))
    return RegFileEncoding::Ansi;
  if (!IsAscii(bytes))
    return RegFileEncoding::Utf8;
  return StartsWithIgnoringAsciiCase(TrimLeft(bytes, IsSpaceOrTab), "REGEDIT4")
             ? RegFileEncoding::Ansi
             : RegFileEncoding::Utf8;
}

std::u16string Utf16Units(std::string_view bytes) {
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return units;
}

std::string Utf16Bytes(std::u16string_view units) {
  std::string bytes;
  bytes.reserve(units.size() * 2);
  for (char16_t unit : units) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

}  // namespace

RegFileLines SplitRegFile(std::string_view bytes) {
  RegFileLines file;
  std::size_t mark = 0;
  if (bytes.starts_with(kUtf16Mark)) {
    file.encoding = RegFileEncoding::Utf16Le;
    mark = kUtf16Mark.size();
  } else if (bytes.starts_with(kUtf8Mark)) {
    file.encoding = RegFileEncoding::Utf8;
    mark = kUtf8Mark.size();
  } else {
    file.encoding = NarrowEncoding(bytes);
  }
  file.byteOrderMark = std::string(bytes.data(), mark);
  bytes.remove_prefix(mark);
  const std::size_t unit = file.encoding == RegFileEncoding::Utf16Le ? 2 : 1;
  if (bytes.size() % unit != 0) {
    file.oddByte.assign(1, bytes.back());
    bytes.remove_suffix(1);
  }
  std::size_t start = 0;
  for (std::size_t i = 0; i < bytes.size(); i += unit) {
    if (bytes[i] == '\n' && (unit == 1 || bytes[i + 1] == '\0')) {
      file.lines.emplace_back(bytes.substr(start, i + unit - start));
      start = i + unit;
    }
  }
  if (start < bytes.size())
    file.lines.emplace_back(bytes.substr(start));
  return file;
}

std::string DecodeRegText(std::string_view bytes, RegFileEncoding encoding) {
  switch (encoding) {
    case RegFileEncoding::Utf16Le:
      return Utf16ToUtf8(Utf16Units(bytes));
    case RegFileEncoding::Ansi:
      return Cp1251ToUtf8(bytes);
    case RegFileEncoding::Utf8:
      break;
  }
  // Only a file behind the UTF-8 mark gets here with bytes that are no UTF-8
  // (without the mark they make it ANSI); as text they are nothing to show or
  // to write into the UTF-16 of a list.
  return ValidUtf8(bytes);
}

std::optional<std::string> EncodeRegText(std::string_view text, RegFileEncoding encoding) {
  switch (encoding) {
    case RegFileEncoding::Utf16Le:
      if (!IsValidUtf8(text))
        return std::nullopt;
      return Utf16Bytes(Utf8ToUtf16(text));
    case RegFileEncoding::Ansi:
      return Utf8ToCp1251(text);
    case RegFileEncoding::Utf8:
      break;
  }
  return std::string(text);
}

std::optional<std::vector<std::uint8_t>> StringDataBytes(std::string_view text, bool wide,
                                                         RegFileEncoding encoding) {
  const std::optional<std::string> bytes =
      EncodeRegText(text, wide ? RegFileEncoding::Utf16Le : encoding);
  if (!bytes)
    return std::nullopt;
  return std::vector<std::uint8_t>(bytes->begin(), bytes->end());
}

std::string StringDataText(const std::vector<std::uint8_t>& bytes, bool wide,
                           RegFileEncoding encoding) {
  const std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return DecodeRegText(view, wide ? RegFileEncoding::Utf16Le : encoding);
}

}  // namespace vr512b
