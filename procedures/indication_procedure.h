#pragma once

#include <memory>

#include "procedures/test_run.h"

namespace vr512b {

std::unique_ptr<TestRun> MakeIndicationProcedure();

}  // namespace vr512b
