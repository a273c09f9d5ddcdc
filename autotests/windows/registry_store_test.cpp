// The parameter store against the system registry (Wine's, in CI): what the
// console writes is what regedit and other programs see, and values that
// others stored are read, or refused with the error naming them.
#include <gtest/gtest.h>

#include "common/windows_api.h"

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "settings/ext_registry.h"
#include "settings/registry_store.h"
#include "settings/settings.h"

namespace vr512b {
namespace {

constexpr wchar_t kScratchKey[] = L"Software\\Korvex\\DiagVR512B-autotest";
constexpr char kScratchKeyA[] = "Software\\Korvex\\DiagVR512B-autotest";
constexpr wchar_t kSettingsKeyW[] = L"Software\\Korvex\\DiagVR512B";

// The console keeps its values where the 32-bit console did: in the 32-bit
// view of the registry, which other programs reach with KEY_WOW64_32KEY.
constexpr REGSAM kConsoleView = KEY_WOW64_32KEY;
constexpr REGSAM kNativeView = KEY_WOW64_64KEY;

struct KeyClose {
  void operator()(HKEY key) const { ::RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyClose>;

UniqueKey OpenNative(HKEY root, const wchar_t* path, REGSAM view = kConsoleView) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(root, path, 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS)
    return nullptr;
  return UniqueKey(key);
}

UniqueKey CreateNative(HKEY root, const wchar_t* path, REGSAM view = kConsoleView) {
  HKEY key = nullptr;
  EXPECT_EQ(
      ::RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr),
      ERROR_SUCCESS);
  return UniqueKey(key);
}

struct RawValue {
  DWORD type = 0;
  std::vector<std::uint8_t> data;
};

RawValue ReadNative(HKEY root, const wchar_t* path, const wchar_t* name,
                    REGSAM view = kConsoleView) {
  RawValue value;
  DWORD size = 0;
  const UniqueKey key = OpenNative(root, path, view);
  if (!key || ::RegQueryValueExW(key.get(), name, nullptr, &value.type, nullptr, &size) != 0)
    return value;
  value.data.resize(size);
  ::RegQueryValueExW(key.get(), name, nullptr, &value.type, value.data.data(), &size);
  return value;
}

void WriteNative(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
  ASSERT_EQ(::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size),
            ERROR_SUCCESS);
}

void WriteNativeText(HKEY key, const wchar_t* name, const std::wstring& text) {
  WriteNative(key, name, REG_SZ, text.c_str(),
              static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

std::vector<std::uint8_t> Utf16WithZero(const std::wstring& text) {
  std::vector<std::uint8_t> bytes((text.size() + 1) * sizeof(wchar_t), 0);
  std::memcpy(bytes.data(), text.data(), text.size() * sizeof(wchar_t));
  return bytes;
}

std::string ErrorOf(const std::function<void()>& read) {
  try {
    read();
  } catch (const RegistryError& e) {
    return e.what();
  }
  return "";
}

// Each test starts without the keys it uses under either hive and leaves
// none behind.
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }
  static void Clean() {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
      for (REGSAM view : {kConsoleView, kNativeView}) {
        if (const UniqueKey software = OpenNative(root, L"Software", view)) {
          ::RegDeleteTreeW(software.get(), L"Korvex\\DiagVR512B-autotest");
          ::RegDeleteTreeW(software.get(), L"Korvex\\DiagVR512B");
        }
      }
    }
  }

  // The scratch key with values that another program stored.
  UniqueKey Scratch() { return CreateNative(HKEY_LOCAL_MACHINE, kScratchKey); }
};

