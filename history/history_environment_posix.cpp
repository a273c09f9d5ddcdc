#include <cstdlib>

#include "history/history_location.h"

namespace vr512b::history {

namespace {

std::optional<std::string> Variable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr)
    return std::nullopt;
  return std::string(value);
}

}  // namespace

HistoryEnvironment HistoryEnvironment::FromProcess() {
  return {Variable("VR512B_HISTORY"), Variable("XDG_DATA_HOME"), Variable("HOME"), std::nullopt};
}

}  // namespace vr512b::history
