#pragma once

// A mocked USB bus for this process and its children, made with umockdev:
// libudev sees the devices put on it in a private /sys, and the hidraw ioctls
// on their nodes are answered here instead of by a kernel driver. Everything
// the console has below it (hidapi, libudev) runs unchanged.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vr512b::realhid {

// One ioctl as a hidraw node receives it. The data is the caller's buffer
// (the report, or the int of HIDIOCGRDESCSIZE); changes to it go back to the
// caller when the ioctl completes.
struct HidrawIoctl {
  unsigned long request = 0;
  std::uint8_t* data = nullptr;
  std::size_t size = 0;
};

// The ioctl's outcome: a result of 0 or more with errno 0, or -1 with errno.
struct IoctlResult {
  long result = 0;
  int error = 0;
};

// One open file of a node, as its ioctls come in. umockdev keeps it while
// it is held here, so its id is not taken by a later file.
class HidrawClient {
 public:
  explicit HidrawClient(void* umockdevClient);
  ~HidrawClient();
  HidrawClient(const HidrawClient&) = delete;
  HidrawClient& operator=(const HidrawClient&) = delete;
  const void* id() const { return client_; }
  // False once the file has been closed and umockdev has seen it go.
  bool Connected() const;

 private:
  void* client_;
};

// What answers a hidraw node. Called on umockdev's own thread. (umockdev
// 0.17 does not report closed files: a responder asks a client whether it is
// still connected.)
class HidrawResponder {
 public:
  virtual ~HidrawResponder() = default;
  virtual IoctlResult Ioctl(const std::shared_ptr<HidrawClient>& client, HidrawIoctl& ioctl) = 0;
};

// What a HID device tells libudev about itself.
struct UsbHidIdentity {
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  std::uint16_t version = 0;  // bcdDevice
  std::string manufacturer;
  std::string product;
  std::string serial;  // the USB serial attribute and HID_UNIQ
  std::vector<std::uint8_t> reportDescriptor;
  int interfaceNumber = 0;  // the HID interface's bInterfaceNumber
};

class MockedUsbBus {
 public:
  // Makes the private /sys and /dev (and sets UMOCKDEV_DIR for this process
  // and its children). Throws when the process is not under umockdev's
  // preload library.
  MockedUsbBus();
  ~MockedUsbBus();
  MockedUsbBus(const MockedUsbBus&) = delete;
  MockedUsbBus& operator=(const MockedUsbBus&) = delete;

  // Puts a HID device on USB port `port` (1 to 15): the usb device, its
  // interface, the hid device and its hidraw node, answered by `responder`
  // (which must outlive the bus). Devices enumerate in the order of their
  // names, as udev sorts them: 1-1, 1-10 ... 1-15, 1-2 ... 1-9. Returns the
  // node's path (/dev/hidrawN).
  std::string Plug(int port, const UsbHidIdentity& identity, HidrawResponder& responder);
  // As Plug, but the node cannot be opened: its device file is missing.
  std::string PlugWithoutNode(int port, const UsbHidIdentity& identity, HidrawResponder& responder);
  // Takes a device off the bus, bottom-up. Files already open on its node
  // stay open and still reach the responder, as they reach a kernel driver.
  void Unplug(const std::string& node);
  // Takes the node's device file away: the device stays on the bus, and
  // opening its node fails.
  void RemoveNodeFile(const std::string& node);
  // Every user may open the node, as a udev rule for the device makes it. A
  // node is root's alone (0600) until then.
  void GrantNode(const std::string& node);
  // Whether any file of the node is open, in this process or another.
  bool NodeInUse(const std::string& node) const;

  // True when this process runs under umockdev's preload library.
  static bool UnderPreload();

 private:
  struct Device;
  std::string NodeFile(const std::string& node) const;

  struct Testbed;
  std::unique_ptr<Testbed> testbed_;
  std::string hub_;  // the root hub's syspath
  std::map<std::string, std::unique_ptr<Device>> devices_;
  int nextNode_ = 0;
};

// Report descriptors of the devices the tests put on the bus.
std::vector<std::uint8_t> UnitReportDescriptor();
std::vector<std::uint8_t> KeyboardReportDescriptor();

}  // namespace vr512b::realhid
