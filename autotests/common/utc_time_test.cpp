#include <gtest/gtest.h>

#include <chrono>

#include "common/utc_time.h"

namespace vr512b {
namespace {

TEST(UtcTime, IsoTimesAreUtcWithMilliseconds) {
  using namespace std::chrono;
  EXPECT_EQ(IsoUtcMillis(WallClock::time_point{}), "1970-01-01T00:00:00.000Z");
  const auto leapDay = sys_days{year{2024} / February / 29} + 23h + 59min + 59s + 999ms;
  EXPECT_EQ(IsoUtcMillis(time_point_cast<WallClock::duration>(leapDay)),
            "2024-02-29T23:59:59.999Z");
  // Sub-millisecond parts are cut, not rounded up into the next second.
  const auto almost = sys_days{year{2026} / December / 31} + 23h + 59min + 59s + 999999us;
  EXPECT_EQ(IsoUtcMillis(time_point_cast<WallClock::duration>(almost)), "2026-12-31T23:59:59.999Z");
  // Before the epoch the day and the time of day still come out right.
  EXPECT_EQ(IsoUtcMillis(WallClock::time_point{} - 1ms), "1969-12-31T23:59:59.999Z");
}

}  // namespace
}  // namespace vr512b
