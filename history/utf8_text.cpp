#include "utf8_text.h"

#include <cstdio>

namespace vr512b::history {

namespace {

struct Utf8Step {
  std::size_t length;  // the whole sequence, or the ill-formed part to replace
  char32_t codePoint;
  bool valid;
};

// One step at `i` by the table of well-formed sequences: the second byte's
// range depends on the first, the others are plain continuation bytes.
Utf8Step DecodeAt(std::string_view text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  if (lead < 0x80)
    return {1, lead, true};
  std::size_t trailing = 0;
  char32_t codePoint = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    trailing = 1;
    codePoint = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    trailing = 2;
    codePoint = lead & 0x0Fu;
    low = lead == 0xE0 ? 0xA0 : 0x80;
    high = lead == 0xED ? 0x9F : 0xBF;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    trailing = 3;
    codePoint = lead & 0x07u;
    low = lead == 0xF0 ? 0x90 : 0x80;
    high = lead == 0xF4 ? 0x8F : 0xBF;
  } else {
    return {1, 0, false};
  }
  for (std::size_t k = 1; k <= trailing; ++k) {
    if (i + k >= text.size())
      return {k, 0, false};
    const auto next = static_cast<unsigned char>(text[i + k]);
    if (next < low || next > high)
      return {k, 0, false};
    low = 0x80;
    high = 0xBF;
    codePoint = (codePoint << 6) | (next & 0x3Fu);
  }
  return {trailing + 1, codePoint, true};
}

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

}  // namespace

bool IsValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Step step = DecodeAt(text, i);
    if (!step.valid)
      return false;
    i += step.length;
  }
  return true;
}

std::string ValidUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Step step = DecodeAt(text, i);
    out += step.valid ? text.substr(i, step.length) : kReplacement;
    i += step.length;
  }
  return out;
}

void AppendJsonString(std::string& out, std::string_view text) {
  out += '"';
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Step step = DecodeAt(text, i);
    if (!step.valid) {
      out += kReplacement;
    } else if (step.codePoint == '"') {
      out += "\\\"";
    } else if (step.codePoint == '\\') {
      out += "\\\\";
    } else if (step.codePoint < 0x20 || (step.codePoint >= 0x7F && step.codePoint <= 0x9F)) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(step.codePoint));
      out += escape;
    } else {
      out += text.substr(i, step.length);
    }
    i += step.length;
  }
  out += '"';
}

}  // namespace vr512b::history
