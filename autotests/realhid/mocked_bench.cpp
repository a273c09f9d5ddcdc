#include "autotests/realhid/mocked_bench.h"

#include <linux/hidraw.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace vr512b::realhid {

namespace {

// The bench's own HID paths of its units (SimHid).
const char* BenchPath(TUnitRole role) {
  return role == urReference ? "vbench://hid/1" : "vbench://hid/2";
}

bool IsFeatureRequest(unsigned long request, bool& set) {
  if (_IOC_TYPE(request) != 'H')
    return false;
  set = _IOC_NR(request) == _IOC_NR(HIDIOCSFEATURE(0));
  return set || _IOC_NR(request) == _IOC_NR(HIDIOCGFEATURE(0));
}

// The two requests hidapi makes of a node besides feature reports.
bool AnswerDescriptorRequest(const HidrawIoctl& ioctl, const std::vector<std::uint8_t>& descriptor,
                             IoctlResult& result) {
  if (ioctl.request == HIDIOCGRDESCSIZE && ioctl.size == sizeof(int)) {
    const int size = static_cast<int>(descriptor.size());
    std::memcpy(ioctl.data, &size, sizeof size);
    result = {0, 0};
    return true;
  }
  if (ioctl.request == HIDIOCGRDESC && ioctl.size == sizeof(hidraw_report_descriptor)) {
    auto* out = reinterpret_cast<hidraw_report_descriptor*>(ioctl.data);
    out->size = std::min<__u32>(out->size, static_cast<__u32>(descriptor.size()));
    std::memcpy(out->value, descriptor.data(), out->size);
    result = {0, 0};
    return true;
  }
  return false;
}

}  // namespace

// A foreign interface: it has none of the unit's feature reports, so every
// transfer stalls.
class MockedBench::ForeignNode final : public HidrawResponder {
 public:
  explicit ForeignNode(std::vector<std::uint8_t> descriptor) : descriptor_(std::move(descriptor)) {}
  IoctlResult Ioctl(const std::shared_ptr<HidrawClient>&, HidrawIoctl& ioctl) override {
    IoctlResult result{-1, EINVAL};
    bool set = false;
    if (AnswerDescriptorRequest(ioctl, descriptor_, result))
      return result;
    if (IsFeatureRequest(ioctl.request, set))
      return {-1, EPIPE};
    return result;
  }

 private:
  std::vector<std::uint8_t> descriptor_;
};

// One unit's node. Its ioctls come only while the console waits for them, so
// the bench is never touched by two threads at once. umockdev does not report
// a closed file: the node finds out at its next ioctl and hands the close on
// to the bench before anything else reaches the unit.
class MockedBench::UnitNode final : public HidrawResponder {
 public:
  UnitNode(MockedUsbBus& bus, sim::VirtualBench& bench, TUnitRole role)
      : bus_(bus), bench_(bench), role_(role) {
    const sim::UnitSetup& setup = bench.config().units[role];
    UsbHidIdentity identity;
    identity.vendorId = kUnitVendorId;
    identity.productId = kUnitProductId;
    identity.version = setup.version;
    identity.manufacturer = "Korvex";
    identity.product = "VR512B";
    identity.serial = setup.serial;
    identity.reportDescriptor = UnitReportDescriptor();
    node_ = bus.Plug(role == urReference ? 2 : 3, identity, *this);
  }

  IoctlResult Ioctl(const std::shared_ptr<HidrawClient>& client, HidrawIoctl& ioctl) override {
    std::lock_guard lock(mutex_);
    HandOnClosedFiles();
    IoctlResult result{-1, EINVAL};
    bool set = false;
    if (ioctl.request == HIDIOCGRDESCSIZE) {
      // hidapi asks this while it opens the node: the host opens the unit.
      if (refuseOpen_)
        return {-1, EIO};
      ++opens_;
      Opened(client);
      HidHandle handle = kInvalidHandle;
      if (!HandleOf(client, handle, result))
        return result;
    }
    if (AnswerDescriptorRequest(ioctl, UnitReportDescriptor(), result))
      return result;
    if (!IsFeatureRequest(ioctl.request, set) || ioctl.size == 0)
      return result;
    HidHandle handle = kInvalidHandle;
    if (!HandleOf(client, handle, result))
      return result;
    result = Transfer(handle, ioctl, set);
    if (!bench_.Unit(role_).plugged) {
      // The bench takes the unit away at this transfer: a kernel fails the
      // request in flight with its own error, the later ones with ENODEV.
      if (result.result < 0 && result.error == ENODEV && inFlightError_ != 0)
        result.error = inFlightError_;
      bus_.Unplug(node_);
    }
    return result;
  }