TEST_F(RegistryTest, TypedValuesRoundTripAndAreStoredAsTheRegistryTypes) {
  const std::string phone = "8 (495) 123-45-67 доб. 5";
  const std::vector<std::uint8_t> block{1, 2, 0, 254, 255};
  {
    const auto store = OpenSystemRegistryStore();
    TExtRegistry registry(*store);
    // A leading backslash, as the console writes the key, names the same key.
    ASSERT_TRUE(registry.OpenKey(std::string("\\") + kScratchKeyA, true));
    registry.WriteString("Phone", phone);
    registry.WriteString("Empty", "");
    registry.WriteBool("Flag", true);
    // The other types pass through the store unchanged.
    const std::string expand = "%TEMP%\\x";
    RegValue expandValue{kRegExpandSz, {expand.begin(), expand.end()}};
    expandValue.data.push_back(0);
    ASSERT_TRUE(store->WriteValue("Expand", expandValue));
    ASSERT_TRUE(store->WriteValue("Block", RegValue{kRegBinary, block}));
  }

  // What other programs see: UTF-16 text with its terminating zero, DWORDs of four bytes.
  const RawValue text = ReadNative(HKEY_LOCAL_MACHINE, kScratchKey, L"Phone");
  EXPECT_EQ(text.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(text.data, Utf16WithZero(L"8 (495) 123-45-67 доб. 5"));
  EXPECT_EQ(ReadNative(HKEY_LOCAL_MACHINE, kScratchKey, L"Empty").data, Utf16WithZero(L""));
  const RawValue expand = ReadNative(HKEY_LOCAL_MACHINE, kScratchKey, L"Expand");
  EXPECT_EQ(expand.type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(expand.data, Utf16WithZero(L"%TEMP%\\x"));
  const RawValue flag = ReadNative(HKEY_LOCAL_MACHINE, kScratchKey, L"Flag");
  EXPECT_EQ(flag.type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(flag.data, (std::vector<std::uint8_t>{1, 0, 0, 0}));
  const RawValue binary = ReadNative(HKEY_LOCAL_MACHINE, kScratchKey, L"Block");
  EXPECT_EQ(binary.type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(binary.data, block);

  const auto store = OpenSystemRegistryStore();
  TExtRegistry registry(*store);
  ASSERT_TRUE(registry.OpenKey(kScratchKeyA, false));
  EXPECT_EQ(registry.ReadStringDef("phone", "x"), phone);  // names ignore case
  EXPECT_EQ(registry.ReadStringDef("Empty", "x"), "");
  EXPECT_EQ(registry.ReadStringDef("Expand", "x"), "%TEMP%\\x");
  EXPECT_TRUE(registry.ReadBoolDef("Flag", false));
  EXPECT_EQ(store->ReadValue("Block"), (RegValue{kRegBinary, block}));
}

TEST_F(RegistryTest, ValuesOfTheWrongTypeOrSizeRaiseTheErrorNamingThem) {
  {
    const UniqueKey key = Scratch();
    WriteNativeText(key.get(), L"Text", L"1");
    WriteNativeText(key.get(), L"LongText", L"checked");
    const DWORD one = 1;
    WriteNative(key.get(), L"Dword", REG_DWORD, &one, sizeof one);
    const std::uint64_t eight = 1;
    WriteNative(key.get(), L"Eight", REG_BINARY, &eight, sizeof eight);
    WriteNative(key.get(), L"Four", REG_BINARY, &one, sizeof one);
  }
  const auto store = OpenSystemRegistryStore();
  TExtRegistry registry(*store);
  ASSERT_TRUE(registry.OpenKey(kScratchKeyA, false));

  EXPECT_EQ(ErrorOf([&] { registry.ReadBoolDef("Text", true); }), "Invalid data type for 'Text'");
  // Longer than the four bytes of a flag: the read fails before the type is looked at.
  EXPECT_EQ(ErrorOf([&] { registry.ReadBoolDef("LongText", true); }),
            "Failed to get data for 'LongText'");
  EXPECT_EQ(ErrorOf([&] { registry.ReadBoolDef("Eight", true); }),
            "Failed to get data for 'Eight'");
  EXPECT_EQ(ErrorOf([&] { registry.ReadBoolDef("Four", true); }), "Invalid data type for 'Four'");
  EXPECT_EQ(ErrorOf([&] { registry.ReadStringDef("Dword", ""); }), "Invalid data type for 'Dword'");
}

TEST_F(RegistryTest, MissingValuesGiveTheDefaultsAndOddTextStillReads) {
  {
    const UniqueKey key = Scratch();
    WriteNative(key.get(), L"NoZero", REG_SZ, L"12345", 5 * sizeof(wchar_t));
    WriteNative(key.get(), L"Nothing", REG_SZ, nullptr, 0);
  }
  const auto store = OpenSystemRegistryStore();
  TExtRegistry registry(*store);
  ASSERT_TRUE(registry.OpenKey(kScratchKeyA, false));
  EXPECT_EQ(registry.ReadStringDef("Missing", "def"), "def");
  EXPECT_EQ(registry.ReadString("Missing"), "");
  EXPECT_FALSE(registry.ReadBoolDef("Missing", false));
  EXPECT_TRUE(registry.ReadBoolDef("Missing", true));
  // Text stored by others without its terminating zero, or of size 0.
  EXPECT_EQ(registry.ReadStringDef("NoZero", ""), "12345");
  EXPECT_EQ(registry.ReadStringDef("Nothing", "def"), "");

  // With no key open nothing exists and nothing can be written.
  registry.CloseKey();
  EXPECT_EQ(registry.ReadStringDef("NoZero", "def"), "def");
  EXPECT_EQ(ErrorOf([&] { registry.WriteBool("Flag", true); }), "Failed to set data for 'Flag'");
  EXPECT_FALSE(registry.OpenKey("Software\\Korvex\\DiagVR512B-absent", false));
}

TEST_F(RegistryTest, ParametersLiveUnderTheMachineKeyAndAWrongTypeKeepsOnlyItself) {
  TestParameterValues loaded;
  loaded.IDContact = false;
  LoadSettings(*OpenSettingsStore(DefaultSettingsPath()), loaded);
  // First start: the key is created, and the defaults stand.
  EXPECT_TRUE(OpenNative(HKEY_LOCAL_MACHINE, kSettingsKeyW) != nullptr);
  EXPECT_TRUE(loaded.IDContact && loaded.LowSpeed && loaded.Secsoa && loaded.Korvex &&
              loaded.Presto);
  EXPECT_FALSE(loaded.ShortTest || loaded.Sound || loaded.SoundSample || loaded.KorvexTestMsg ||
               loaded.CBNoTone);
  EXPECT_EQ(loaded.NameVR512BSample, "");

  TestParameterValues saved;
  saved.NameVR512BSample = " 123";
  saved.PhoneSample = "2001";
  saved.Phone = "Тел. 2002";
  saved.LowSpeed = false;
  saved.Sound = true;
  saved.CBNoTone = true;
  SaveSettings(*OpenSettingsStore("HKLM"), saved);
  EXPECT_EQ(ReadNative(HKEY_LOCAL_MACHINE, kSettingsKeyW, L"NameVR512BSample").data,
            Utf16WithZero(L" 123"));
  TestParameterValues again;
  LoadSettings(*OpenSettingsStore("HKEY_LOCAL_MACHINE"), again);
  EXPECT_EQ(again.NameVR512BSample, " 123");
  EXPECT_EQ(again.Phone, "Тел. 2002");
  EXPECT_FALSE(again.LowSpeed);
  EXPECT_TRUE(again.Sound && again.CBNoTone && again.IDContact);

  // A flag stored as text is named and keeps what it had; the values after
  // it load all the same.
  {
    const UniqueKey key = OpenNative(HKEY_LOCAL_MACHINE, kSettingsKeyW);
    WriteNativeText(key.get(), L"Secsoa", L"1");
  }
  TestParameterValues partly;
  partly.Secsoa = false;
  partly.Korvex = false;
  partly.Sound = false;
  EXPECT_EQ(ErrorOf([&] { LoadSettings(*OpenSettingsStore("HKLM"), partly); }),
            "Invalid data type for 'Secsoa'");
  EXPECT_EQ(partly.Phone, "Тел. 2002");
  EXPECT_FALSE(partly.Secsoa);
  EXPECT_FALSE(partly.LowSpeed);
  EXPECT_TRUE(partly.Korvex);
  EXPECT_TRUE(partly.Sound);
}

TEST_F(RegistryTest, TheVirtualBenchSeedsItsOwnParametersOnceUnderTheUserKey) {
  EXPECT_EQ(DefaultSimulatorSettingsPath(), "HKEY_CURRENT_USER");
  const SeedResult seeded = SeedSimulatorSettings(DefaultSimulatorSettingsPath());
  EXPECT_TRUE(seeded.created);
  EXPECT_EQ(seeded.error, "");
  EXPECT_FALSE(SeedSimulatorSettings("HKCU").created);
  // The bench technician's machine-wide parameters are left alone.
  EXPECT_TRUE(OpenNative(HKEY_LOCAL_MACHINE, kSettingsKeyW) == nullptr);

  TestParameterValues stored;
  LoadSettings(*OpenSettingsStore("hkey_current_user"), stored);
  EXPECT_EQ(stored.NameVR512BSample, "10001");
  EXPECT_EQ(stored.PhoneSample, "2001");
  EXPECT_EQ(stored.Phone, "2002");
  EXPECT_TRUE(stored.IDContact && stored.Presto);
  EXPECT_FALSE(stored.ShortTest);

  // Anything but a hive is refused rather than read as an empty store.
  EXPECT_NE(ErrorOf([] { OpenSettingsStore("C:\\temp\\DiagVR512B.reg"); }), "");
  const SeedResult notAHive = SeedSimulatorSettings("C:\\temp\\DiagVR512B.reg");
  EXPECT_FALSE(notAHive.created);
  EXPECT_NE(notAHive.error, "");
  TestParameterValues values;
  const SettingsLoad load = LoadSettingsFrom("C:\\temp\\DiagVR512B.reg", values);
  EXPECT_TRUE(load.notParameters);
}

TEST_F(RegistryTest, ParametersLiveInThe32BitViewWhereExistingInstallationsKeepThem) {
  // What the 32-bit console stored on a 64-bit Windows.
  {
    const UniqueKey old = CreateNative(HKEY_LOCAL_MACHINE, kSettingsKeyW, kConsoleView);
    WriteNativeText(old.get(), L"NameVR512BSample", L"12345");
    WriteNativeText(old.get(), L"Phone", L"2002");
    const DWORD off = 0;
    WriteNative(old.get(), L"Presto", REG_DWORD, &off, sizeof off);
  }
  TestParameterValues loaded;
  LoadSettings(*OpenSettingsStore("HKLM"), loaded);
  EXPECT_EQ(loaded.NameVR512BSample, "12345");
  EXPECT_EQ(loaded.Phone, "2002");
  EXPECT_FALSE(loaded.Presto);

  TestParameterValues changed = loaded;
  changed.PhoneSample = "2001";
  SaveSettings(*OpenSettingsStore("HKLM"), changed, loaded);
  // Beside the old values, under WOW6432Node as the native view names it,
  // and nothing in the native view's own key.
  EXPECT_EQ(ReadNative(HKEY_LOCAL_MACHINE, L"Software\\WOW6432Node\\Korvex\\DiagVR512B",
                       L"PhoneSample", kNativeView)
                .data,
            Utf16WithZero(L"2001"));
  EXPECT_EQ(ReadNative(HKEY_LOCAL_MACHINE, kSettingsKeyW, L"NameVR512BSample").data,
            Utf16WithZero(L"12345"));
  EXPECT_TRUE(OpenNative(HKEY_LOCAL_MACHINE, kSettingsKeyW, kNativeView) == nullptr);
}

}  // namespace
}  // namespace vr512b
