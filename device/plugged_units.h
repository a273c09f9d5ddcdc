#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/device_types.h"

namespace vr512b {

class HidLibrary;
struct HidInterface;

// A composite device with the unit's ids has other interfaces besides the
// unit's; where the platform tells an interface's number or usage page, only
// the unit's own is taken for a unit.
bool MayBeTheUnit(const HidInterface& where);

// A unit on the bus as the platform lists it: which role it would take, its
// serial number as the console converts it, and its version.
struct PluggedUnit {
  TUnitRole role = urUnderTest;
  std::int32_t serial = 0;
  std::uint16_t version = 0;  // major byte, minor byte
  friend bool operator==(const PluggedUnit&, const PluggedUnit&) = default;
};

// The units present, in the platform's order, told from the enumeration
// alone: nothing is opened, nothing is written, so a unit a test holds is
// neither disturbed nor missed. The reference unit is the one with
// `refSerial`, every other unit a unit under test. Nullopt when the device
// set cannot be had, or the platform does not tell a device's ids without
// opening it (HidLibrary::ListingOf).
std::optional<std::vector<PluggedUnit>> ListPluggedUnits(HidLibrary& hid, std::int32_t refSerial);

// "с/н 4711, версия 10.3"
std::string PluggedUnitText(const PluggedUnit& unit);

}  // namespace vr512b
