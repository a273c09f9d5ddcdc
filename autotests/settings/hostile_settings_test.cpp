// Settings files found by fuzzing, replayed through the fuzz target's round
// trip (settings_round_trip.h): load, save into the same file, reload. The
// .reg file store is POSIX: Linux only.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <string>

#include "autotests/support/settings_round_trip.h"
#include "autotests/support/test_support.h"

namespace vr512b {
namespace {

constexpr const char* kKey = "[HKEY_LOCAL_MACHINE\\Software\\Korvex\\DiagVR512B]\n";

TEST(HostileSettingsFile, ADwordOfNoBytesReadsAsZero) {
  // A flag written as an empty hex(4) list holds no bytes at all; reading it
  // once handed memcpy a null pointer.
  testing::TempDir dir;
  const std::string file = dir.File("DiagVR512B.reg");
  testing::WriteFile(file, std::string(kKey) + "\"Presto\"=hex(4):");
  TestParameterValues loaded;
  EXPECT_EQ(testing::SettingsRoundTripProblem(file, loaded), "");
  TestParameterValues want;
  want.Presto = false;
  EXPECT_EQ(testing::DescribeParameters(loaded), testing::DescribeParameters(want));
  EXPECT_NE(testing::ReadFile(file).find("\"Presto\"=dword:00000000"), std::string::npos);
}

}  // namespace
}  // namespace vr512b

#endif  // _WIN32
