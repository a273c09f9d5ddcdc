// The hid.dll backend against the system's own hid.dll and SetupAPI (Wine's,
// in CI, where no unit is plugged in).
#include <gtest/gtest.h>

#include "common/windows_api.h"

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "autotests/support/fake_hid.h"
#include "autotests/support/test_support.h"
#include "device/device_link.h"
#include "device/hid_loader.h"
#include "device/report_layer.h"
#include "device/system_error.h"

namespace vr512b {
namespace {

using testing::LogRecorder;

class Win32HidTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HidLoadResult loaded = LoadPlatformHidLibrary();
    ASSERT_TRUE(loaded) << loaded.reason().text;
    ASSERT_NE(*loaded, nullptr);
    hid = std::move(*loaded);
  }

  std::unique_ptr<HidLibrary> hid;
};

TEST_F(Win32HidTest, EnumerationWalksThePresentInterfacesAndPassesOverForeignDevices) {
  const auto paths = hid->EnumeratePaths();
  ASSERT_TRUE(paths.has_value());
  // Every system these tests run on has HID interfaces (Wine its virtual
  // mouse and keyboard): an empty list means the walk itself failed.
  ASSERT_FALSE(paths->empty());
  // Each came through SetupAPI whole: a device path whose ids, where the
  // path names them, are the ones its attributes give.
  int identified = 0;
  for (const std::string& path : *paths) {
    SCOPED_TRACE(path);
    const HidHandle handle = hid->Open(path);
    if (handle == kInvalidHandle)
      continue;
    HidAttributes attributes;
    ASSERT_TRUE(hid->GetAttributes(handle, attributes));
    hid->Close(handle);
    std::string lower(path);
    for (char& c : lower)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::size_t vid = lower.find("vid_");
    const std::size_t pid = lower.find("pid_");
    if (vid == std::string::npos || pid == std::string::npos)
      continue;
    EXPECT_EQ(attributes.vendorId, std::stoul(lower.substr(vid + 4, 4), nullptr, 16));
    EXPECT_EQ(attributes.productId, std::stoul(lower.substr(pid + 4, 4), nullptr, 16));
    ++identified;
  }
  EXPECT_GT(identified, 0);

  // None of them is a unit: both roles fail with their one line.
  LogRecorder log;
  DeviceLink link(*hid, log);
  EXPECT_FALSE(link.OpenDevice(urUnderTest));
  link.SetRefSerial(10001);
  EXPECT_FALSE(link.OpenDevice(urReference));
  EXPECT_EQ(log.lines, (std::vector<std::string>{"Не удалось открыть проверяемое УПО",
                                                 "Не удалось открыть эталонное УПО"}));
  link.CloseDevices();
  EXPECT_EQ(log.lines.size(), 2u);
}

TEST_F(Win32HidTest, CallsOnAClosedSlotFailWithTheSystemsReason) {
  std::uint8_t report[7] = {1};
  HidAttributes attributes;
  char serial[64] = {};
  const FeatureBytes got = hid->GetFeature(kInvalidHandle, report, sizeof report);
  const FeatureBytes set = hid->SetFeature(kInvalidHandle, report, sizeof report);
  const Outcome<void> identified = hid->GetAttributes(kInvalidHandle, attributes);
  const Outcome<void> serialRead = hid->GetSerialNumberString(kInvalidHandle, serial, 32);
  // Whatever runs after the calls, each keeps the reason it failed with.
  ::SetLastError(ERROR_SUCCESS);
  for (const ErrorReason* reason :
       {got ? nullptr : &got.reason(), set ? nullptr : &set.reason(),
        identified ? nullptr : &identified.reason(), serialRead ? nullptr : &serialRead.reason()}) {
    ASSERT_NE(reason, nullptr) << "a call on a closed slot succeeded";
    EXPECT_NE(reason->code, static_cast<std::uint32_t>(ERROR_SUCCESS));
    EXPECT_EQ(reason->text, SystemErrorText(reason->code));
    EXPECT_GT(reason->text.size(), 2u);
    EXPECT_EQ(reason->text.back(), '\n');
  }
  hid->Close(kInvalidHandle);

  EXPECT_EQ(hid->Open("\\\\?\\hid#vid_8002&pid_4002#absent#{4d1e55b2-f16f-11cf-88cb-001111000030}"),
            kInvalidHandle);
}

