#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "autotests/support/test_support.h"

namespace vr512b::testing {

// Where two texts part, with three lines around it, `gotName` and `wantName`
// saying which is which; empty when they agree.
inline std::string FirstDifference(const std::string& got, const std::string& want,
                                   const std::string& gotName, const std::string& wantName) {
  if (got == want)
    return {};
  const std::vector<std::string> a = Lines(got);
  const std::vector<std::string> b = Lines(want);
  std::size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i])
    ++i;
  std::string text = "first difference at line " + std::to_string(i + 1) + " of " +
                     std::to_string(a.size()) + " (" + gotName + ") and " +
                     std::to_string(b.size()) + " (" + wantName + ")\n";
  const std::size_t width = std::max(gotName.size(), wantName.size());
  const auto row = [width](const std::string& name, const std::vector<std::string>& lines,
                           std::size_t k) {
    return "  " + name + ":" + std::string(width - name.size() + 1, ' ') +
           (k < lines.size() ? lines[k] : std::string("<end>")) + "\n";
  };
  for (std::size_t k = i >= 3 ? i - 3 : 0; k < i + 3; ++k)
    text += row(gotName, a, k) + row(wantName, b, k);
  return text;
}

}  // namespace vr512b::testing