  void SetFault(std::function<std::optional<TransferFault>(const FeatureTransfer&)> fault) {
    std::lock_guard lock(mutex_);
    fault_ = std::move(fault);
  }
  void RefuseOpen() {
    std::lock_guard lock(mutex_);
    refuseOpen_ = true;
  }
  void RemoveNodeFile() { bus_.RemoveNodeFile(node_); }
  void GrantAccess() { bus_.GrantNode(node_); }
  void SetInFlightError(int error) {
    std::lock_guard lock(mutex_);
    inFlightError_ = error;
  }
  const std::string& Node() const { return node_; }
  bool InUse(int timeoutMs) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (bus_.NodeInUse(node_) && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return bus_.NodeInUse(node_);
  }
  int Transfers() const {
    std::lock_guard lock(mutex_);
    return transfers_;
  }
  int Opens() const {
    std::lock_guard lock(mutex_);
    return opens_;
  }
  std::vector<std::string> Problems() const {
    std::lock_guard lock(mutex_);
    return problems_;
  }

 private:
  struct OpenFile {
    std::shared_ptr<HidrawClient> client;
    HidHandle handle;
  };

  // The console holds one file of a unit at a time (its lock keeps a second
  // open out), so a new open means the files before it are closed, whether
  // or not umockdev has noticed yet.
  void Opened(const std::shared_ptr<HidrawClient>& client) {
    for (auto it = files_.begin(); it != files_.end();) {
      if (it->first == client->id()) {
        ++it;
        continue;
      }
      bench_.hid().Close(it->second.handle);
      it = files_.erase(it);
    }
  }

  void HandOnClosedFiles() {
    for (auto it = files_.begin(); it != files_.end();) {
      if (it->second.client->Connected()) {
        ++it;
        continue;
      }
      bench_.hid().Close(it->second.handle);
      it = files_.erase(it);
    }
  }

  // The bench's handle of the file, opened on the file's first request.
  bool HandleOf(const std::shared_ptr<HidrawClient>& client, HidHandle& handle,
                IoctlResult& result) {
    const auto it = files_.find(client->id());
    if (it != files_.end()) {
      handle = it->second.handle;
      return true;
    }
    handle = bench_.hid().Open(BenchPath(role_));
    if (handle == kInvalidHandle) {
      // The unit is opened by one file at a time, as the console's own open
      // shares it for reading only.
      problems_.push_back("the unit refused a file");
      result = {-1, EBUSY};
      return false;
    }
    files_[client->id()] = OpenFile{client, handle};
    return true;
  }

  IoctlResult Transfer(HidHandle handle, HidrawIoctl& ioctl, bool set) {
    const FeatureTransfer transfer{role_, transfers_++, ioctl.data[0], set};
    const std::optional<TransferFault> fault = fault_ ? fault_(transfer) : std::nullopt;
    if (fault && fault->error != 0)
      return {-1, fault->error};
    std::vector<std::uint8_t> report(ioctl.data, ioctl.data + ioctl.size);
    FeatureBytes moved = set && fault && fault->moved
                             ? FeatureBytes(std::min(*fault->moved, ioctl.size))
                         : set ? bench_.hid().SetFeature(handle, report.data(), report.size())
                               : bench_.hid().GetFeature(handle, report.data(), report.size());
    if (!set && moved && fault && fault->moved)
      moved = std::min(*moved, *fault->moved);
    if (!moved)
      return {-1, moved.reason().code != 0 ? static_cast<int>(moved.reason().code) : EIO};
    // A read fills only as much of the caller's buffer as the unit sent.
    if (!set)
      std::memcpy(ioctl.data, report.data(), *moved);
    return {static_cast<long>(*moved), 0};
  }

