#include "common/url_password.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace vr512b {

namespace {

using Span = std::pair<std::size_t, std::size_t>;  // first byte, length

void AddUserInfoPassword(std::string_view url, std::vector<Span>& spans) {
  const std::size_t scheme = url.find("://");
  if (scheme == std::string_view::npos)
    return;
  const std::size_t authority = scheme + 3;
  const std::size_t end = std::min(url.find_first_of("/?#", authority), url.size());
  const std::size_t at = url.substr(0, end).rfind('@');
  if (at == std::string_view::npos || at < authority)
    return;
  const std::size_t colon = url.substr(0, at).find(':', authority);
  if (colon != std::string_view::npos)
    spans.emplace_back(colon + 1, at - colon - 1);
}

void AddPasswordParameters(std::string_view url, std::vector<Span>& spans) {
  constexpr std::string_view key = "password=";
  for (std::size_t found = url.find(key); found != std::string_view::npos;
       found = url.find(key, found + key.size())) {
    const bool startsParameter =
        found == 0 || std::string_view("?& \t").find(url[found - 1]) != std::string_view::npos;
    if (!startsParameter)
      continue;
    const std::size_t value = found + key.size();
    const std::size_t end = std::min(url.find_first_of("& \t#", value), url.size());
    spans.emplace_back(value, end - value);
  }
}

std::vector<Span> PasswordSpans(std::string_view url) {
  std::vector<Span> spans;
  AddUserInfoPassword(url, spans);
  AddPasswordParameters(url, spans);
  std::sort(spans.begin(), spans.end());
  return spans;
}

}  // namespace

std::string WithoutPassword(std::string_view url) {
  std::string shown;
  std::size_t copied = 0;
  for (const auto& [first, length] : PasswordSpans(url)) {
    if (first < copied)
      continue;
    shown.append(url.substr(copied, first - copied));
    shown += "***";
    copied = first + length;
  }
  shown.append(url.substr(copied));
  return shown;
}

void HidePasswordsInArguments(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    for (const auto& [first, length] : PasswordSpans(argv[i]))
      std::memset(argv[i] + first, '*', length);
  }
}

}  // namespace vr512b
