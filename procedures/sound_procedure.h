#pragma once

#include <memory>

#include "procedures/test_run.h"

namespace vr512b {

std::unique_ptr<TestRun> MakeSoundProcedure();

}  // namespace vr512b
