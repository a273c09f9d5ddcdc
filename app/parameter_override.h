#pragma once

#include <string>
#include <utility>
#include <vector>

#include "procedures/test_parameters.h"

namespace vr512b {

// Sets one parameter by its stored value name ("Phone", "ShortTest", ...);
// flags take "0" or "1". Returns an error text, empty on success.
std::string SetParameterByName(TestParameterValues& values, const std::string& name,
                               const std::string& value);

// Every parameter by its stored value name, in the table's order, with its
// value as SetParameterByName takes it back.
std::vector<std::pair<std::string, std::string>> ParametersByName(
    const TestParameterValues& values);

}  // namespace vr512b