// The backend reads feature reports with the request HidD_GetFeature sends,
// to keep the byte count hid.dll drops. On every HID interface the system
// has (Wine's own virtual devices in CI), the two answer alike: success or
// failure with the same last error, and a read that succeeds reports no more
// bytes than the report buffer holds.
TEST_F(Win32HidTest, FeatureReadsAnswerAsHidDGetFeatureDoes) {
  using GetFeature = BOOLEAN(WINAPI*)(HANDLE, PVOID, ULONG);
  HMODULE dll = ::GetModuleHandleA("hid.dll");
  ASSERT_NE(dll, nullptr);
  const auto hidDGetFeature = reinterpret_cast<GetFeature>(
      reinterpret_cast<void (*)()>(::GetProcAddress(dll, "HidD_GetFeature")));
  ASSERT_NE(hidDGetFeature, nullptr);
  const auto paths = hid->EnumeratePaths();
  ASSERT_TRUE(paths.has_value());
  int compared = 0;
  for (const std::string& path : *paths) {
    const HidHandle handle = hid->Open(path);
    if (handle == kInvalidHandle)
      continue;
    for (const std::uint8_t reportId : {0, 1, 2, 3}) {
      for (const std::size_t length : {std::size_t{7}, std::size_t{17}, std::size_t{43}}) {
        SCOPED_TRACE(path + ", report " + std::to_string(reportId) + ", " + std::to_string(length) +
                     " bytes");
        std::vector<std::uint8_t> viaDll(length, 0);
        std::vector<std::uint8_t> viaBackend(length, 0);
        viaDll[0] = viaBackend[0] = reportId;
        ::SetLastError(ERROR_SUCCESS);
        const bool dllRead = hidDGetFeature(reinterpret_cast<HANDLE>(handle), viaDll.data(),
                                            static_cast<ULONG>(length)) != 0;
        const DWORD dllError = ::GetLastError();
        const FeatureBytes moved = hid->GetFeature(handle, viaBackend.data(), length);
        EXPECT_EQ(static_cast<bool>(moved), dllRead);
        if (!dllRead && !moved) {
          EXPECT_EQ(moved.reason().code, dllError);
        } else if (moved) {
          EXPECT_LE(*moved, length);
          EXPECT_EQ(viaBackend, viaDll);
        }
        ++compared;
      }
    }
    hid->Close(handle);
  }
  EXPECT_GT(compared, 0);
}

// The units among the present interfaces, by their ids.
int UnitsPresent(HidLibrary& hid) {
  int units = 0;
  const auto paths = hid.EnumeratePaths();
  for (const std::string& path : paths.value_or(std::vector<std::string>{})) {
    const HidHandle handle = hid.Open(path);
    if (handle == kInvalidHandle)
      continue;
    HidAttributes attributes;
    if (hid.GetAttributes(handle, attributes) && attributes.vendorId == kUnitVendorId &&
        attributes.productId == kUnitProductId)
      ++units;
    hid.Close(handle);
  }
  return units;
}

// Run by the real-stack tests before a program of the Windows build meets
// the units on their mocked bus: winebus brings them in while a Wine session
// starts, after the session's first program may already have enumerated.
// Waits until VR512B_UNITS_EXPECTED units are present, as a technician plugs
// the units in before starting the console.
TEST_F(Win32HidTest, TheMockedUnitsArrive) {
  const char* expected = std::getenv("VR512B_UNITS_EXPECTED");
  if (expected == nullptr)
    GTEST_SKIP() << "no mocked units";
  const int want = std::atoi(expected);
  // Far beyond the second or so a loaded machine takes; only a Wine that
  // never shows them ends here.
  const ULONGLONG deadline = ::GetTickCount64() + 120000;
  int present = UnitsPresent(*hid);
  while (present < want && ::GetTickCount64() < deadline) {
    ::Sleep(50);
    present = UnitsPresent(*hid);
  }
  EXPECT_EQ(present, want) << "Wine shows " << present << " of the " << want << " mocked units";
}

