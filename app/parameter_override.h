#pragma once

#include <string>

#include "test_parameters.h"

namespace vr512b {

// Sets one parameter by its stored value name ("Phone", "ShortTest", ...);
// flags take "0" or "1". Returns an error text, empty on success.
std::string SetParameterByName(TestParameterValues& values, const std::string& name,
                               const std::string& value);

}  // namespace vr512b
