#pragma once

#include <memory>

#include "procedure_table.h"

namespace vr512b {

std::unique_ptr<TestRun> MakeIndicationTest();
std::unique_ptr<TestRun> MakeSoundTest();

}  // namespace vr512b
