#include "device/device_link.h"

#include <algorithm>
#include <string>

#include "device/plugged_units.h"
#include "device/serial_number.h"

namespace vr512b {

namespace {

// The serial string is asked for with 32 bytes of a zeroed 64-byte buffer, so
// it always ends in a zero.
constexpr std::size_t kSerialBufferBytes = 64;
constexpr std::size_t kSerialRequestBytes = 32;

}  // namespace

DeviceLink::~DeviceLink() {
  // Tests close their units; this only guards against a handle outliving us.
  for (HidHandle& handle : FDevice) {
    if (handle != kInvalidHandle)
      hid_.Close(handle);
    handle = kInvalidHandle;
  }
}

const char* DeviceLink::RoleWord(TUnitRole role) {
  return role == urReference ? "эталонное" : "проверяемое";
}

Outcome<std::int32_t> DeviceLink::ReadSerial(HidHandle handle) {
  std::array<char16_t, kSerialBufferBytes / 2> buffer{};
  if (Outcome<void> read = hid_.GetSerialNumberString(handle, buffer.data(), kSerialRequestBytes);
      !read)
    return read.reason();
  return SerialStringToInt(SerialFromBuffer(buffer.data(), buffer.size()));
}

HidHandle DeviceLink::FindDevice(TUnitRole role) {
  const auto paths = hid_.EnumeratePaths();
  if (!paths)
    return kInvalidHandle;
  HidHandle result = kInvalidHandle;
  for (const std::string& path : *paths) {
    result = kInvalidHandle;
    if (!MayBeTheUnit(hid_.InterfaceOf(path)))
      continue;
    const HidHandle handle = hid_.Open(path);
    if (handle == kInvalidHandle)
      continue;
    HidAttributes attributes;
    if (!hid_.GetAttributes(handle, attributes) || attributes.vendorId != kUnitVendorId ||
        attributes.productId != kUnitProductId) {
      hid_.Close(handle);
      continue;
    }
    const Outcome<std::int32_t> serial = ReadSerial(handle);
    if (!serial) {
      log_.WriteLog("Ошибка получения с/н");
      hid_.Close(handle);
      continue;
    }
    const bool matches = role == urReference ? *serial == FRefSerial : *serial != FRefSerial;
    if (matches) {
      result = handle;
      break;
    }
    hid_.Close(handle);
  }
  return result;
}

bool DeviceLink::OpenDevice(TUnitRole role) {
  const std::string word = RoleWord(role);
  identity_[role] = {};
  if (role == urReference && FRefSerial == 0) {
    log_.WriteLog("Серийный номер эталонного УПО  не задан");
    return false;
  }
  const HidHandle handle = FindDevice(role);
  if (handle == kInvalidHandle) {
    log_.WriteLog("Не удалось открыть " + word + " УПО");
    return false;
  }
  // A handle still in the slot would leak; tests close both slots before
  // reopening, so this only matters for a handler started out of turn.
  if (FDevice[role] != kInvalidHandle)
    hid_.Close(FDevice[role]);
  FDevice[role] = handle;
  log_.WriteLog("Открыл " + word + " УПО");

  HidAttributes attributes;
  if (Outcome<void> read = hid_.GetAttributes(handle, attributes); !read) {
    log_.WriteLog("Не могу получить версию");
    log_.WriteLog(read.reason().text);
    return false;
  }
  log_.WriteLog("  версия " + std::to_string(attributes.version >> 8) + "." +
                std::to_string(attributes.version & 0xFF) + " (" + word + ")");

  const Outcome<std::int32_t> serial = ReadSerial(handle);
  if (!serial) {
    log_.WriteLog("Не могу получить серийный номер");
    log_.WriteLog(serial.reason().text);
    return false;
  }
  log_.WriteLog("  серийный номер " + std::to_string(*serial) + " (" + word + ")");
  identity_[role] = {attributes.version, *serial, true, ++reads_};
  return true;
}

void DeviceLink::CloseDevices() {
  if (FDevice[urUnderTest] != kInvalidHandle) {
    hid_.Close(FDevice[urUnderTest]);
    log_.WriteLog("Проверяемое устройство закрыто");
    FDevice[urUnderTest] = kInvalidHandle;
  }
  if (FDevice[urReference] != kInvalidHandle) {
    hid_.Close(FDevice[urReference]);
    log_.WriteLog("Эталонное устройство закрыто");
    FDevice[urReference] = kInvalidHandle;
  }
}

}  // namespace vr512b
