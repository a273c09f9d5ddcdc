#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/outcome.h"

namespace vr512b {

// An open HID interface; kInvalidHandle (all bits set) when closed.
using HidHandle = std::intptr_t;
inline constexpr HidHandle kInvalidHandle = -1;

// Bytes a feature-report transfer moved, or why it failed.
using FeatureBytes = Outcome<std::size_t>;

struct HidAttributes {
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  std::uint16_t version = 0;
};

// What the platform reports of an interface when it enumerates it: its
// number on its USB device and the usage pages of its top-level collections.
// Empty where the platform does not say.
struct HidInterface {
  std::optional<int> number;
  std::vector<std::uint16_t> usagePages;
};

// What the platform reports of a device when it enumerates it, without the
// device being opened: its ids and version, and its serial number string.
struct HidListing {
  HidAttributes attributes;
  std::u16string serial;
};

// The platform's HID entry points. A call that can fail returns its reason,
// read where the system call failed (SystemReason, device/system_error.h).
class HidLibrary {
 public:
  virtual ~HidLibrary() = default;

  // Paths of the present HID interfaces in system order; nullopt when the
  // device set cannot be had.
  virtual std::optional<std::vector<std::string>> EnumeratePaths() = 0;
  // Opens a path for reading and writing, sharing it for reading only: a
  // second read/write open of the same interface fails while this one lasts.
  // kInvalidHandle when it fails: the search passes such an interface over,
  // and TakeOpenProblems says why where the operator can set it right.
  virtual HidHandle Open(const std::string& path) = 0;
  // What the last enumeration reported of a path's interface.
  virtual HidInterface InterfaceOf(const std::string& /*path*/) { return {}; }
  // What the last enumeration reported of a path's device; none where the
  // platform cannot tell it without opening the device.
  virtual std::optional<HidListing> ListingOf(const std::string& /*path*/) { return std::nullopt; }
  // Why units the platform listed could not be opened, where the operator
  // can remedy it: each text names the node, the system's reason and the
  // remedy. Each is handed out once; the search itself passes such a unit
  // over without a line.
  virtual std::vector<std::string> TakeOpenProblems() { return {}; }
  virtual void Close(HidHandle handle) = 0;
  virtual Outcome<void> GetAttributes(HidHandle handle, HidAttributes& attributes) = 0;
  // Writes the serial number string, UTF-16LE, into buffer (length in bytes).
  virtual Outcome<void> GetSerialNumberString(HidHandle handle, void* buffer,
                                              std::size_t length) = 0;
  // Feature-report transfers: report[0] holds the report id on entry. Each
  // returns the bytes the transfer moved, report id included, or why the
  // call failed. A unit may answer with fewer bytes than the report
  // holds; judging that is left to the caller.
  virtual FeatureBytes GetFeature(HidHandle handle, std::uint8_t* report, std::size_t length) = 0;
  virtual FeatureBytes SetFeature(HidHandle handle, const std::uint8_t* report,
                                  std::size_t length) = 0;
};

// The platform HID library loaded at start-up, or why not (its reason's text
// is one of the two start-up errors below).
using HidLoadResult = Outcome<std::unique_ptr<HidLibrary>>;

inline constexpr const char* kHidLoadLibraryError = "Не могу загрузить библиотеку hid.dll";
inline constexpr const char* kHidLoadFunctionsError = "Не могу загрузить нужные функции";

}  // namespace vr512b
