#pragma once

#include <string>
#include <vector>

#include "procedures/test_parameters.h"

namespace vr512b {

// What the parameters dialog warns of before it saves: values the console
// will take otherwise than the operator most likely means. One text per
// warning, in the console's words; none when all is well. The operator may
// save them all the same.
std::vector<std::string> ParameterWarnings(const TestParameterValues& values);

// The question that follows the warnings.
inline constexpr char kSaveAnywayQuestion[] = "Сохранить параметры?";

}  // namespace vr512b
