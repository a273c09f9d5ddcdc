#pragma once

#include <optional>
#include <string_view>

#include "device/hid_library.h"

namespace vr512b {

// Loads the platform's HID library with all its entry points. On Linux this is
// hidapi's hidraw backend (libhidapi-hidraw.so.0, or the file named by the
// environment variable VR512B_HIDAPI_LIBRARY); on Windows hid.dll.
HidLoadResult LoadPlatformHidLibrary();

// The interface number a Windows device path names ("...&mi_01#..." is
// interface 1 of a composite device, either case); none for a device of one
// interface, whose path has no "&mi_".
std::optional<int> InterfaceNumberInPath(std::string_view devicePath);

}  // namespace vr512b
