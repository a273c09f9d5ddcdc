// A hid.dll with only the first of the five entry points the console needs:
// the console must refuse to start with the message for missing functions.
#include "common/windows_api.h"

extern "C" __declspec(dllexport) void WINAPI HidD_GetHidGuid(GUID* guid) {
  *guid = GUID{0x4d1e55b2, 0xf16f, 0x11cf, {0x88, 0xcb, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
}
