#include "autotests/realhid/mocked_usb_bus.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <umockdev.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace vr512b::realhid {

namespace {

std::string Hex4(unsigned value, bool upper = false) {
  char text[8];
  std::snprintf(text, sizeof text, upper ? "%04X" : "%04x", value & 0xFFFF);
  return text;
}

// The PRODUCT of a usb device's uevent: ids and version in bare hex.
std::string UeventProduct(const UsbHidIdentity& id) {
  char text[32];
  std::snprintf(text, sizeof text, "%x/%x/%x", id.vendorId, id.productId, id.version);
  return text;
}

struct GFree {
  void operator()(gchar* text) const { g_free(text); }
};
using OwnedText = std::unique_ptr<gchar, GFree>;

// A device in the test bed's /sys; returns its syspath.
std::string AddDevice(UMockdevTestbed* bed, const char* subsystem, const std::string& name,
                      const char* parent, std::vector<std::string> attributes,
                      std::vector<std::string> properties) {
  std::vector<gchar*> a;
  for (std::string& s : attributes)
    a.push_back(s.data());
  a.push_back(nullptr);
  std::vector<gchar*> p;
  for (std::string& s : properties)
    p.push_back(s.data());
  p.push_back(nullptr);
  OwnedText path(
      umockdev_testbed_add_devicev(bed, subsystem, name.c_str(), parent, a.data(), p.data()));
  if (!path)
    throw std::runtime_error("umockdev cannot add " + name);
  return path.get();
}

std::string HidModalias(const UsbHidIdentity& id) {
  char text[48];
  std::snprintf(text, sizeof text, "hid:b0003g0001v%08Xp%08X", id.vendorId, id.productId);
  return text;
}

std::string Decimal3(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%03d", value);
  return text;
}

// A pseudo-terminal's slave stands in for the hidraw node: a real character
// device with a number of its own, which hidapi can fstat to find the udev
// device, and which our advisory lock can lock apart from every other node.
class PtyNode {
 public:
  PtyNode() : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    char name[64] = {};
    struct stat info {};
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0 || ::stat(name, &info) != 0) {
      if (master_ >= 0)
        ::close(master_);
      throw std::runtime_error("cannot make a pseudo-terminal for a hidraw node");
    }
    path_ = name;
    majorNumber_ = gnu_dev_major(info.st_rdev);
    minorNumber_ = gnu_dev_minor(info.st_rdev);
  }
  ~PtyNode() { ::close(master_); }
  PtyNode(const PtyNode&) = delete;
  PtyNode& operator=(const PtyNode&) = delete;

  const std::string& path() const { return path_; }
  // The master hangs up while no file of the slave is open.
  bool SlaveInUse() const {
    pollfd state{master_, POLLIN, 0};
    return ::poll(&state, 1, 0) >= 0 && (state.revents & POLLHUP) == 0;
  }
  unsigned majorNumber() const { return majorNumber_; }
  unsigned minorNumber() const { return minorNumber_; }

 private:
  int master_;
  std::string path_;
  unsigned majorNumber_ = 0;
  unsigned minorNumber_ = 0;
};

}  // namespace

struct MockedUsbBus::Testbed {
  Testbed() : bed(umockdev_testbed_new()) {}
  ~Testbed() { g_object_unref(bed); }
  Testbed(const Testbed&) = delete;
  Testbed& operator=(const Testbed&) = delete;
  UMockdevTestbed* bed;
};

struct MockedUsbBus::Device {
  std::vector<std::string> syspaths;  // top-down: usb device, interface, hid, hidraw
  std::string node;
  PtyNode pty;
  HidrawResponder* responder = nullptr;
  UMockdevIoctlBase* handler = nullptr;
  std::atomic<bool> removed = false;

  // umockdev's worker thread calls this.
  static gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* raw, gpointer self) {
    auto* device = static_cast<Device*>(self);
    const unsigned long request = umockdev_ioctl_client_get_request(raw);
    HidrawIoctl ioctl{request, nullptr, _IOC_SIZE(request)};
    UMockdevIoctlData* data = nullptr;
    if (ioctl.size > 0) {
      data =
          umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(raw), 0, ioctl.size, nullptr);
      if (data == nullptr) {
        umockdev_ioctl_client_complete(raw, -1, EFAULT);
        return TRUE;
      }
      ioctl.data = data->data;
    }
    // A device taken off the bus answers the files still open on it as the
    // kernel does.
    const IoctlResult result =
        device->removed ? IoctlResult{-1, ENODEV}
                        : device->responder->Ioctl(std::make_shared<HidrawClient>(raw), ioctl);
    umockdev_ioctl_client_complete(raw, result.result, result.error);
    if (data != nullptr)
      g_object_unref(data);
    return TRUE;
  }
};

HidrawClient::HidrawClient(void* umockdevClient) : client_(g_object_ref(umockdevClient)) {}

HidrawClient::~HidrawClient() {
  g_object_unref(client_);
}

bool HidrawClient::Connected() const {
  return umockdev_ioctl_client_get_connected(static_cast<UMockdevIoctlClient*>(client_));
}

