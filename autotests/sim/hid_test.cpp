// The bench as the console's device link meets it: discovery, identity,
// sharing, framing, transfer time and a unit that goes away.

#include <gtest/gtest.h>

#include "autotests/sim/bench_rig.h"
#include "device/system_error.h"

namespace vr512b::testing {
namespace {

using sim::VirtualBench;

TEST(SimHid, DiscoveryPassesOverTheKeyboardAndTheOtherUnit) {
  BenchRig rig;
  const auto paths = rig.bench.hid().EnumeratePaths();
  ASSERT_TRUE(paths);
  ASSERT_EQ(paths->size(), 3u);

  // The keyboard comes first and is not a unit.
  HidAttributes first;
  const HidHandle keyboard = rig.bench.hid().Open(paths->front());
  ASSERT_NE(keyboard, kInvalidHandle);
  ASSERT_TRUE(rig.bench.hid().GetAttributes(keyboard, first));
  EXPECT_NE(first.vendorId, kUnitVendorId);
  rig.bench.hid().Close(keyboard);

  rig.OpenBoth();
  EXPECT_EQ(rig.log.lines, (std::vector<std::string>{
                               "Открыл проверяемое УПО",
                               "  версия 2.3 (проверяемое)",
                               "  серийный номер 10002 (проверяемое)",
                               "Открыл эталонное УПО",
                               "  версия 2.3 (эталонное)",
                               "  серийный номер 10001 (эталонное)",
                           }));
  EXPECT_TRUE(rig.bench.Unit(urUnderTest).computerIndicator);
  EXPECT_TRUE(rig.bench.Unit(urReference).computerIndicator);
  rig.link.CloseDevices();
  EXPECT_FALSE(rig.bench.Unit(urUnderTest).computerIndicator);
  EXPECT_FALSE(rig.bench.Unit(urReference).openByHost);
}

TEST(SimHid, AnOpenUnitCannotBeOpenedAgain) {
  BenchRig rig({"absent ref"});
  rig.Open(urUnderTest);
  EXPECT_EQ(rig.bench.hid().Open("vbench://hid/2"), kInvalidHandle);
  EXPECT_EQ(rig.link.FindDevice(urUnderTest), kInvalidHandle);
  rig.link.CloseDevices();
  const HidHandle again = rig.link.FindDevice(urUnderTest);
  EXPECT_NE(again, kInvalidHandle);
  rig.bench.hid().Close(again);
}

TEST(SimHid, IdentityComesFromTheScenario) {
  BenchRig rig({"serial ut  0012AB", "version ut 0A03", "absent ref"});
  rig.Open(urUnderTest);
  EXPECT_TRUE(rig.log.Contains("  версия 10.3 (проверяемое)"));
  EXPECT_TRUE(rig.log.Contains("  серийный номер 12 (проверяемое)"));
  EXPECT_FALSE(rig.link.OpenDevice(urReference));
  EXPECT_TRUE(rig.log.Contains("Не удалось открыть эталонное УПО"));
  EXPECT_FALSE(rig.bench.Unit(urReference).present);
}

TEST(SimHid, SerialNumberStaysWithinTheBufferLength) {
  BenchRig rig({"serial ut 123456789012345678901234567890"});
  const HidHandle handle = rig.bench.hid().Open("vbench://hid/2");
  ASSERT_NE(handle, kInvalidHandle);
  std::array<std::uint8_t, 64> buffer;
  buffer.fill(0xCC);
  ASSERT_TRUE(rig.bench.hid().GetSerialNumberString(handle, buffer.data(), 32));
  EXPECT_EQ(buffer[0], '1');
  EXPECT_EQ(buffer[1], 0);
  EXPECT_EQ(buffer[30], '6');
  EXPECT_EQ(buffer[32], 0xCC) << "written past the length passed";

  buffer.fill(0xCC);
  BenchRig shortSerial;
  const HidHandle other = shortSerial.bench.hid().Open("vbench://hid/2");
  ASSERT_TRUE(shortSerial.bench.hid().GetSerialNumberString(other, buffer.data(), 32));
  EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + 12),
            (std::vector<std::uint8_t>{'1', 0, '0', 0, '0', 0, '0', 0, '2', 0, 0, 0}));
}

