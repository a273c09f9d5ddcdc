#pragma once

// The USB descriptors a trace records for each unit. The console never sees a
// unit's raw descriptors (the HID library gives only its attributes and serial
// number), so these are rebuilt from those: one HID interface with the three
// feature reports, which is what Wireshark needs to dissect the reports.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "trace/trace_types.h"

namespace vr512b::trace {

inline constexpr std::size_t kDeviceDescriptorSize = 18;
// A string descriptor's length is one byte, two of them its header.
inline constexpr std::size_t kMaxSerialLength = 126;

std::array<std::uint8_t, kDeviceDescriptorSize> DeviceDescriptor(const UnitIdentity& unit);
std::span<const std::uint8_t> ConfigurationDescriptor();
std::span<const std::uint8_t> HidReportDescriptor();
std::span<const std::uint8_t> LanguagesDescriptor();
// The serial number as a string descriptor; the serial must not be longer
// than kMaxSerialLength code units.
std::vector<std::uint8_t> StringDescriptor(const std::u16string& text);

struct DeviceFields {
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  std::uint16_t version = 0;
  std::uint8_t serialIndex = 0;
};
std::optional<DeviceFields> ParseDeviceDescriptor(std::span<const std::uint8_t> bytes);
std::optional<std::u16string> ParseStringDescriptor(std::span<const std::uint8_t> bytes);

// "эталонное УПО, серийный номер 123, версия 10.3": the unit in the words the
// console uses, for Wireshark's interface description.
std::string DescribeUnit(const UnitIdentity& unit);

// UTF-8 of a UTF-16 text; an unpaired surrogate becomes U+FFFD.
std::string Utf8FromUtf16(std::u16string_view text);

}  // namespace vr512b::trace
