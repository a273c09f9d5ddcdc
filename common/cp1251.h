#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vr512b {

// Text that a unit sent in a zero-terminated field of `size` bytes, which may
// lack its terminator: never reads past the field. Units speak the Windows
// Cyrillic code page (Windows-1251); the text comes out as UTF-8, with every
// control character shown as '?' so that it cannot break or forge log lines.
std::string FieldText(const std::uint8_t* field, std::size_t size);

// The character of one Windows-1251 byte (U+FFFD for the one unassigned byte).
char32_t Cp1251Character(std::uint8_t byte);

}  // namespace vr512b
