#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vr512b {

// Number of characters (code points) of a UTF-8 text.
std::size_t Utf8Length(std::string_view text);

// UTF-16 code units that valid UTF-8 text takes: one per character, two for
// those beyond U+FFFF. Counts bytes only, so it is cheap enough for every
// line of a log.
std::size_t Utf16Length(std::string_view text);

// Appends one code point; a surrogate or a value past U+10FFFF becomes U+FFFD.
void AppendUtf8(std::string& out, char32_t codePoint);

// One step of reading UTF-8 at `at`, by the table of well-formed sequences: no
// overlong forms, no surrogates, nothing past U+10FFFF.
struct Utf8Step {
  std::size_t length;  // bytes taken: the whole sequence, or the ill-formed part to replace
  char32_t codePoint;  // when valid
  bool valid;
};
Utf8Step DecodeUtf8(std::string_view text, std::size_t at);

// Whether every byte of `text` belongs to a well-formed sequence.
bool IsValidUtf8(std::string_view text);

// `text` with every maximal ill-formed subsequence replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);

// Appends one code point as UTF-16: itself, or two surrogates beyond U+FFFF.
void AppendUtf16(std::u16string& out, char32_t codePoint);

// Conversions between UTF-8 and the wide text of the platform (UTF-16 on
// Windows, UTF-32 elsewhere). Every maximal ill-formed part of the input, and
// every unpaired surrogate, becomes one U+FFFD; a zero inside stays.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);

}  // namespace vr512b
