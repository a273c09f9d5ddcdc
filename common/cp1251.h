#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vr512b {

// Text that a unit sent in a zero-terminated field of `size` bytes, which may
// lack its terminator: never reads past the field. Units speak the Windows
// Cyrillic code page (Windows-1251); the text comes out as UTF-8, with every
// control character shown as '?' so that it cannot break or forge log lines.
std::string FieldText(const std::uint8_t* field, std::size_t size);

// The character of one Windows-1251 byte (U+FFFD for the one unassigned byte).
char32_t Cp1251Character(std::uint8_t byte);

// Text in Windows-1251 as the system's ANSI code page converts it for files:
// the one unassigned byte, 0x98, becomes U+0098 as it does on Windows, so that
// text read and written back keeps every byte.
std::string Cp1251ToUtf8(std::string_view bytes);
// The way back; nothing when the text is not valid UTF-8 or holds a character
// the code page has no byte for.
std::optional<std::string> Utf8ToCp1251(std::string_view text);

}  // namespace vr512b