  MockedUsbBus& bus_;
  sim::VirtualBench& bench_;
  const TUnitRole role_;
  std::string node_;
  mutable std::mutex mutex_;
  std::map<const void*, OpenFile> files_;
  std::function<std::optional<TransferFault>(const FeatureTransfer&)> fault_;
  bool refuseOpen_ = false;
  int inFlightError_ = 0;
  int transfers_ = 0;
  int opens_ = 0;
  std::vector<std::string> problems_;
};

MockedBench::MockedBench(MockedUsbBus& bus, sim::VirtualBench& bench) : bus_(bus) {
  const sim::BenchConfig& config = bench.config();
  if (config.withForeignDevice) {
    foreign_.push_back(std::make_unique<ForeignNode>(KeyboardReportDescriptor()));
    bus.Plug(1,
             UsbHidIdentity{0x046D, 0xC31C, 0x6400, "Logitech", "USB Keyboard", "",
                            KeyboardReportDescriptor()},
             *foreign_.back());
  }
  for (const TUnitRole role : {urReference, urUnderTest}) {
    if (config.units[role].present)
      units_[role] = std::make_unique<UnitNode>(bus, bench, role);
  }
}

MockedBench::~MockedBench() = default;

void MockedBench::PlugForeignInterface(int port, const std::string& serial, int interfaceNumber,
                                       std::vector<std::uint8_t> descriptor) {
  foreign_.push_back(std::make_unique<ForeignNode>(descriptor));
  UsbHidIdentity identity{kUnitVendorId, kUnitProductId,       0x0203, "Korvex", "VR512B",
                          serial,        std::move(descriptor)};
  identity.interfaceNumber = interfaceNumber;
  bus_.Plug(port, identity, *foreign_.back());
}

void MockedBench::Unplug(TUnitRole role) {
  if (const auto it = units_.find(role); it != units_.end()) {
    bus_.Unplug(it->second->Node());
    units_.erase(it);
  }
}

void MockedBench::Plug(sim::VirtualBench& bench, TUnitRole role) {
  units_[role] = std::make_unique<UnitNode>(bus_, bench, role);
}

void MockedBench::SetFault(
    std::function<std::optional<TransferFault>(const FeatureTransfer&)> fault) {
  for (auto& [role, unit] : units_)
    unit->SetFault(fault);
}

void MockedBench::RefuseOpen(TUnitRole role) {
  if (const auto it = units_.find(role); it != units_.end())
    it->second->RefuseOpen();
}

void MockedBench::RemoveNodeFile(TUnitRole role) {
  if (const auto it = units_.find(role); it != units_.end())
    it->second->RemoveNodeFile();
}

std::string MockedBench::Node(TUnitRole role) const {
  const auto it = units_.find(role);
  return it == units_.end() ? std::string() : it->second->Node();
}

void MockedBench::SetInFlightError(int error) {
  for (auto& [role, unit] : units_)
    unit->SetInFlightError(error);
}

void MockedBench::GrantAccess(TUnitRole role) {
  if (const auto it = units_.find(role); it != units_.end())
    it->second->GrantAccess();
}

bool MockedBench::InUse(TUnitRole role, int timeoutMs) const {
  const auto it = units_.find(role);
  return it != units_.end() && it->second->InUse(timeoutMs);
}

int MockedBench::Transfers(TUnitRole role) const {
  const auto it = units_.find(role);
  return it == units_.end() ? 0 : it->second->Transfers();
}

int MockedBench::Opens(TUnitRole role) const {
  const auto it = units_.find(role);
  return it == units_.end() ? 0 : it->second->Opens();
}

std::vector<std::string> MockedBench::Problems() const {
  std::vector<std::string> problems;
  for (const auto& [role, unit] : units_) {
    for (const std::string& problem : unit->Problems())
      problems.push_back(std::string(role == urReference ? "reference: " : "unit under test: ") +
                         problem);
  }
  return problems;
}

}  // namespace vr512b::realhid
