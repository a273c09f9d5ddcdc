#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "device/device_types.h"
#include "device/hid_library.h"
#include "device/log_sink.h"

namespace vr512b {

// Finds, opens, identifies and closes the two units by role.
class DeviceLink {
 public:
  DeviceLink(HidLibrary& hid, LogSink& log) : hid_(hid), log_(log) {}
  DeviceLink(const DeviceLink&) = delete;
  DeviceLink& operator=(const DeviceLink&) = delete;
  ~DeviceLink();

  HidHandle FindDevice(TUnitRole role);
  bool OpenDevice(TUnitRole role);
  void CloseDevices();

  HidHandle Device(TUnitRole role) const { return FDevice[role]; }
  bool IsOpen(TUnitRole role) const { return FDevice[role] != kInvalidHandle; }
  std::int32_t RefSerial() const { return FRefSerial; }
  void SetRefSerial(std::int32_t serial) { FRefSerial = serial; }
  HidLibrary& hid() { return hid_; }

  // Identity read by the last successful OpenDevice of each role.
  struct Identity {
    std::uint16_t version = 0;
    std::int32_t serial = 0;
    bool known = false;
    std::uint64_t readNumber = 0;  // of ReadsSoFar() when it was read
  };
  const Identity& LastIdentity(TUnitRole role) const { return identity_[role]; }
  // How many identities the link has read since it was made: an identity
  // with a larger readNumber was read after that moment.
  std::uint64_t ReadsSoFar() const { return reads_; }

  static const char* RoleWord(TUnitRole role);  // "эталонное" / "проверяемое"

 private:
  Outcome<std::int32_t> ReadSerial(HidHandle handle);

  HidLibrary& hid_;
  LogSink& log_;
  std::array<HidHandle, 2> FDevice{kInvalidHandle, kInvalidHandle};
  std::int32_t FRefSerial = 0;
  std::array<Identity, 2> identity_{};
  std::uint64_t reads_ = 0;
};

}  // namespace vr512b
