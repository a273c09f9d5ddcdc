#pragma once

#include <string>
#include <string_view>

namespace vr512b::history {

// Whether `text` is well-formed UTF-8 (no overlongs, no surrogates, nothing
// past U+10FFFF).
bool IsValidUtf8(std::string_view text);

// `text` with every maximal ill-formed subsequence replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);

// Appends `text` as a JSON string literal: quotes and backslashes escaped,
// control characters (C0, DEL, C1) as \u00XX, ill-formed UTF-8 as U+FFFD.
void AppendJsonString(std::string& out, std::string_view text);

}  // namespace vr512b::history