bool MockedUsbBus::UnderPreload() {
  const char* preload = std::getenv("LD_PRELOAD");
  return preload != nullptr &&
         std::string(preload).find("libumockdev-preload") != std::string::npos;
}

MockedUsbBus::MockedUsbBus() {
  if (!UnderPreload())
    throw std::runtime_error("not under umockdev's preload library");
  testbed_ = std::make_unique<Testbed>();
  // Asked only now: the answer is kept, and it is yes only once a test bed
  // exists.
  if (!umockdev_in_mock_environment())
    throw std::runtime_error("umockdev's preload library does not redirect /sys");
  // The preload library of a process of another user reads the test bed and
  // connects to its ioctl sockets: both are open to every user, as /sys is.
  const OwnedText root(umockdev_testbed_get_root_dir(testbed_->bed));
  ::chmod(root.get(), 0755);
  ::chmod((std::string(root.get()) + "/ioctl/_default").c_str(), 0666);

  // The host controller on the PCI bus and its root hub, bus 1, above every
  // device put on the bus.
  const std::string controller = AddDevice(
      testbed_->bed, "pci", "pci0000:00/0000:00:14.0", nullptr,
      {"vendor", "0x8086", "device", "0xa36d", "class", "0x0c0330"},
      {"DRIVER", "xhci_hcd", "PCI_CLASS", "C0330", "PCI_ID", "8086:A36D", "PCI_SLOT_NAME",
       "0000:00:14.0", "MODALIAS", "pci:v00008086d0000A36Dsv00000000sd00000000bc0Csc03i30"});
  hub_ = AddDevice(
      testbed_->bed, "usb", "usb1", controller.c_str(),
      {"idVendor", "1d6b", "idProduct", "0002", "bcdDevice", "0601", "busnum", "1", "devnum", "1",
       "bDeviceClass", "09", "speed", "480"},
      {"DEVTYPE", "usb_device", "DRIVER", "usb", "PRODUCT", "1d6b/2/601", "TYPE", "9/0/1", "BUSNUM",
       "001", "DEVNUM", "001", "MAJOR", "189", "MINOR", "0", "DEVNAME", "/dev/bus/usb/001/001"});
}

MockedUsbBus::~MockedUsbBus() {
  for (auto& [node, device] : devices_) {
    umockdev_testbed_detach_ioctl(testbed_->bed, node.c_str(), nullptr);
    g_signal_handlers_disconnect_by_data(device->handler, device.get());
    g_object_unref(device->handler);
  }
}

std::string MockedUsbBus::NodeFile(const std::string& node) const {
  const OwnedText root(umockdev_testbed_get_root_dir(testbed_->bed));
  return std::string(root.get()) + node;
}

