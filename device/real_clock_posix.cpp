#ifdef __linux__
#include <sys/prctl.h>
#endif

#include "device/clock.h"

namespace vr512b {

RealClock::RealClock() {
#ifdef __linux__
  // The protocol's pauses are short and many; the default 50 us of timer
  // slack per sleep would add up to a visible share of a test's time.
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
}

}  // namespace vr512b
