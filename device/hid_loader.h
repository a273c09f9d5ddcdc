#pragma once

#include "device/hid_library.h"

namespace vr512b {

// Loads the platform's HID library with all its entry points. On Linux this is
// hidapi's hidraw backend (libhidapi-hidraw.so.0, or the file named by the
// environment variable VR512B_HIDAPI_LIBRARY); on Windows hid.dll.
HidLoadResult LoadPlatformHidLibrary();

}  // namespace vr512b