std::string MockedUsbBus::Plug(int port, const UsbHidIdentity& id, HidrawResponder& responder) {
  UMockdevTestbed* bed = testbed_->bed;
  auto device = std::make_unique<Device>();
  device->responder = &responder;
  const int number = nextNode_++;
  const std::string usbName = "1-" + std::to_string(port);
  const std::string vid = Hex4(id.vendorId);
  const std::string pid = Hex4(id.productId);

  auto add = [&](const char* subsystem, const std::string& name, const char* parent,
                 std::vector<std::string> attributes, std::vector<std::string> properties) {
    device->syspaths.push_back(
        AddDevice(bed, subsystem, name, parent, std::move(attributes), std::move(properties)));
    return device->syspaths.back().c_str();
  };

  // As the kernel's usb device: a device without a serial string has no
  // serial attribute; its node under /dev/bus/usb is named in its uevent.
  const int devnum = port + 1;
  std::vector<std::string> usbAttributes{"idVendor",       vid,
                                         "idProduct",      pid,
                                         "bcdDevice",      Hex4(id.version),
                                         "manufacturer",   id.manufacturer,
                                         "product",        id.product,
                                         "busnum",         "1",
                                         "devnum",         std::to_string(devnum),
                                         "bDeviceClass",   "00",
                                         "bNumInterfaces", " 1",
                                         "speed",          "12"};
  if (!id.serial.empty())
    usbAttributes.insert(usbAttributes.end(), {"serial", id.serial});
  const char* usb =
      add("usb", usbName, hub_.c_str(), usbAttributes,
          {"DEVTYPE", "usb_device", "DRIVER", "usb", "PRODUCT", UeventProduct(id), "TYPE", "0/0/0",
           "BUSNUM", "001", "DEVNUM", Decimal3(devnum), "MAJOR", "189", "MINOR",
           std::to_string(devnum - 1), "DEVNAME", "/dev/bus/usb/001/" + Decimal3(devnum)});
  char interfaceNumber[8];
  std::snprintf(interfaceNumber, sizeof interfaceNumber, "%02x", id.interfaceNumber & 0xFF);
  const char* interface =
      add("usb", usbName + ":1." + std::to_string(id.interfaceNumber), usb,
          {"bInterfaceNumber", interfaceNumber, "bInterfaceClass", "03"},
          // As the kernel's: the device's ids and version too.
          {"DEVTYPE", "usb_interface", "DRIVER", "usbhid", "PRODUCT", UeventProduct(id), "TYPE",
           "0/0/0", "INTERFACE", "3/0/0", "MODALIAS",
           "usb:v" + Hex4(id.vendorId, true) + "p" + Hex4(id.productId, true) + "d" +
               Hex4(id.version, true) + "dc00dsc00dp00ic03isc00ip00in" + interfaceNumber});
  const std::string hidName = "0003:" + Hex4(id.vendorId, true) + ":" + Hex4(id.productId, true) +
                              "." + Hex4(number + 1, true);
  char hidId[32];
  std::snprintf(hidId, sizeof hidId, "0003:%08X:%08X", id.vendorId, id.productId);
  const char* hid = add(
      "hid", hidName, interface, {},
      {"DRIVER", "hid-generic", "MODALIAS", HidModalias(id), "HID_ID", hidId, "HID_NAME",
       id.manufacturer + " " + id.product, "HID_PHYS",
       "usb-0000:00:14.0-" + std::to_string(port) + "/input" + std::to_string(id.interfaceNumber),
       "HID_UNIQ", id.serial});
  umockdev_testbed_set_attribute_binary(bed, hid, "report_descriptor",
                                        const_cast<guint8*>(id.reportDescriptor.data()),
                                        static_cast<gint>(id.reportDescriptor.size()));
  const std::string node = "/dev/hidraw" + std::to_string(number);
  const std::string major = std::to_string(device->pty.majorNumber());
  const std::string minor = std::to_string(device->pty.minorNumber());
  const std::string hidraw =
      add("hidraw", "hidraw/hidraw" + std::to_string(number), hid, {"dev", major + ":" + minor},
          {"DEVNAME", node, "MAJOR", major, "MINOR", minor});
  // A class device's link to the device it belongs to: through it hidapi
  // reads the report descriptor, and from that the usage page.
  const OwnedText root(umockdev_testbed_get_root_dir(bed));
  const std::string deviceLink = std::string(root.get()) + hidraw + "/device";
  if (::symlink("../..", deviceLink.c_str()) != 0)
    throw std::runtime_error("cannot make " + deviceLink);

  // umockdev makes no device file for such a node: the pty's slave stands in.
  const std::string file = NodeFile(node);
  const std::string devDir = file.substr(0, file.rfind('/'));
  ::mkdir(devDir.c_str(), 0755);
  ::unlink(file.c_str());
  if (::symlink(device->pty.path().c_str(), file.c_str()) != 0)
    throw std::runtime_error("cannot make " + file);

  device->node = node;
  device->handler = umockdev_ioctl_base_new();
  g_signal_connect(device->handler, "handle-ioctl", G_CALLBACK(Device::OnIoctl), device.get());
  GError* error = nullptr;
  if (!umockdev_testbed_attach_ioctl(bed, node.c_str(), device->handler, &error)) {
    const std::string why = error ? error->message : "unknown";
    g_clear_error(&error);
    g_object_unref(device->handler);
    throw std::runtime_error("umockdev cannot attach to " + node + ": " + why);
  }
  ::chmod(
      (std::string(OwnedText(umockdev_testbed_get_root_dir(bed)).get()) + "/ioctl" + node).c_str(),
      0666);
  devices_[node] = std::move(device);
  return node;
}

void MockedUsbBus::GrantNode(const std::string& node) {
  const auto it = devices_.find(node);
  if (it != devices_.end())
    ::chmod(it->second->pty.path().c_str(), 0666);
}

void MockedUsbBus::Unplug(const std::string& node) {
  const auto it = devices_.find(node);
  if (it == devices_.end() || it->second->removed)
    return;
  Device& device = *it->second;
  device.removed = true;
  for (auto path = device.syspaths.rbegin(); path != device.syspaths.rend(); ++path)
    umockdev_testbed_remove_device(testbed_->bed, path->c_str());
  RemoveNodeFile(node);
}

void MockedUsbBus::RemoveNodeFile(const std::string& node) {
  ::unlink(NodeFile(node).c_str());
}

bool MockedUsbBus::NodeInUse(const std::string& node) const {
  const auto it = devices_.find(node);
  return it != devices_.end() && it->second->pty.SlaveInUse();
}

// Vendor page 0xFF00: feature reports 1, 2 and 3 of 6, 16 and 42 bytes.
std::vector<std::uint8_t> UnitReportDescriptor() {
  return {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75,
          0x08, 0x85, 0x01, 0x95, 0x06, 0x09, 0x01, 0xB1, 0x02, 0x85, 0x02, 0x95, 0x10,
          0x09, 0x02, 0xB1, 0x02, 0x85, 0x03, 0x95, 0x2A, 0x09, 0x03, 0xB1, 0x02, 0xC0};
}

// A boot keyboard: modifier byte, reserved byte, LED output, six key codes.
std::vector<std::uint8_t> KeyboardReportDescriptor() {
  return {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15,
          0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08,
          0x81, 0x01, 0x95, 0x05, 0x75, 0x01, 0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91,
          0x02, 0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0x95, 0x06, 0x75, 0x08, 0x15, 0x00,
          0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00, 0xC0};
}

}  // namespace vr512b::realhid
