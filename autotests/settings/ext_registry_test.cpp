#include <gtest/gtest.h>

#include <array>
#include <functional>

#include "ext_registry.h"

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

TEST_F(ExtRegistryTest, IntegerReadsCheckSizeBeforeType) {
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
    EXPECT_EQ(ErrorOf([&] { registry.ReadIntDef("V", 5); }), c.error);
  }
  EXPECT_EQ(ErrorOf([&] { registry.ReadInteger("Missing"); }), "Failed to get data for 'Missing'");

  Store(Raw(kRegDword, {0, 0, 0, 0x80}));
  EXPECT_EQ(registry.ReadIntDef("V", 5), INT32_MIN);
  EXPECT_TRUE(registry.ReadBool("V"));  // any non-zero number
  Store(Raw(kRegDword, {2}));           // short data is zero-extended
  EXPECT_EQ(registry.ReadInteger("V"), 2);
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

TEST_F(ExtRegistryTest, FloatAndCurrencyNeedEightBinaryBytes) {
  registry.WriteFloat("F", -2.5);
  registry.WriteCurrency("C", 123456789);  // 12 345.6789
  EXPECT_EQ(registry.ReadFloatDef("F", 1.0), -2.5);
  EXPECT_EQ(registry.ReadCurrencyDef("C", 1), 123456789);
  EXPECT_EQ(registry.ReadFloatDef("Missing", 1.5), 1.5);
  EXPECT_EQ(registry.ReadCurrencyDef("Missing", 7), 7);

  const std::pair<RegValue, std::string> cases[] = {
      {Raw(kRegBinary, std::vector<std::uint8_t>(4)), "Invalid data type for 'V'"},
      {Raw(kRegBinary, std::vector<std::uint8_t>(9)), "Failed to get data for 'V'"},
      {Raw(kRegDword, {1, 0, 0, 0}), "Invalid data type for 'V'"},
      {Raw(kRegNone, std::vector<std::uint8_t>(8)), "Invalid data type for 'V'"},
  };
  for (const auto& [stored, error] : cases) {
    Store(stored);
    EXPECT_EQ(ErrorOf([&] { registry.ReadFloatDef("V", 0); }), error);
    EXPECT_EQ(ErrorOf([&] { registry.ReadCurrencyDef("V", 0); }), error);
  }
}

TEST_F(ExtRegistryTest, ReadBinaryDataDef) {
  const std::array<std::uint8_t, 4> def{9, 8, 7, 6};
  std::array<std::uint8_t, 4> buffer{};

  buffer.fill(0xEE);
  EXPECT_FALSE(registry.ReadBinaryDataDef("Missing", buffer, def.data()));
  EXPECT_EQ(buffer, def);
  EXPECT_FALSE(registry.ReadBinaryDataDef("Missing", buffer, nullptr));
  EXPECT_EQ(buffer, (std::array<std::uint8_t, 4>{}));

  // Shorter data fills the front and leaves the rest as it was.
  buffer.fill(0xEE);
  Store(Raw(kRegBinary, {1, 2}));
  EXPECT_TRUE(registry.ReadBinaryDataDef("V", buffer, def.data()));
  EXPECT_EQ(buffer, (std::array<std::uint8_t, 4>{1, 2, 0xEE, 0xEE}));

  // Untyped values and types without a typed read count as binary.
  for (RegValueType type : {kRegNone, RegValueType{11}}) {
    Store(Raw(type, {5, 5, 5, 5}));
    EXPECT_TRUE(registry.ReadBinaryDataDef("V", buffer, def.data()));
    EXPECT_EQ(buffer, (std::array<std::uint8_t, 4>{5, 5, 5, 5}));
  }

  // Too large: the default, whole buffer, even over a wrong type.
  Store(Raw(kRegBinary, {1, 2, 3, 4, 5}));
  EXPECT_FALSE(registry.ReadBinaryDataDef("V", buffer, def.data()));
  EXPECT_EQ(buffer, def);
  Store(Text("long text"));
  EXPECT_FALSE(registry.ReadBinaryDataDef("V", buffer, nullptr));
  EXPECT_EQ(buffer, (std::array<std::uint8_t, 4>{}));

  for (const RegValue& wrong :
       {Text("ab"), Text("ab", kRegExpandSz), Raw(kRegDword, {1, 0, 0, 0})}) {
    Store(wrong);
    EXPECT_EQ(ErrorOf([&] { registry.ReadBinaryDataDef("V", buffer, def.data()); }),
              "Invalid data type for 'V'");
  }
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
