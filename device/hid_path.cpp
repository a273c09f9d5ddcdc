#include "common/text.h"
#include "device/hid_loader.h"

namespace vr512b {

std::optional<int> InterfaceNumberInPath(std::string_view devicePath) {
  constexpr std::string_view kMarker = "&mi_";
  for (std::size_t at = 0; at + kMarker.size() + 2 <= devicePath.size(); ++at) {
    if (!StartsWithIgnoringAsciiCase(devicePath.substr(at), kMarker))
      continue;
    const int high = HexDigitValue(devicePath[at + kMarker.size()]);
    const int low = HexDigitValue(devicePath[at + kMarker.size() + 1]);
    if (high >= 0 && low >= 0)
      return high * 16 + low;
  }
  return std::nullopt;
}

}  // namespace vr512b