// Run by the real-stack tests in a Wine that sees units on a mocked USB bus,
// whose status reads (report 1) move only the first VR512B_UNITS_ANSWER_SHORT
// of their 7 bytes. hid.dll shows such an answer as success, with the rest of
// the buffer as it was; the backend's read reports the bytes that came, and
// the report layer fails the exchange with ERROR_BAD_LENGTH.
TEST_F(Win32HidTest, AShortAnswerFromAMockedUnit) {
  const char* moved = std::getenv("VR512B_UNITS_ANSWER_SHORT");
  if (moved == nullptr)
    GTEST_SKIP() << "no mocked units";
  const std::size_t sent = std::strtoul(moved, nullptr, 10);
  using GetFeature = BOOLEAN(WINAPI*)(HANDLE, PVOID, ULONG);
  const auto hidDGetFeature = reinterpret_cast<GetFeature>(reinterpret_cast<void (*)()>(
      ::GetProcAddress(::GetModuleHandleA("hid.dll"), "HidD_GetFeature")));
  ASSERT_NE(hidDGetFeature, nullptr);
  const auto paths = hid->EnumeratePaths();
  ASSERT_TRUE(paths.has_value());
  VirtualClock clock;
  ReportLayer reports(*hid, clock);
  int units = 0;
  for (const std::string& path : *paths) {
    const HidHandle handle = hid->Open(path);
    if (handle == kInvalidHandle)
      continue;
    HidAttributes attributes;
    if (hid->GetAttributes(handle, attributes) && attributes.vendorId == kUnitVendorId &&
        attributes.productId == kUnitProductId) {
      SCOPED_TRACE(path);
      ++units;
      std::vector<std::uint8_t> viaDll(kShortReportLength, 0xEE);
      viaDll[0] = kReportShort;
      EXPECT_TRUE(hidDGetFeature(reinterpret_cast<HANDLE>(handle), viaDll.data(),
                                 static_cast<ULONG>(viaDll.size())));
      for (std::size_t i = sent; i < viaDll.size(); ++i)
        EXPECT_EQ(viaDll[i], 0xEE) << "byte " << i;
      std::vector<std::uint8_t> viaBackend(kShortReportLength, 0xEE);
      viaBackend[0] = kReportShort;
      EXPECT_EQ(hid->GetFeature(handle, viaBackend.data(), viaBackend.size()),
                static_cast<std::size_t>(sent));
      EXPECT_EQ(viaBackend, viaDll);
      TStatusBlock status;
      const Outcome<void> read = reports.GetStatusReport(handle, status);
      ASSERT_FALSE(read);
      EXPECT_EQ(read.reason().code, static_cast<std::uint32_t>(ERROR_BAD_LENGTH));
      EXPECT_EQ(status, TStatusBlock{});
    }
    hid->Close(handle);
  }
  EXPECT_GT(units, 0) << "Wine shows none of the mocked units";
}

// A composite device's interface names its number in the path, and every
// interface that can be queried tells its usage page: the device link opens
// only interface 0 with the unit's page.
TEST_F(Win32HidTest, EnumerationTellsEachInterfacesNumberAndUsagePage) {
  const auto paths = hid->EnumeratePaths();
  ASSERT_TRUE(paths.has_value());
  int described = 0;
  for (const std::string& path : *paths) {
    SCOPED_TRACE(path);
    const HidInterface where = hid->InterfaceOf(path);
    EXPECT_EQ(where.number, InterfaceNumberInPath(path));
    const HidHandle handle = hid->Open(path);
    if (handle == kInvalidHandle)
      continue;
    hid->Close(handle);
    ASSERT_EQ(where.usagePages.size(), 1u) << "an interface that opens has a top-level collection";
    EXPECT_NE(where.usagePages[0], 0u);
    ++described;
  }
  EXPECT_GT(described, 0) << "no interface could be queried";
  EXPECT_EQ(hid->InterfaceOf("\\\\?\\hid#not-enumerated").number, std::nullopt);
}

// Share modes do not depend on the kind of file, so an ordinary file shows
// how a unit open in one slot is passed over by the next search.
TEST_F(Win32HidTest, AnOpenPathCannotBeOpenedAgainUntilItIsClosed) {
  testing::TempDir dir;
  const std::string path = dir.File("unit");
  testing::WriteFile(path, "x");

  const HidHandle first = hid->Open(path);
  ASSERT_NE(first, kInvalidHandle);
  EXPECT_EQ(hid->Open(path), kInvalidHandle);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  // Reading alongside is what the share mode allows.
  HANDLE reader = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE);
  if (reader != INVALID_HANDLE_VALUE)
    ::CloseHandle(reader);

  hid->Close(first);
  const HidHandle second = hid->Open(path);
  EXPECT_NE(second, kInvalidHandle);
  // Units still open when the library goes are closed with it.
  hid.reset();
  HidLoadResult again = LoadPlatformHidLibrary();
  ASSERT_TRUE(again);
  const HidHandle third = (*again)->Open(path);
  EXPECT_NE(third, kInvalidHandle);
  (*again)->Close(third);
}

}  // namespace
}  // namespace vr512b
