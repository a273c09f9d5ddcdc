#pragma once

#include <chrono>
#include <string>

namespace vr512b {

using WallClock = std::chrono::system_clock;

// "2026-12-08T10:15:30.123Z": UTC with milliseconds, cut rather than rounded.
std::string IsoUtcMillis(WallClock::time_point time);

}  // namespace vr512b
