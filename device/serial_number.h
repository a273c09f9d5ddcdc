#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vr512b {

// A unit's serial string as the console reads it: leading white space, one
// optional sign, decimal digits up to the first non-digit, modulo 2^32.
std::int32_t SerialStringToInt(std::u16string_view serial);

// The configured reference serial: an optional sign and decimal digits that fit
// a signed 32-bit integer, or (unsigned) "$", "x", "X", "0x", "0X" and at most
// eight hexadecimal digits taken as a 32-bit pattern; leading blanks only.
// Anything else gives 0.
std::int32_t ReferenceSerialFromText(std::string_view text);

// UTF-16 serial buffer (zero-terminated) to text, for display.
std::u16string SerialFromBuffer(const char16_t* buffer, std::size_t units);

}  // namespace vr512b
