#pragma once

#include <memory>

#include "procedures/test_run.h"

namespace vr512b {

std::unique_ptr<TestRun> MakeDataTransmissionProcedure();
std::unique_ptr<TestRun> MakeDataReceptionProcedure();

}  // namespace vr512b
