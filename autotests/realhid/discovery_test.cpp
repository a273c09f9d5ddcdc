// Finding, opening and identifying the units through hidapi and libudev:
// serial numbers from the hid device's HID_UNIQ, versions from the usb
// device's bcdDevice, a foreign device beside the units, units that cannot be
// opened.

#include <gtest/gtest.h>

#include "autotests/realhid/real_stack.h"
#include "autotests/support/fake_hid.h"
#include "device/device_link.h"
#include "device/hid_loader.h"

namespace vr512b::realhid {
namespace {

using Lines = std::vector<std::string>;
using testing::LogRecorder;

Lines Identified(const std::string& word, const std::string& version, const std::string& serial) {
  return {"Открыл " + word + " УПО", "  версия " + version + " (" + word + ")",
          "  серийный номер " + serial + " (" + word + ")"};
}

TEST(RealDiscovery, EachRoleFindsItsUnitPastTheForeignDevice) {
  RealStack stack({"version ut 0A03"});
  LogRecorder log;
  DeviceLink link(*stack.hid, log);
  link.SetRefSerial(10001);
  // The reference unit enumerates before the unit under test, the keyboard
  // before both: the search for the unit under test passes over both.
  ASSERT_TRUE(link.OpenDevice(urUnderTest));
  ASSERT_TRUE(link.OpenDevice(urReference));
  Lines want = Identified("проверяемое", "10.3", "10002");
  const Lines reference = Identified("эталонное", "2.3", "10001");
  want.insert(want.end(), reference.begin(), reference.end());
  EXPECT_EQ(log.lines, want);
  EXPECT_TRUE(stack.bench->Unit(urUnderTest).openByHost);
  EXPECT_TRUE(stack.units.InUse(urReference, 0));

  // A second console's search passes over units held by the first.
  LogRecorder otherLog;
  HidLoadResult loaded = LoadPlatformHidLibrary();
  ASSERT_TRUE(loaded);
  const std::unique_ptr<HidLibrary> other = std::move(*loaded);
  DeviceLink second(*other, otherLog);
  second.SetRefSerial(10001);
  EXPECT_FALSE(second.OpenDevice(urUnderTest));
  EXPECT_EQ(otherLog.lines, Lines{"Не удалось открыть проверяемое УПО"});

  log.lines.clear();
  link.CloseDevices();
  EXPECT_EQ(log.lines, (Lines{"Проверяемое устройство закрыто", "Эталонное устройство закрыто"}));
  EXPECT_FALSE(stack.units.InUse(urUnderTest));
  EXPECT_FALSE(stack.units.InUse(urReference));
}

TEST(RealDiscovery, WithTheReferenceOnlyThereIsNoUnitUnderTest) {
  RealStack stack({"absent ut"});
  LogRecorder log;
  DeviceLink link(*stack.hid, log);
  link.SetRefSerial(10001);
  EXPECT_FALSE(link.OpenDevice(urUnderTest));
  EXPECT_EQ(log.lines, Lines{"Не удалось открыть проверяемое УПО"});
  EXPECT_FALSE(stack.units.InUse(urReference));
}

// A device with the units' ids may have HID interfaces that are not the
// unit's: another interface of the device, or a collection on another usage
// page. Enumerated first (1-10 comes before 1-2), such an interface was once
// taken for the unit under test, whose transfers then stalled ("Broken
// pipe"), and the real unit was never tried.
TEST(RealDiscovery, OnlyTheUnitsOwnInterfaceIsOpened) {
  std::vector<std::uint8_t> otherPage = UnitReportDescriptor();
  otherPage[1] = 0x01;  // vendor page 0xFF01
  const struct {
    const char* name;
    int interfaceNumber;
    std::vector<std::uint8_t> descriptor;
  } foreign[] = {{"interface 1", 1, UnitReportDescriptor()},
                 {"interface 0 on page 0xFF01", 0, otherPage}};
  for (const auto& interface : foreign) {
    SCOPED_TRACE(interface.name);
    testing::TempDir dir;
    const RunOutput got =
        RunOverRealStack({"--simulate", "--virtual-time", "--settings", dir.File("p.reg"), "func"},
                         [&](RealStack& stack) {
                           stack.units.PlugForeignInterface(10, "20002", interface.interfaceNumber,
                                                            interface.descriptor);
                         });
    const Lines log = testing::Lines(got.out);
    ASSERT_GE(log.size(), 6u) << got.out;
    EXPECT_EQ(Lines(log.begin() + 3, log.begin() + 6), Identified("проверяемое", "2.3", "10002"));
    EXPECT_EQ(got.err, "STFunc: OK\n");
    EXPECT_EQ(got.opens[urUnderTest], 1);
  }
}

// A unit hidapi cannot open (its node refuses the open's first request, or
// has no device file) is passed over without a line; the search goes on.
TEST(RealDiscovery, AUnitThatCannotBeOpenedIsPassedOver) {
  for (const bool missingFile : {false, true}) {
    SCOPED_TRACE(missingFile ? "no device file" : "open refused");
    RealStack stack;
    if (missingFile) {
      stack.units.RemoveNodeFile(urReference);
    } else {
      stack.units.RefuseOpen(urReference);
    }
    LogRecorder log;
    DeviceLink link(*stack.hid, log);
    // Any unit whose serial is not the reference's may be taken: the one
    // that cannot be opened comes first.
    link.SetRefSerial(777);
    ASSERT_TRUE(link.OpenDevice(urUnderTest));
    EXPECT_EQ(log.lines, Identified("проверяемое", "2.3", "10002"));
    link.SetRefSerial(10001);
    log.lines.clear();
    EXPECT_FALSE(link.OpenDevice(urReference));
    EXPECT_EQ(log.lines, Lines{"Не удалось открыть эталонное УПО"});
    link.CloseDevices();
  }
}

// The serial number is read with 32 bytes, 16 characters: a serial of 16
// digits keeps its last one (1000000000012345 modulo 2^32, signed).
TEST(RealDiscovery, ASixteenCharacterSerialIsReadWhole) {
  RealStack stack({"serial ref 1000000000012345", "serial ut 1234567890123456"});
  LogRecorder log;
  DeviceLink link(*stack.hid, log);
  link.SetRefSerial(-1530482631);
  ASSERT_TRUE(link.OpenDevice(urReference));
  ASSERT_TRUE(link.OpenDevice(urUnderTest));
  Lines want = Identified("эталонное", "2.3", "-1530482631");
  const Lines underTest = Identified("проверяемое", "2.3", "1015724736");
  want.insert(want.end(), underTest.begin(), underTest.end());
  EXPECT_EQ(log.lines, want);
  link.CloseDevices();

  // The 15 characters a shorter read would give belong to no unit.
  log.lines.clear();
  link.SetRefSerial(276448466);
  EXPECT_FALSE(link.OpenDevice(urReference));
  EXPECT_EQ(log.lines, Lines{"Не удалось открыть эталонное УПО"});
}

}  // namespace
}  // namespace vr512b::realhid
