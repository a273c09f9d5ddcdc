#include <gtest/gtest.h>

#include "device/serial_number.h"

namespace vr512b {
namespace {

struct SerialCase {
  const char* text;
  std::int32_t expected;
};

class ReferenceSerialTest : public ::testing::TestWithParam<SerialCase> {};

TEST_P(ReferenceSerialTest, Converts) {
  EXPECT_EQ(ReferenceSerialFromText(GetParam().text), GetParam().expected)
      << "text \"" << GetParam().text << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Decimal, ReferenceSerialTest,
    ::testing::Values(SerialCase{"123", 123}, SerialCase{" 123", 123}, SerialCase{"   7", 7},
                      SerialCase{"123 ", 0}, SerialCase{"12a", 0}, SerialCase{"-5", -5},
                      SerialCase{"+5", 5}, SerialCase{"-0", 0}, SerialCase{"007", 7},
                      SerialCase{"2147483647", 2147483647}, SerialCase{"2147483648", 0},
                      SerialCase{"-2147483648", INT32_MIN}, SerialCase{"-2147483649", 0},
                      SerialCase{"4294967295", 0}, SerialCase{"99999999999999999999", 0},
                      SerialCase{"", 0}, SerialCase{"   ", 0}, SerialCase{"-", 0},
                      SerialCase{"+", 0}, SerialCase{"- 5", 0}, SerialCase{"+-5", 0},
                      SerialCase{"1 2", 0}));

INSTANTIATE_TEST_SUITE_P(
    Hexadecimal, ReferenceSerialTest,
    ::testing::Values(SerialCase{"$7B", 123}, SerialCase{"0x7B", 123}, SerialCase{"0X7b", 123},
                      SerialCase{"x7B", 123}, SerialCase{"X7B", 123}, SerialCase{" $7B", 123},
                      SerialCase{"$FFFFFFFF", -1}, SerialCase{"$80000000", INT32_MIN},
                      SerialCase{"$00000001", 1}, SerialCase{"$000000001", 0},
                      SerialCase{"$100000000", 0}, SerialCase{"-$7B", 0}, SerialCase{"+$7B", 0},
                      SerialCase{"$", 0}, SerialCase{"0x", 0}, SerialCase{"$7G", 0},
                      SerialCase{"$7B ", 0}, SerialCase{"$ 7B", 0}, SerialCase{"0x-1", 0}));

}  // namespace
}  // namespace vr512b
