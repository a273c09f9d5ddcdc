#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <memory>
#include <set>
#include <utility>

#include "common/utf8.h"
#include "device/device_types.h"
#include "device/hid_loader.h"
#include "device/system_error.h"

namespace vr512b {

namespace {

// hidapi's public ABI, declared here so that only its shared library is needed
// at run time.
struct hid_device_info {
  char* path;
  unsigned short vendor_id;
  unsigned short product_id;
  wchar_t* serial_number;
  unsigned short release_number;
  wchar_t* manufacturer_string;
  wchar_t* product_string;
  unsigned short usage_page;
  unsigned short usage;
  int interface_number;
  hid_device_info* next;
};
struct hid_device;

struct HidApi {
  int (*init)();
  int (*exit)();
  hid_device_info* (*enumerate)(unsigned short, unsigned short);
  void (*free_enumeration)(hid_device_info*);
  hid_device* (*open_path)(const char*);
  void (*close)(hid_device*);
  int (*get_feature_report)(hid_device*, unsigned char*, size_t);
  int (*send_feature_report)(hid_device*, const unsigned char*, size_t);
  int (*get_serial_number_string)(hid_device*, wchar_t*, size_t);
};

struct LibraryCloser {
  void operator()(void* library) const { dlclose(library); }
};
using LibraryHandle = std::unique_ptr<void, LibraryCloser>;

// hidraw has no share modes: an exclusive advisory lock on the node stands in
// for "read/write, shared for reading only" between cooperating programs.
class NodeLock {
 public:
  NodeLock() = default;
  explicit NodeLock(int fd) : fd_(fd) {}
  NodeLock(NodeLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  NodeLock& operator=(NodeLock&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  ~NodeLock() {
    if (fd_ >= 0)
      close(fd_);
  }
  NodeLock(const NodeLock&) = delete;
  NodeLock& operator=(const NodeLock&) = delete;

  // 0, or the errno of the failed open; EBUSY when another holds the lock.
  static int Acquire(const std::string& path, NodeLock& lock) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
      return errno;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      close(fd);
      return EBUSY;
    }
    lock = NodeLock(fd);
    return 0;
  }

 private:
  int fd_ = -1;
};

class HidApiLibrary final : public HidLibrary {
 public:
  HidApiLibrary(LibraryHandle library, const HidApi& api)
      : library_(std::move(library)), api_(api) {
    api_.init();
  }
  ~HidApiLibrary() override {
    for (auto& [handle, device] : open_)
      api_.close(device.device);
    open_.clear();
    api_.exit();
  }

  std::optional<std::vector<std::string>> EnumeratePaths() override {
    hid_device_info* list = api_.enumerate(0, 0);
    std::vector<std::string> paths;
    std::set<std::string> seen;
    interfaces_.clear();
    for (hid_device_info* info = list; info != nullptr; info = info->next) {
      if (info->path == nullptr)
        continue;
      // hidapi lists a node once per top-level collection; page 0 is its
      // "unknown" (the descriptor could not be read), -1 a node not on USB.
      HidInterface& where = interfaces_[info->path];
      if (info->usage_page != 0)
        where.usagePages.push_back(info->usage_page);
      if (info->interface_number >= 0)
        where.number = info->interface_number;
      if (!seen.insert(info->path).second)
        continue;
      paths.push_back(info->path);
      attributes_[info->path] = {info->vendor_id, info->product_id, info->release_number};
      std::u16string serial;
      for (const wchar_t* c = info->serial_number; c != nullptr && *c != 0; ++c)
        serial.push_back(static_cast<char16_t>(*c));
      serials_[info->path] = std::move(serial);
    }
    if (list)
      api_.free_enumeration(list);
    return paths;
  }

