#include "device/plugged_units.h"

#include <algorithm>

#include "device/hid_library.h"
#include "device/serial_number.h"

namespace vr512b {

bool MayBeTheUnit(const HidInterface& where) {
  if (where.number && *where.number != kUnitInterfaceNumber)
    return false;
  return where.usagePages.empty() || std::find(where.usagePages.begin(), where.usagePages.end(),
                                               kUnitUsagePage) != where.usagePages.end();
}

std::optional<std::vector<PluggedUnit>> ListPluggedUnits(HidLibrary& hid, std::int32_t refSerial) {
  const auto paths = hid.EnumeratePaths();
  if (!paths)
    return std::nullopt;
  std::vector<PluggedUnit> units;
  for (const std::string& path : *paths) {
    if (!MayBeTheUnit(hid.InterfaceOf(path)))
      continue;
    const std::optional<HidListing> listing = hid.ListingOf(path);
    // A platform that cannot tell a device without opening it cannot say
    // which units are there.
    if (!listing)
      return std::nullopt;
    if (listing->attributes.vendorId != kUnitVendorId ||
        listing->attributes.productId != kUnitProductId) {
      continue;
    }
    PluggedUnit unit;
    unit.serial = SerialStringToInt(listing->serial);
    unit.version = listing->attributes.version;
    // As the tests pick them: the configured serial is the reference.
    unit.role = refSerial != 0 && unit.serial == refSerial ? urReference : urUnderTest;
    units.push_back(unit);
  }
  return units;
}

std::string PluggedUnitText(const PluggedUnit& unit) {
  return "с/н " + std::to_string(unit.serial) + ", версия " + std::to_string(unit.version >> 8) +
         "." + std::to_string(unit.version & 0xFF);
}

}  // namespace vr512b
