#pragma once

// The virtual bench's units on a mocked USB bus: hidapi and libudev find
// them as HID devices and every hidraw ioctl is answered by the bench's own
// unit model, through the same HID face the console uses with --simulate.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "autotests/realhid/mocked_usb_bus.h"
#include "device/device_types.h"
#include "device/hid_library.h"
#include "sim/virtual_bench.h"

namespace vr512b::realhid {

// One feature-report ioctl on a unit's node.
struct FeatureTransfer {
  TUnitRole role = urUnderTest;
  int index = 0;  // the unit's feature transfers so far, from 0
  std::uint8_t reportId = 0;
  bool set = false;  // HIDIOCSFEATURE, else HIDIOCGFEATURE
};

// How a transfer is answered in place of the unit: the ioctl fails with
// `error`, or moves only `moved` bytes (the unit sees no cut-off write).
struct TransferFault {
  int error = 0;
  std::optional<std::size_t> moved;
};

class MockedBench {
 public:
  // Puts the bench's present units on the bus as the bench enumerates them: a
  // keyboard on port 1 (when the bench has a foreign device), the reference
  // unit on port 2, the unit under test on port 3.
  MockedBench(MockedUsbBus& bus, sim::VirtualBench& bench);
  ~MockedBench();
  MockedBench(const MockedBench&) = delete;
  MockedBench& operator=(const MockedBench&) = delete;

  // Puts on USB port `port` a device with the units' ids and serial string
  // whose HID interface `interfaceNumber` has the report descriptor
  // `descriptor` and none of the unit's reports.
  void PlugForeignInterface(int port, const std::string& serial, int interfaceNumber,
                            std::vector<std::uint8_t> descriptor);

  // Takes the unit's node off the bus, as pulling its cable does, and puts a
  // fresh one on its port again.
  void Unplug(TUnitRole role);
  void Plug(sim::VirtualBench& bench, TUnitRole role);

  // Consulted for every feature transfer, on umockdev's thread.
  void SetFault(std::function<std::optional<TransferFault>(const FeatureTransfer&)> fault);
  // hidapi cannot open the unit: its node answers the open's descriptor
  // size request with EIO.
  void RefuseOpen(TUnitRole role);
  // The unit's node has no device file: opening it fails in the system.
  void RemoveNodeFile(TUnitRole role);

  // A unit the bench unplugs fails the transfer then in flight with `error`
  // (EPROTO, ESHUTDOWN, ETIMEDOUT as a kernel does), and only the later ones
  // with ENODEV. 0, as at first: ENODEV at once.
  void SetInFlightError(int error);
  // The unit's node, /dev/hidrawN.
  std::string Node(TUnitRole role) const;
  // Every user may open the unit's node (the udev rule is installed).
  void GrantAccess(TUnitRole role);

  // Whether any file of the unit's node is open; waits up to `timeoutMs` for
  // it to be closed.
  bool InUse(TUnitRole role, int timeoutMs = 2000) const;
  int Transfers(TUnitRole role) const;
  // Times hidapi opened the unit's node.
  int Opens(TUnitRole role) const;
  // Anything the units saw that a kernel driver would not let happen.
  std::vector<std::string> Problems() const;

 private:
  class UnitNode;
  class ForeignNode;

  MockedUsbBus& bus_;
  std::vector<std::unique_ptr<ForeignNode>> foreign_;
  std::map<TUnitRole, std::unique_ptr<UnitNode>> units_;
};

}  // namespace vr512b::realhid
