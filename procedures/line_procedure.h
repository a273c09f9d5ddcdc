#pragma once

#include <memory>

#include "procedure_table.h"

namespace vr512b {

std::unique_ptr<TestRun> MakeLineTest();

}  // namespace vr512b
