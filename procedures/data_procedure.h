#pragma once

#include <memory>

#include "procedure_table.h"

namespace vr512b {

std::unique_ptr<TestRun> MakeDataTransmissionTest();
std::unique_ptr<TestRun> MakeDataReceptionTest();

}  // namespace vr512b
