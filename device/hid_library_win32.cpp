#include "common/windows_api.h"
// windows.h first: SetupAPI's and the I/O control header build on its types.
#include <setupapi.h>
#include <winioctl.h>

#include <array>
#include <map>
#include <memory>
#include <type_traits>

#include "device/hid_loader.h"
#include "device/system_error.h"

namespace vr512b {

namespace {

// hid.dll's entry points, declared here rather than taken from the driver kit's
// headers: the library is loaded at run time and never linked.
struct HiddAttributes {
  ULONG Size;
  USHORT VendorID;
  USHORT ProductID;
  USHORT VersionNumber;
};

using HidDGetHidGuid = void(WINAPI*)(GUID*);
using HidDGetAttributes = BOOLEAN(WINAPI*)(HANDLE, HiddAttributes*);
using HidDGetSerialNumberString = BOOLEAN(WINAPI*)(HANDLE, PVOID, ULONG);
using HidDGetFeature = BOOLEAN(WINAPI*)(HANDLE, PVOID, ULONG);
using HidDSetFeature = BOOLEAN(WINAPI*)(HANDLE, PVOID, ULONG);

// The top-level collection's capabilities (hidpi.h's HIDP_CAPS), of which
// only the usage page is read.
struct HidpCaps {
  USHORT Usage;
  USHORT UsagePage;
  USHORT InputReportByteLength;
  USHORT OutputReportByteLength;
  USHORT FeatureReportByteLength;
  USHORT Reserved[17];
  USHORT NumberLinkCollectionNodes;
  USHORT NumberInputButtonCaps;
  USHORT NumberInputValueCaps;
  USHORT NumberInputDataIndices;
  USHORT NumberOutputButtonCaps;
  USHORT NumberOutputValueCaps;
  USHORT NumberOutputDataIndices;
  USHORT NumberFeatureButtonCaps;
  USHORT NumberFeatureValueCaps;
  USHORT NumberFeatureDataIndices;
};
using HidDGetPreparsedData = BOOLEAN(WINAPI*)(HANDLE, void**);
using HidDFreePreparsedData = BOOLEAN(WINAPI*)(void*);
using HidPGetCaps = LONG(WINAPI*)(void*, HidpCaps*);
constexpr LONG kHidpStatusSuccess = 0x00110000;

// The HID class driver's get-feature request, the one HidD_GetFeature sends
// (hidclass.h: HID_OUT_CTL_CODE(100)).
constexpr DWORD kIoctlHidGetFeature =
    CTL_CODE(FILE_DEVICE_KEYBOARD, 100, METHOD_OUT_DIRECT, FILE_ANY_ACCESS);

// The first five are required at start, as the console always has; feature
// reads send HidD_GetFeature's request themselves (see GetFeature below). The
// capability calls, which tell an interface's usage page, are used where
// present.
struct HidDll {
  HidDGetHidGuid getHidGuid = nullptr;
  HidDGetAttributes getAttributes = nullptr;
  HidDGetSerialNumberString getSerialNumberString = nullptr;
  HidDGetFeature getFeature = nullptr;
  HidDSetFeature setFeature = nullptr;
  HidDGetPreparsedData getPreparsedData = nullptr;
  HidDFreePreparsedData freePreparsedData = nullptr;
  HidPGetCaps getCaps = nullptr;
};

struct LibraryFree {
  void operator()(HMODULE module) const { ::FreeLibrary(module); }
};
using UniqueModule = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryFree>;

struct DeviceInfoListDestroy {
  void operator()(HDEVINFO set) const {
    if (set != INVALID_HANDLE_VALUE)
      ::SetupDiDestroyDeviceInfoList(set);
  }
};
using UniqueDeviceInfoList =
    std::unique_ptr<std::remove_pointer_t<HDEVINFO>, DeviceInfoListDestroy>;

struct HandleClose {
  void operator()(HANDLE handle) const {
    if (handle != INVALID_HANDLE_VALUE)
      ::CloseHandle(handle);
  }
};
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleClose>;

HANDLE ToHandle(HidHandle handle) {
  return reinterpret_cast<HANDLE>(handle);
}

class Win32HidLibrary final : public HidLibrary {
 public:
  Win32HidLibrary(UniqueModule library, const HidDll& dll)
      : library_(std::move(library)), dll_(dll) {}

