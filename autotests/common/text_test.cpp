// Text helpers: UTF-8 and the platform's wide text, the units' Windows-1251,
// trimming and ASCII case.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "common/cp1251.h"
#include "common/text.h"
#include "common/utf8.h"

namespace vr512b {
namespace {

const std::string kReplacement = "\xEF\xBF\xBD";

TEST(Utf8, LengthsCountCharactersAndUtf16Units) {
  EXPECT_EQ(Utf8Length(""), 0u);
  EXPECT_EQ(Utf8Length(">>>>>--Проверка функционирования--<<<<<"), 39u);
  EXPECT_EQ(Utf8Length("€𝄞"), 2u);
  EXPECT_EQ(Utf16Length("a€𝄞"), 4u) << "a surrogate pair for the clef";
}

TEST(Utf8, WideTextRoundTripsFromOneByteToFour) {
  const std::string text = std::string("A\0Я€", 7) + "𝄞";
  EXPECT_EQ(Utf8ToUtf16(text), std::u16string(u"A\0Я€", 4) + u"𝄞");
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text) << "a zero inside stays";
  EXPECT_EQ(WideToUtf8(Utf8ToWide(text)), text);
  EXPECT_EQ(Utf8ToWide("Я𝄞").size(), sizeof(wchar_t) == 2 ? 3u : 2u);
}

TEST(Utf8, IllFormedInputBecomesReplacementCharacters) {
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("a\xD0")), "a" + kReplacement);
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("\xC0\xAF")), kReplacement + kReplacement);
  // Unpaired surrogates on the wide side, alone or in the wrong order.
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD800, u'x'}), kReplacement + "x");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xDC00, 0xD800}), kReplacement + kReplacement);
  std::string out;
  AppendUtf8(out, 0xDFFF);
  AppendUtf8(out, 0x110000);
  EXPECT_EQ(out, kReplacement + kReplacement);
  // Kept as UTF-8, each maximal ill-formed part becomes one replacement.
  EXPECT_EQ(ValidUtf8(std::string("Я\xC0\xAF\xE2\x82z\0", 8)),
            "Я" + kReplacement + kReplacement + kReplacement + std::string("z\0", 2));
}

TEST(Cp1251, FieldTextStaysInsideItsFieldAndShowsNoControls) {
  const std::uint8_t cyrillic[] = {0xCF, 0xF0, 0xE8, 0xE5, 0xEC, 0x20, 0xA8, 0xB9, 0};
  EXPECT_EQ(FieldText(cyrillic, sizeof cyrillic), "Прием Ё№");
  const std::uint8_t unterminated[] = {'1', '2', '3'};
  EXPECT_EQ(FieldText(unterminated, 2), "12");
  const std::uint8_t controls[] = {'a', '\n', 0x7F, 0x98, 'b', 0, 'c'};
  EXPECT_EQ(FieldText(controls, sizeof controls), "a??" + kReplacement + "b");
}

TEST(Text, TrimmingAndAsciiCase) {
  EXPECT_EQ(TrimBlanksAndControls("\t 2001\r\n\x01"), "2001");
  EXPECT_EQ(TrimBlanksAndControls(" \xD0\xAF "), "\xD0\xAF") << "UTF-8 bytes are not blanks";
  EXPECT_EQ(Trim(" \tname\t\n", IsSpaceOrTab), "name\t\n");
  EXPECT_TRUE(EqualsIgnoringAsciiCase("HKLM", "hklm"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("Я", "я")) << "only ASCII letters fold";
  EXPECT_TRUE(StartsWithIgnoringAsciiCase("DWORD:00000001", "dword:"));
  EXPECT_FALSE(StartsWithIgnoringAsciiCase("dw", "dword:"));
  EXPECT_EQ(HexDigitValue('f'), 15);
  EXPECT_EQ(HexDigitValue('G'), -1);
  EXPECT_EQ(HexNumber(0x1A, 8, false), "0000001a");
  EXPECT_EQ(HexNumber(0, 1, false), "0");
  EXPECT_EQ(HexNumber(0xFFFFFFFFu, 8), "FFFFFFFF");
  EXPECT_EQ(HexNumber(0x10000, 2, false), "10000") << "a width is a least, not a cut";
}

}  // namespace
}  // namespace vr512b
