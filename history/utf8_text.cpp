#include "utf8_text.h"

namespace vr512b::history {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

}  // namespace

std::string ValidUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Step step = DecodeUtf8(text, i);
    out += step.valid ? text.substr(i, step.length) : kReplacement;
    i += step.length;
  }
  return out;
}

}  // namespace vr512b::history