  // Units still open are closed before hid.dll goes away.
  ~Win32HidLibrary() override { open_.clear(); }

  std::optional<std::vector<std::string>> EnumeratePaths() override {
    GUID hidGuid{};
    dll_.getHidGuid(&hidGuid);
    const UniqueDeviceInfoList set(
        ::SetupDiGetClassDevsA(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (set.get() == INVALID_HANDLE_VALUE)
      return std::nullopt;
    interfaces_.clear();
    std::vector<std::string> paths;
    for (DWORD index = 0;; ++index) {
      // The record sizes are the platform's: 28 and 5 in a 32-bit program,
      // 32 and 8 in a 64-bit one; SetupAPI rejects any other value.
      SP_DEVICE_INTERFACE_DATA interfaceData{};
      interfaceData.cbSize = sizeof interfaceData;
      if (!::SetupDiEnumDeviceInterfaces(set.get(), nullptr, &hidGuid, index, &interfaceData))
        break;
      DWORD required = 0;
      ::SetupDiGetDeviceInterfaceDetailA(set.get(), &interfaceData, nullptr, 0, &required, nullptr);
      if (required == 0)
        continue;
      // operator new aligns the bytes for the record's DWORD size field.
      std::vector<unsigned char> buffer(required);
      auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
      detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
      if (::SetupDiGetDeviceInterfaceDetailA(set.get(), &interfaceData, detail, required, nullptr,
                                             nullptr)) {
        paths.emplace_back(detail->DevicePath);
        interfaces_[paths.back()] = Describe(paths.back());
      }
    }
    return paths;
  }

  // Asked of a handle without read or write access: the HID class driver
  // gives the ids and the serial string, no transfer can pass, and a test
  // that holds the unit (sharing it for reading) is not disturbed. A device
  // that cannot be asked is no unit.
  std::optional<HidListing> ListingOf(const std::string& path) override {
    UniqueHandle query(::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
    if (query.get() == INVALID_HANDLE_VALUE)
      return HidListing{};
    HiddAttributes raw{};
    raw.Size = sizeof raw;
    if (!dll_.getAttributes(query.get(), &raw))
      return HidListing{};
    HidListing listing{{raw.VendorID, raw.ProductID, raw.VersionNumber}, {}};
    // USB string descriptors hold at most 126 UTF-16 units.
    std::array<char16_t, 128> serial{};
    if (dll_.getSerialNumberString(query.get(), serial.data(),
                                   static_cast<ULONG>((serial.size() - 1) * sizeof(char16_t)))) {
      for (const char16_t c : serial) {
        if (c == 0)
          break;
        listing.serial.push_back(c);
      }
    }
    return listing;
  }

  HidHandle Open(const std::string& path) override {
    UniqueHandle handle(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
    if (handle.get() == INVALID_HANDLE_VALUE)
      return kInvalidHandle;
    const auto id = reinterpret_cast<HidHandle>(handle.get());
    open_.emplace(id, std::move(handle));
    return id;
  }

  HidInterface InterfaceOf(const std::string& path) override {
    const auto it = interfaces_.find(path);
    return it == interfaces_.end() ? HidInterface{} : it->second;
  }

  void Close(HidHandle handle) override { open_.erase(handle); }

  Outcome<void> GetAttributes(HidHandle handle, HidAttributes& attributes) override {
    HiddAttributes raw{};
    raw.Size = sizeof raw;
    if (!dll_.getAttributes(ToHandle(handle), &raw))
      return SystemReason(::GetLastError());
    attributes = {raw.VendorID, raw.ProductID, raw.VersionNumber};
    return {};
  }

  Outcome<void> GetSerialNumberString(HidHandle handle, void* buffer, std::size_t length) override {
    if (!dll_.getSerialNumberString(ToHandle(handle), buffer, static_cast<ULONG>(length)))
      return SystemReason(::GetLastError());
    return {};
  }

  // HidD_GetFeature answers only TRUE or FALSE: the byte count the HID class
  // driver reports for the request is dropped inside hid.dll. A unit that
  // answers with fewer bytes than the report holds therefore shows there as
  // success, with the rest of the caller's buffer as it was before the call
  // (zeros behind the report id, here). The same request sent directly keeps
  // the count, so a short or empty answer can be told from data.
  FeatureBytes GetFeature(HidHandle handle, std::uint8_t* report, std::size_t length) override {
    DWORD moved = 0;
    if (!::DeviceIoControl(ToHandle(handle), kIoctlHidGetFeature, nullptr, 0, report,
                           static_cast<DWORD>(length), &moved, nullptr)) {
      return SystemReason(::GetLastError());
    }
    return static_cast<std::size_t>(moved);
  }

  // A feature report goes out as one USB control transfer, which the device
  // takes whole or refuses; a successful HidD_SetFeature has sent all of it.
  FeatureBytes SetFeature(HidHandle handle, const std::uint8_t* report,
                          std::size_t length) override {
    // The entry point's buffer is not const in its declaration, but a set
    // request only reads it.
    if (!dll_.setFeature(ToHandle(handle), const_cast<std::uint8_t*>(report),
                         static_cast<ULONG>(length))) {
      return SystemReason(::GetLastError());
    }
    return length;
  }

 private:
  // What the path and the interface's top-level collection say of it: a
  // composite device's interface carries "&mi_XX" in its path, and the
  // collection's capabilities give its usage page. The query opens the
  // interface without access, which any share mode admits.
  HidInterface Describe(const std::string& path) const {
    HidInterface where;
    where.number = InterfaceNumberInPath(path);
    if (!dll_.getPreparsedData || !dll_.freePreparsedData || !dll_.getCaps)
      return where;
    const UniqueHandle query(::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
    if (query.get() == INVALID_HANDLE_VALUE)
      return where;
    void* preparsed = nullptr;
    if (!dll_.getPreparsedData(query.get(), &preparsed))
      return where;
    HidpCaps caps{};
    if (dll_.getCaps(preparsed, &caps) == kHidpStatusSuccess && caps.UsagePage != 0)
      where.usagePages.push_back(caps.UsagePage);
    dll_.freePreparsedData(preparsed);
    return where;
  }

  UniqueModule library_;
  HidDll dll_;
  std::map<HidHandle, UniqueHandle> open_;
  std::map<std::string, HidInterface> interfaces_;
};

// GetProcAddress gives a generic function pointer; going through void(*)()
// states that the conversion to the real signature is intended.
template <typename F>
bool Resolve(HMODULE library, const char* name, F& target) {
  const FARPROC proc = ::GetProcAddress(library, name);
  target = reinterpret_cast<F>(reinterpret_cast<void (*)()>(proc));
  return proc != nullptr;
}

}  // namespace

HidLoadResult LoadPlatformHidLibrary() {
  UniqueModule library(::LoadLibraryA("hid.dll"));
  if (!library)
    return ErrorReason{0, kHidLoadLibraryError};
  HidDll dll;
  HMODULE module = library.get();
  // A miss does not cut the look-ups short: all five are looked up, in this order.
  const bool complete = Resolve(module, "HidD_GetHidGuid", dll.getHidGuid) &
                        Resolve(module, "HidD_GetAttributes", dll.getAttributes) &
                        Resolve(module, "HidD_GetSerialNumberString", dll.getSerialNumberString) &
                        Resolve(module, "HidD_GetFeature", dll.getFeature) &
                        Resolve(module, "HidD_SetFeature", dll.setFeature);
  if (!complete)
    return ErrorReason{0, kHidLoadFunctionsError};
  static_cast<void>(Resolve(module, "HidD_GetPreparsedData", dll.getPreparsedData));
  static_cast<void>(Resolve(module, "HidD_FreePreparsedData", dll.freePreparsedData));
  static_cast<void>(Resolve(module, "HidP_GetCaps", dll.getCaps));
  return std::unique_ptr<HidLibrary>(std::make_unique<Win32HidLibrary>(std::move(library), dll));
}

}  // namespace vr512b