  HidHandle Open(const std::string& path) override {
    NodeLock lock;
    if (const int error = NodeLock::Acquire(path, lock); error != 0) {
      NoteOpenProblem(path, error);
      return kInvalidHandle;
    }
    errno = 0;
    hid_device* device = api_.open_path(path.c_str());
    if (device == nullptr) {
      NoteOpenProblem(path, errno != 0 ? errno : ENODEV);
      return kInvalidHandle;
    }
    const HidHandle handle = nextHandle_++;
    open_.emplace(handle, OpenDevice{device, path, std::move(lock)});
    return handle;
  }

  std::vector<std::string> TakeOpenProblems() override { return std::exchange(openProblems_, {}); }

  std::optional<HidListing> ListingOf(const std::string& path) override {
    const auto attributes = attributes_.find(path);
    if (attributes == attributes_.end())
      return std::nullopt;
    const auto serial = serials_.find(path);
    return HidListing{attributes->second,
                      serial == serials_.end() ? std::u16string() : serial->second};
  }

  HidInterface InterfaceOf(const std::string& path) override {
    const auto it = interfaces_.find(path);
    return it == interfaces_.end() ? HidInterface{} : it->second;
  }

  void Close(HidHandle handle) override {
    auto it = open_.find(handle);
    if (it == open_.end())
      return;
    api_.close(it->second.device);
    open_.erase(it);
  }

  Outcome<void> GetAttributes(HidHandle handle, HidAttributes& attributes) override {
    const OpenDevice* device = Find(handle);
    if (device == nullptr)
      return SystemReason(EBADF);
    auto it = attributes_.find(device->path);
    if (it == attributes_.end())
      return SystemReason(ENODEV);
    attributes = it->second;
    return {};
  }

  // Like the platform call, the string fills at most length bytes and ends in
  // a zero only when there is room for one.
  Outcome<void> GetSerialNumberString(HidHandle handle, void* buffer, std::size_t length) override {
    const OpenDevice* device = Find(handle);
    if (device == nullptr)
      return SystemReason(EBADF);
    const std::size_t units = length / 2;
    if (units == 0)
      return {};
    // hidapi's count includes the terminator it always writes: room for all
    // the units asked for, one more for that zero.
    std::vector<wchar_t> wide(units + 1, L'\0');
    errno = 0;
    if (api_.get_serial_number_string(device->device, wide.data(), wide.size()) != 0)
      return SystemReason(errno != 0 ? errno : EIO);
    // A character beyond U+FFFF takes a surrogate pair, which is never cut.
    std::u16string text;
    for (std::size_t i = 0; wide[i] != 0; ++i) {
      const std::size_t before = text.size();
      AppendUtf16(text, static_cast<char32_t>(wide[i]));
      if (text.size() > units) {
        text.resize(before);
        break;
      }
    }
    auto* out = static_cast<char16_t*>(buffer);
    std::copy(text.begin(), text.end(), out);
    if (text.size() < units)
      out[text.size()] = 0;
    return {};
  }

  FeatureBytes GetFeature(HidHandle handle, std::uint8_t* report, std::size_t length) override {
    const OpenDevice* device = Find(handle);
    if (device == nullptr)
      return SystemReason(EBADF);
    return Transfer([&] { return api_.get_feature_report(device->device, report, length); });
  }

  FeatureBytes SetFeature(HidHandle handle, const std::uint8_t* report,
                          std::size_t length) override {
    const OpenDevice* device = Find(handle);
    if (device == nullptr)
      return SystemReason(EBADF);
    return Transfer([&] { return api_.send_feature_report(device->device, report, length); });
  }

 private:
  struct OpenDevice {
    hid_device* device;
    std::string path;
    NodeLock lock;
  };

  // hidapi hands on the hidraw ioctl's result: the bytes moved, or -1 with
  // errno set, which is read here, right after the call. EAGAIN and EINTR
  // mean the request never went out to the unit, so it is made once more; a
  // second refusal is the transfer's outcome.
  template <typename Call>
  static FeatureBytes Transfer(const Call& call) {
    for (int attempt = 1;; ++attempt) {
      errno = 0;
      const int result = call();
      const int error = errno;
      if (result >= 0)
        return static_cast<std::size_t>(result);
      if (attempt == 2 || (error != EAGAIN && error != EINTR))
        return SystemReason(error != 0 ? error : EIO);
    }
  }

