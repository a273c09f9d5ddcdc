#include "app/parameter_override.h"

namespace vr512b {

std::string SetParameterByName(TestParameterValues& values, const std::string& name,
                               const std::string& value) {
  for (const ParameterInfo& parameter : AllParameters()) {
    if (name != parameter.name)
      continue;
    if (!parameter.IsFlag()) {
      values.*parameter.text = value;
      return "";
    }
    if (value != "0" && value != "1")
      return "параметр " + name + " принимает 0 или 1";
    values.*parameter.flag = value == "1";
    return "";
  }
  return "неизвестный параметр " + name;
}

std::vector<std::pair<std::string, std::string>> ParametersByName(
    const TestParameterValues& values) {
  std::vector<std::pair<std::string, std::string>> named;
  for (const ParameterInfo& parameter : AllParameters())
    named.emplace_back(parameter.name, parameter.Text(values));
  return named;
}

}  // namespace vr512b
