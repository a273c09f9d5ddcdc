#include <gtest/gtest.h>

#include <functional>

#include "settings/ext_registry.h"
#include "settings/memory_registry_store.h"

namespace vr512b {
namespace {

RegValue Raw(RegValueType type, std::vector<std::uint8_t> data) {
  return {type, std::move(data)};
}

RegValue Text(const std::string& text, RegValueType type = kRegSz) {
  RegValue value{type, {text.begin(), text.end()}};
  value.data.push_back(0);
  return value;
}

class ExtRegistryTest : public ::testing::Test {
 protected:
  ExtRegistryTest() { registry.OpenKey("\\Software\\Test", true); }

  void Store(const RegValue& value) { ASSERT_TRUE(store.WriteValue("V", value)); }

  // The message of the RegistryError `read` raises, or "" when it succeeds.
  static std::string ErrorOf(const std::function<void()>& read) {
    try {
      read();
    } catch (const RegistryError& error) {
      return error.what();
    }
    return "";
  }

  MemoryRegistryStore store;
  TExtRegistry registry{store};
};

TEST_F(ExtRegistryTest, FlagReadsCheckSizeBeforeType) {
  const std::string invalid = "Invalid data type for 'V'";
  const std::string noData = "Failed to get data for 'V'";
  struct Case {
    RegValue stored;
    std::string error;
  };
  const Case cases[] = {
      {Text("yes"), invalid},                              // 4 bytes with its zero
      {Text("true"), noData},                              // 5 bytes
      {Raw(kRegDword, {1, 0, 0, 0, 0, 0, 0, 0}), noData},  // an 8-byte "dword"
      {Raw(kRegBinary, {1, 0, 0, 0}), invalid},
      {Raw(kRegNone, {}), invalid},
  };
  for (const Case& c : cases) {
    Store(c.stored);
    EXPECT_EQ(ErrorOf([&] { registry.ReadBool("V"); }), c.error);
    EXPECT_EQ(ErrorOf([&] { registry.ReadBoolDef("V", true); }), c.error);
  }
  EXPECT_EQ(ErrorOf([&] { registry.ReadBool("Missing"); }), "Failed to get data for 'Missing'");

  Store(Raw(kRegDword, {0, 0, 0, 0x80}));
  EXPECT_TRUE(registry.ReadBool("V"));  // any non-zero number
  Store(Raw(kRegDword, {2}));           // short data is zero-extended
  EXPECT_TRUE(registry.ReadBoolDef("V", false));
  Store(Raw(kRegDword, {0}));
  EXPECT_FALSE(registry.ReadBoolDef("V", true));
}

TEST_F(ExtRegistryTest, StringReads) {
  EXPECT_EQ(registry.ReadString("Missing"), "");
  EXPECT_EQ(registry.ReadStringDef("Missing", "def"), "def");
  Store(Text(std::string("a\0b", 3), kRegExpandSz));  // ends at the first zero
  EXPECT_EQ(registry.ReadStringDef("V", "def"), "a");
  Store(Raw(kRegSz, {'n', 'o', 'z'}));  // no terminating zero
  EXPECT_EQ(registry.ReadString("V"), "noz");
  Store(Raw(kRegDword, {}));  // size 0 reads as empty whatever the type
  EXPECT_EQ(registry.ReadStringDef("V", "def"), "");
  Store(Raw(kRegDword, {1, 0, 0, 0}));
  EXPECT_EQ(ErrorOf([&] { registry.ReadStringDef("V", "def"); }), "Invalid data type for 'V'");
}

TEST(ExtRegistryClosedTest, WritesFailAndReadsDefaultWithoutAKey) {
  MemoryRegistryStore store;
  TExtRegistry registry(store);
  EXPECT_FALSE(registry.OpenKey("Software\\Nothing", false));
  EXPECT_EQ(registry.ReadBoolDef("Flag", true), true);
  EXPECT_EQ(registry.ReadString("Text"), "");
  try {
    registry.WriteBool("Flag", true);
    FAIL() << "write without a key succeeded";
  } catch (const RegistryError& error) {
    EXPECT_STREQ(error.what(), "Failed to set data for 'Flag'");
  }
}

}  // namespace
}  // namespace vr512b