  // A unit's node that the user may not open (no udev rule: a 0600 node of
  // root's), or one gone between the enumeration and the open, is something
  // the operator can set right.
  void NoteOpenProblem(const std::string& path, int error) {
    const auto it = attributes_.find(path);
    if (it == attributes_.end() || it->second.vendorId != kUnitVendorId ||
        it->second.productId != kUnitProductId)
      return;
    const std::string reason = std::strerror(error);
    std::string text;
    if (error == EACCES || error == EPERM) {
      text = "Нет прав на чтение и запись " + path + " (УПО): " + reason +
             ". Нужно правило udev для УПО: пакет ставит его в "
             "/usr/lib/udev/rules.d/70-vr512b.rules; при запуске из дерева сборки скопируйте "
             "packaging/70-vr512b.rules в /etc/udev/rules.d/, выполните "
             "\"udevadm control --reload && udevadm trigger\" и подключите УПО заново.";
    } else if (error == ENOENT || error == ENODEV || error == ENXIO) {
      text = "УПО " + path + " пропало между поиском и открытием: " + reason +
             ". Проверьте подключение УПО и повторите проверку.";
    } else {
      return;
    }
    if (std::find(openProblems_.begin(), openProblems_.end(), text) == openProblems_.end())
      openProblems_.push_back(text);
  }

  // Null for a handle that is not open (EBADF).
  const OpenDevice* Find(HidHandle handle) {
    auto it = open_.find(handle);
    return it == open_.end() ? nullptr : &it->second;
  }

  LibraryHandle library_;
  HidApi api_;
  std::map<HidHandle, OpenDevice> open_;
  std::map<std::string, HidAttributes> attributes_;
  std::map<std::string, std::u16string> serials_;  // as enumerated, UTF-16
  std::map<std::string, HidInterface> interfaces_;
  std::vector<std::string> openProblems_;
  HidHandle nextHandle_ = 1;
};

// 1 when the symbol was found. The results are combined with a bitwise AND,
// which, unlike &&, makes every look-up whatever the ones before gave.
template <typename F>
int Resolve(void* library, const char* name, F& target) {
  void* symbol = dlsym(library, name);
  target = reinterpret_cast<F>(symbol);
  return symbol != nullptr ? 1 : 0;
}

}  // namespace

HidLoadResult LoadPlatformHidLibrary() {
  const char* override = std::getenv("VR512B_HIDAPI_LIBRARY");
  const char* name = override && *override ? override : "libhidapi-hidraw.so.0";
  LibraryHandle library(dlopen(name, RTLD_NOW | RTLD_LOCAL));
  if (!library)
    return ErrorReason{0, kHidLoadLibraryError};
  HidApi api{};
  void* lib = library.get();
  const bool complete = Resolve(lib, "hid_init", api.init) & Resolve(lib, "hid_exit", api.exit) &
                        Resolve(lib, "hid_enumerate", api.enumerate) &
                        Resolve(lib, "hid_free_enumeration", api.free_enumeration) &
                        Resolve(lib, "hid_open_path", api.open_path) &
                        Resolve(lib, "hid_close", api.close) &
                        Resolve(lib, "hid_get_feature_report", api.get_feature_report) &
                        Resolve(lib, "hid_send_feature_report", api.send_feature_report) &
                        Resolve(lib, "hid_get_serial_number_string", api.get_serial_number_string);
  if (!complete)
    return ErrorReason{0, kHidLoadFunctionsError};
  return std::unique_ptr<HidLibrary>(std::make_unique<HidApiLibrary>(std::move(library), api));
}

}  // namespace vr512b
