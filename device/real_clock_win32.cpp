#include "device/clock.h"

namespace vr512b {

// Only Linux has a per-thread timer slack to lower.
RealClock::RealClock() = default;

}  // namespace vr512b
