#include "trace/usb_descriptors.h"

#include "common/utf8.h"
#include "trace/pcapng_layout.h"

namespace vr512b::trace {
namespace {

using namespace layout;

constexpr std::uint8_t Low(std::uint16_t value) {
  return static_cast<std::uint8_t>(value & 0xFF);
}
constexpr std::uint8_t High(std::uint16_t value) {
  return static_cast<std::uint8_t>(value >> 8);
}

// Vendor-defined usage page; one feature report per report id, of the
// unit's block sizes (the report length less the id byte).
constexpr std::array<std::uint8_t, 39> kHidReport = {
    0x06, 0x00,           0xFF,  // usage page 0xFF00
    0x09, 0x01,                  // usage 1
    0xA1, 0x01,                  // collection (application)
    0x15, 0x00,                  // logical minimum 0
    0x26, 0xFF,           0x00,  // logical maximum 255
    0x75, 0x08,                  // report size 8 bits
    0x85, kReportShort,   0x09, 0x01, 0x95, kShortReportLength - 1,   0xB1, 0x02,
    0x85, kReportConfig,  0x09, 0x02, 0x95, kConfigReportLength - 1,  0xB1, 0x02,
    0x85, kReportMessage, 0x09, 0x03, 0x95, kMessageReportLength - 1, 0xB1, 0x02,
    0xC0,  // end collection
};

constexpr std::uint16_t kConfigurationTotal = 9 + 9 + 9 + 7;
constexpr std::array<std::uint8_t, kConfigurationTotal> kConfiguration = {
    // configuration 1: one interface, bus powered, 100 mA
    9, kConfigurationDescriptor, Low(kConfigurationTotal), High(kConfigurationTotal), 1, 1, 0, 0x80,
    50,
    // interface 0: HID, no boot subclass, one endpoint
    9, 4, kHidInterface, 0, 1, 3, 0, 0, 0,
    // HID 1.11, one report descriptor
    9, 0x21, 0x11, 0x01, 0, 1, kHidReportDescriptor, Low(kHidReport.size()),
    High(kHidReport.size()),
    // endpoint 1 IN, interrupt, 8 bytes, every 10 ms
    7, 5, 0x81, 3, 8, 0, 10};

constexpr std::array<std::uint8_t, 4> kLanguages = {4, kStringDescriptor, Low(kLanguageEnglishUs),
                                                    High(kLanguageEnglishUs)};

}  // namespace

std::array<std::uint8_t, kDeviceDescriptorSize> DeviceDescriptor(const UnitIdentity& unit) {
  return {kDeviceDescriptorSize,
          kDeviceDescriptor,
          0x00,
          0x02,  // USB 2.0
          0,
          0,
          0,  // class per interface
          8,  // endpoint 0 packet size
          Low(unit.vendorId),
          High(unit.vendorId),
          Low(unit.productId),
          High(unit.productId),
          Low(unit.version),
          High(unit.version),
          0,
          0,  // no manufacturer or product string
          kSerialStringIndex,
          1};
}

std::span<const std::uint8_t> ConfigurationDescriptor() {
  return kConfiguration;
}

std::span<const std::uint8_t> HidReportDescriptor() {
  return kHidReport;
}

std::span<const std::uint8_t> LanguagesDescriptor() {
  return kLanguages;
}

std::vector<std::uint8_t> StringDescriptor(const std::u16string& text) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(2 + 2 * text.size());
  bytes.push_back(static_cast<std::uint8_t>(2 + 2 * text.size()));
  bytes.push_back(kStringDescriptor);
  for (char16_t c : text) {
    bytes.push_back(Low(c));
    bytes.push_back(High(c));
  }
  return bytes;
}

std::optional<DeviceFields> ParseDeviceDescriptor(std::span<const std::uint8_t> bytes) {
  if (bytes.size() != kDeviceDescriptorSize || bytes[0] != kDeviceDescriptorSize ||
      bytes[1] != kDeviceDescriptor)
    return std::nullopt;
  auto word = [&](std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
  };
  return DeviceFields{word(8), word(10), word(12), bytes[16]};
}

std::optional<std::u16string> ParseStringDescriptor(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 2 || bytes[0] != bytes.size() || bytes[0] % 2 != 0 ||
      bytes[1] != kStringDescriptor)
    return std::nullopt;
  std::u16string text;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
    text += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
  return text;
}

std::string Utf8FromUtf16(std::u16string_view text) {
  return Utf16ToUtf8(text);
}

std::string DescribeUnit(const UnitIdentity& unit) {
  std::string text = unit.role == Role::Reference ? "эталонное УПО" : "проверяемое УПО";
  text += ", серийный номер ";
  text += Utf8FromUtf16(unit.serial);
  text += ", версия ";
  text += std::to_string(High(unit.version));
  text += '.';
  text += std::to_string(Low(unit.version));
  return text;
}

}  // namespace vr512b::trace
