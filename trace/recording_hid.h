#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "device/clock.h"
#include "device/hid_library.h"
#include "trace/trace_writer.h"

namespace vr512b::trace {

// The console's HID library with a recorder in front: while a trace is open,
// every feature transfer of both units goes to it, and every unit the console
// opens with its role, serial number and version; otherwise the calls pass
// straight through. What the console sees is what the library gives, the
// thread's last error included, so recording never changes the log.
//
// A trace that cannot be written stops recording at its first failure, which
// TakeFailure() then tells once; the file keeps what came before it and reads
// as cut short.
class RecordingHid final : public HidLibrary {
 public:
  RecordingHid(HidLibrary& inner, Clock& clock);
  ~RecordingHid() override;
  RecordingHid(const RecordingHid&) = delete;
  RecordingHid& operator=(const RecordingHid&) = delete;

  // Which role's slot holds a handle, if any: the console's device link
  // knows, once it has picked the unit for a role.
  using RoleOf = std::function<std::optional<Role>(HidHandle)>;
  void SetRoleSource(RoleOf roleOf) { roleOf_ = std::move(roleOf); }

  // Opens a new trace; the trace's times are the clock's plus `offsetMs`.
  // Returns an error text, empty on success. A trace already open is closed
  // first. With `writeOutEveryMs`, the transfers reach the file at least that
  // often (TraceWriter::WriteOutEvery).
  std::string Start(const std::filesystem::path& path, std::string_view application,
                    std::int64_t offsetMs = 0,
                    std::optional<std::int64_t> writeOutEveryMs = std::nullopt);
  // Closes the trace; an error text when it did not all reach the file.
  std::string Stop();
  bool Recording() const { return writer_ != nullptr; }
  const std::string& Path() const { return path_; }
  // The failure that stopped the recording, the first time it is asked for.
  std::optional<std::string> TakeFailure();

  // A console mark at the clock's present time; nothing when not recording.
  void Mark(std::string_view text);

  std::optional<std::vector<std::string>> EnumeratePaths() override;
  HidHandle Open(const std::string& path) override;
  HidInterface InterfaceOf(const std::string& path) override { return inner_.InterfaceOf(path); }
  std::optional<HidListing> ListingOf(const std::string& path) override {
    return inner_.ListingOf(path);
  }
  std::vector<std::string> TakeOpenProblems() override { return inner_.TakeOpenProblems(); }
  void Close(HidHandle handle) override;
  Outcome<void> GetAttributes(HidHandle handle, HidAttributes& attributes) override;
  Outcome<void> GetSerialNumberString(HidHandle handle, void* buffer, std::size_t length) override;
  FeatureBytes GetFeature(HidHandle handle, std::uint8_t* report, std::size_t length) override;
  FeatureBytes SetFeature(HidHandle handle, const std::uint8_t* report,
                          std::size_t length) override;

 private:
  // What the console learnt of an open handle, to name its unit in the trace.
  struct HandleInfo {
    std::optional<HidAttributes> attributes;
    std::optional<std::u16string> serial;
    std::optional<UnitId> unit;  // in the open trace
  };

  std::int64_t Now() const { return clock_.NowMs() + offsetMs_; }
  // The handle's unit in the trace, added (with the mark of its opening) once
  // its role and identity are known.
  std::optional<UnitId> UnitOf(HidHandle handle);
  void Record(HidHandle handle, TransferKind kind, std::uint8_t reportId, std::size_t length,
              std::span<const std::uint8_t> bytes, std::uint32_t error, std::int64_t beganMs);
  void Check(bool written);

  HidLibrary& inner_;
  Clock& clock_;
  RoleOf roleOf_;
  std::unique_ptr<TraceWriter> writer_;
  std::string path_;
  std::int64_t offsetMs_ = 0;
  std::optional<std::string> failure_;
  std::map<HidHandle, HandleInfo> handles_;
};

}  // namespace vr512b::trace
