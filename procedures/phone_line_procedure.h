#pragma once

#include <memory>

#include "procedures/test_run.h"

namespace vr512b {

std::unique_ptr<TestRun> MakeMessageTransmissionProcedure();
std::unique_ptr<TestRun> MakeMessageReceptionProcedure();

}  // namespace vr512b
