#pragma once

#include <string>
#include <string_view>

#include "utf8.h"

namespace vr512b::history {

// `text` with every maximal ill-formed subsequence replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);

}  // namespace vr512b::history
