#pragma once

#include <cstdint>
#include <memory>

#include "procedures/test_run.h"

namespace vr512b {

std::unique_ptr<TestRun> MakeLineMonitor();

// Writes one line per entry of a Presto message's 24-byte data field.
void DecodePrestoMessage(ProcedureHost& host, const std::uint8_t* data);

}  // namespace vr512b