TEST(SimHid, ReportsAreFramedAsTheUnitDoesAndTakeAMillisecondEach) {
  BenchRig rig;
  const HidHandle handle = rig.bench.hid().Open("vbench://hid/2");
  // Write: id in byte 0, block behind it.
  TConfigBlock written{};
  for (std::size_t i = 0; i < written.size(); ++i)
    written[i] = static_cast<std::uint8_t>(i + 1);
  std::array<std::uint8_t, 17> report{kReportConfig};
  std::copy(written.begin(), written.end(), report.begin() + 1);
  const std::int64_t before = rig.clock.NowMs();
  ASSERT_EQ(*rig.bench.hid().SetFeature(handle, report.data(), report.size()), report.size());
  // Read: block from byte 0, in place of the id.
  std::array<std::uint8_t, 17> back{kReportConfig};
  ASSERT_EQ(*rig.bench.hid().GetFeature(handle, back.data(), back.size()), back.size());
  EXPECT_TRUE(std::equal(written.begin(), written.end(), back.begin()));
  EXPECT_EQ(rig.clock.NowMs() - before, 2);

  // A report of the wrong length is refused, and says why.
  std::array<std::uint8_t, 16> shortReport{kReportConfig};
  const FeatureBytes refused =
      rig.bench.hid().GetFeature(handle, shortReport.data(), shortReport.size());
  ASSERT_FALSE(refused);
  EXPECT_NE(refused.reason().code, 0u);
  // Feature reports on the keyboard fail too.
  const HidHandle keyboard = rig.bench.hid().Open("vbench://hid/0");
  EXPECT_FALSE(rig.bench.hid().GetFeature(keyboard, back.data(), back.size()));
}

TEST(SimHid, UnitUnpluggedAfterItsTransfersFailsLikeAMissingOne) {
  const std::string notConnected = SystemReason(SystemError::DeviceNotConnected).text;
  BenchRig rig({"unplug ut after 3"});
  rig.Open(urUnderTest);
  TStatusBlock status;
  const HidHandle handle = rig.link.Device(urUnderTest);
  EXPECT_TRUE(rig.reports.GetStatusReport(handle, status));
  EXPECT_TRUE(rig.reports.SendShortCommand(handle, OpClear, 0, 0));
  EXPECT_TRUE(rig.reports.GetStatusReport(handle, status));
  const std::int64_t before = rig.clock.NowMs();
  EXPECT_FALSE(rig.reports.GetStatusReport(handle, status));
  EXPECT_EQ(rig.clock.NowMs() - before, 1) << "a failed transfer still takes its time";
  EXPECT_EQ(status, TStatusBlock{});

  // The role-level command logs the system's reason and raises.
  EXPECT_THROW(rig.unit.PollState(urUnderTest), TestFailure);
  EXPECT_EQ(rig.log.lines.back(), "Проверяемое: " + notConnected);

  // Gone from the bus: not listed, not openable, not even its attributes.
  HidAttributes attributes;
  EXPECT_FALSE(rig.bench.hid().GetAttributes(handle, attributes));
  EXPECT_EQ(rig.bench.hid().EnumeratePaths()->size(), 2u);
  rig.link.CloseDevices();
  EXPECT_FALSE(rig.link.OpenDevice(urUnderTest));
  EXPECT_FALSE(rig.bench.Unit(urUnderTest).plugged);
}

TEST(SimHid, PluggingBackGivesAFreshUnitThatRemembersItsConfiguration) {
  BenchRig rig;
  rig.Open(urUnderTest);
  rig.unit.ClearUnit(urUnderTest);
  rig.Configure(urUnderTest, [](TConfigBlock& c) { c[4] = 0x5A; });
  const HidHandle old = rig.link.Device(urUnderTest);
  rig.bench.Unplug(urUnderTest);
  rig.bench.Plug(urUnderTest);
  TStatusBlock status;
  EXPECT_FALSE(rig.reports.GetStatusReport(old, status)) << "a handle from before stays dead";
  rig.link.CloseDevices();
  rig.Open(urUnderTest);
  TConfigBlock config;
  rig.unit.ReadConfig(urUnderTest, config);
  EXPECT_EQ(config[4], 0x5A);
  const auto replies = rig.Drain(urUnderTest);
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0][0], rtEvent);
  EXPECT_EQ(replies[0][1], 17);
}

}  // namespace
}  // namespace vr512b::testing
