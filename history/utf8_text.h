#pragma once

#include <string>
#include <string_view>

namespace vr512b::history {

// Whether `text` is well-formed UTF-8 (no overlongs, no surrogates, nothing
// past U+10FFFF).
bool IsValidUtf8(std::string_view text);

// `text` with every maximal ill-formed subsequence replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);

}  // namespace vr512b::history
