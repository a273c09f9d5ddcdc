#pragma once

#include <memory>

#include "procedures.h"

namespace vr512b {

std::unique_ptr<TestRun> MakeDataTransmissionTest();
std::unique_ptr<TestRun> MakeDataReceptionTest();

}  // namespace vr512b
