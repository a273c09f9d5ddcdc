#pragma once

#include <memory>

#include "procedure_table.h"

namespace vr512b {

std::unique_ptr<TestRun> MakeMessageTransmissionTest();
std::unique_ptr<TestRun> MakeMessageReceptionTest();

}  // namespace vr512b
