#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vr512b {

// Blanks as the console's parameters and files know them.
inline bool IsSpaceOrTab(char c) {
  return c == ' ' || c == '\t';
}
// Every byte up to the space: blanks, line breaks and other control characters.
inline bool IsBlankOrControl(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

template <typename Blank>
std::string_view TrimLeft(std::string_view text, Blank blank) {
  while (!text.empty() && blank(text.front()))
    text.remove_prefix(1);
  return text;
}
template <typename Blank>
std::string_view TrimRight(std::string_view text, Blank blank) {
  while (!text.empty() && blank(text.back()))
    text.remove_suffix(1);
  return text;
}
template <typename Blank>
std::string_view Trim(std::string_view text, Blank blank) {
  return TrimLeft(TrimRight(text, blank), blank);
}

// Removes leading and trailing blanks and control characters.
inline std::string TrimBlanksAndControls(std::string_view text) {
  return std::string(Trim(text, IsBlankOrControl));
}

inline char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string LowerAscii(std::string_view text);
// Comparisons that ignore the case of ASCII letters only, as the registry does.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);
bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix);

// Value of a hexadecimal digit of either case, -1 for any other character.
int HexDigitValue(char c);
// Appends a byte as two hexadecimal digits, in upper or lower case.
void AppendHexByte(std::string& out, std::uint8_t byte, bool upper = true);
// A number in hexadecimal, at least `width` digits (zeros in front).
std::string HexNumber(std::uint32_t value, int width = 1, bool upper = true);

}  // namespace vr512b
