#pragma once

#include <memory>

#include "procedures.h"

namespace vr512b {

std::unique_ptr<TestRun> MakeFunctioningTest();

}  // namespace vr512b
