#include <gtest/gtest.h>

#include "autotests/support/fake_hid.h"
#include "device/device_link.h"
#include "device/hid_loader.h"
#include "device/serial_number.h"

namespace vr512b {
namespace {

using testing::FakeHid;
using testing::LogRecorder;
using Lines = std::vector<std::string>;

class DeviceLinkTest : public ::testing::Test {
 protected:
  FakeHid::Device Unit(const std::string& path, const std::u16string& serial) {
    FakeHid::Device d;
    d.path = path;
    d.serial = serial;
    return d;
  }
  VirtualClock clock;
  FakeHid hid{clock};
  LogRecorder log;
  DeviceLink link{hid, log};
};

TEST_F(DeviceLinkTest, UnitUnderTestIsAnyUnitButTheReference) {
  FakeHid::Device keyboard;
  keyboard.path = "kbd";
  keyboard.attributes = {0x046D, 0xC31C, 0x0110};
  hid.AddDevice(keyboard);
  const int reference = hid.AddDevice(Unit("a", u"10001"));
  const int underTest = hid.AddDevice(Unit("b", u"1234"));
  hid.AddDevice(Unit("c", u"999"));
  link.SetRefSerial(10001);

  ASSERT_TRUE(link.OpenDevice(urUnderTest));
  EXPECT_TRUE(hid.IsOpen(underTest));
  ASSERT_TRUE(link.OpenDevice(urReference));
  EXPECT_TRUE(hid.IsOpen(reference));
  EXPECT_EQ(log.lines, (Lines{"Открыл проверяемое УПО", "  версия 2.3 (проверяемое)",
                              "  серийный номер 1234 (проверяемое)", "Открыл эталонное УПО",
                              "  версия 2.3 (эталонное)", "  серийный номер 10001 (эталонное)"}));
  // Only the kept handles stay open; every other one was closed again.
  EXPECT_EQ(hid.opens - hid.closes, 2);
  // The serial string is asked for with 32 bytes.
  for (std::size_t length : hid.serialLengths)
    EXPECT_EQ(length, 32u);

  log.lines.clear();
  link.CloseDevices();
  EXPECT_EQ(log.lines, (Lines{"Проверяемое устройство закрыто", "Эталонное устройство закрыто"}));
  EXPECT_EQ(hid.opens, hid.closes);
  log.lines.clear();
  link.CloseDevices();
  EXPECT_TRUE(log.lines.empty());
}

TEST_F(DeviceLinkTest, ReferenceWithoutConfiguredSerialIsNotLookedFor) {
  hid.AddDevice(Unit("a", u"0"));
  EXPECT_FALSE(link.OpenDevice(urReference));
  EXPECT_EQ(log.lines, Lines{"Серийный номер эталонного УПО  не задан"});
  EXPECT_EQ(hid.opens, 0);
  // With no reference configured, the unit under test is any unit whose serial
  // does not convert to 0.
  hid.AddDevice(Unit("b", u"17"));
  log.lines.clear();
  ASSERT_TRUE(link.OpenDevice(urUnderTest));
  EXPECT_EQ(log.lines[2], "  серийный номер 17 (проверяемое)");
}

TEST_F(DeviceLinkTest, MissingUnitsAndUnreadableSerials) {
  hid.AddDevice(Unit("ref", u"10001"));
  link.SetRefSerial(10001);
  EXPECT_FALSE(link.OpenDevice(urUnderTest));
  EXPECT_EQ(log.lines, Lines{"Не удалось открыть проверяемое УПО"});

  FakeHid::Device broken = Unit("x", u"5");
  broken.serialFails = true;
  hid.AddDevice(broken);
  hid.AddDevice(Unit("y", u"6"));
  log.lines.clear();
  ASSERT_TRUE(link.OpenDevice(urUnderTest));
  EXPECT_EQ(log.lines[0], "Ошибка получения с/н");
  EXPECT_EQ(log.lines[3], "  серийный номер 6 (проверяемое)");
}

TEST_F(DeviceLinkTest, AUnitAlreadyOpenIsPassedOver) {
  hid.AddDevice(Unit("a", u"10001"));
  link.SetRefSerial(10001);
  ASSERT_TRUE(link.OpenDevice(urReference));
  DeviceLink other(hid, log);
  other.SetRefSerial(10001);
  log.lines.clear();
  EXPECT_FALSE(other.OpenDevice(urReference));
  EXPECT_EQ(log.lines, Lines{"Не удалось открыть эталонное УПО"});
}

TEST_F(DeviceLinkTest, IdentificationFailuresKeepTheHandleForTheFrameToClose) {
  FakeHid::Device d = Unit("a", u"42");
  d.attributes.version = 0x0A03;
  hid.AddDevice(d);
  ASSERT_TRUE(link.OpenDevice(urUnderTest));
  EXPECT_EQ(log.lines[1], "  версия 10.3 (проверяемое)");
  link.CloseDevices();

  FakeHid failing{clock};
  failing.AddDevice(Unit("a", u"42"));
  LogRecorder failingLog;
  // A fake whose serial works during the search and fails afterwards.
  struct FlakySerial final : HidLibrary {
    FakeHid& inner;
    int calls = 0;
    explicit FlakySerial(FakeHid& f) : inner(f) {}
    std::optional<std::vector<std::string>> EnumeratePaths() override {
      return inner.EnumeratePaths();
    }
    HidHandle Open(const std::string& p) override { return inner.Open(p); }
    void Close(HidHandle h) override { inner.Close(h); }
    Outcome<void> GetAttributes(HidHandle h, HidAttributes& a) override {
      return inner.GetAttributes(h, a);
    }
    Outcome<void> GetSerialNumberString(HidHandle h, void* b, std::size_t l) override {
      if (++calls > 1)
        return SystemReason(SystemError::IoFailure);
      return inner.GetSerialNumberString(h, b, l);
    }
    FeatureBytes GetFeature(HidHandle h, std::uint8_t* r, std::size_t l) override {
      return inner.GetFeature(h, r, l);
    }
    FeatureBytes SetFeature(HidHandle h, const std::uint8_t* r, std::size_t l) override {
      return inner.SetFeature(h, r, l);
    }
  } flaky(failing);
  DeviceLink flakyLink(flaky, failingLog);
  EXPECT_FALSE(flakyLink.OpenDevice(urUnderTest));
  ASSERT_GE(failingLog.lines.size(), 4u);
  EXPECT_EQ(failingLog.lines[2], "Не могу получить серийный номер");
  EXPECT_EQ(failingLog.lines[3], SystemErrorText(SystemErrorCode(SystemError::IoFailure)));
  EXPECT_TRUE(flakyLink.IsOpen(urUnderTest));
  flakyLink.CloseDevices();
  EXPECT_FALSE(flakyLink.IsOpen(urUnderTest));
}

TEST(SerialStringTest, ConvertsLikeTheUnitsSerialRule) {
  EXPECT_EQ(SerialStringToInt(u" 0012AB"), 12);
  EXPECT_EQ(SerialStringToInt(u"-5"), -5);
  EXPECT_EQ(SerialStringToInt(u"ABC"), 0);
  EXPECT_EQ(SerialStringToInt(u""), 0);
  EXPECT_EQ(SerialStringToInt(u"+77"), 77);
  EXPECT_EQ(SerialStringToInt(u"\t\n 9"), 9);
  // Modulo 2^32: 4294967297 wraps to 1, 4294967295 reads as -1.
  EXPECT_EQ(SerialStringToInt(u"4294967297"), 1);
  EXPECT_EQ(SerialStringToInt(u"4294967295"), -1);
  EXPECT_EQ(SerialStringToInt(u"99999999999999999999"), static_cast<std::int32_t>(0x630FFFFFu));
}

// Windows names a composite device's interface in its path; the number is
// what keeps another interface of the unit's ids from being taken for it.
TEST(InterfaceNumberInPathTest, TheMiPartOfAWindowsDevicePath) {
  const struct {
    const char* path;
    std::optional<int> number;
  } cases[] = {
      {"\\\\?\\hid#vid_8002&pid_4002&mi_00#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-"
       "001111000030}",
       0},
      {"\\\\?\\HID#VID_8002&PID_4002&MI_01#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-"
       "001111000030}",
       1},
      {"\\\\?\\hid#vid_8002&pid_4002&mi_1a&col02#8&2f&0&0001#{guid}", 0x1A},
      {"\\\\?\\hid#vid_8002&pid_4002#6&12ab&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}",
       std::nullopt},
      {"\\\\?\\hid#vid_8002&pid_4002&mi_", std::nullopt},
      {"\\\\?\\hid#vid_8002&pid_4002&mi_zz#x", std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(InterfaceNumberInPath(c.path), c.number) << c.path;
}

}  // namespace
}  // namespace vr512b
