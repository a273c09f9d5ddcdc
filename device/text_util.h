#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vr512b {

// Number of characters (code points) of a UTF-8 text.
std::size_t Utf8Length(std::string_view text);

// Text of a zero-terminated field that may lack its terminator: never reads
// past the field.
std::string FieldText(const std::uint8_t* field, std::size_t size);

// Removes leading and trailing blanks and control characters.
std::string TrimBlanksAndControls(std::string_view text);

}  // namespace vr512b
