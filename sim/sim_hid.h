#pragma once

#include <array>
#include <functional>
#include <map>
#include <string>

#include "device/clock.h"
#include "device/hid_library.h"
#include "sim/trace_replay.h"
#include "sim/virtual_unit.h"

namespace vr512b::sim {

// The bench's units as HID interfaces, with the unit's report framing: a read
// returns the block from byte 0 of the report buffer, a write carries the
// report id in byte 0 and the block after it. Every feature-report transfer
// takes 1 ms of clock time, so that polling loops move a virtual clock.
// A unit of a role the replay plays back is there only while the recorded
// console opened it, with the recorded identity, and its transfers take the
// recorded time.
class SimHid final : public HidLibrary {
 public:
  SimHid(VirtualUnit& underTest, VirtualUnit& reference, bool withForeignDevice, Clock& clock,
         std::function<void()> update, TraceReplay* replay = nullptr);

  std::optional<std::vector<std::string>> EnumeratePaths() override;
  HidHandle Open(const std::string& path) override;
  std::optional<HidListing> ListingOf(const std::string& path) override;
  void Close(HidHandle handle) override;
  Outcome<void> GetAttributes(HidHandle handle, HidAttributes& attributes) override;
  Outcome<void> GetSerialNumberString(HidHandle handle, void* buffer, std::size_t length) override;
  FeatureBytes GetFeature(HidHandle handle, std::uint8_t* report, std::size_t length) override;
  FeatureBytes SetFeature(HidHandle handle, const std::uint8_t* report,
                          std::size_t length) override;

 private:
  // Interface slots in enumeration order: a keyboard first, so that the
  // console has to pass over a foreign device, then the reference unit ahead
  // of the unit under test, so that the search for the latter has to pass
  // over a unit whose serial number is the reference one.
  static constexpr int kKeyboard = 0;
  static constexpr int kSlots = 3;

  struct OpenInterface {
    int slot = kKeyboard;
    std::uint64_t plugGeneration = 0;
    std::optional<trace::UnitIdentity> replayed;  // the identity it was opened with
  };

  VirtualUnit* UnitAt(int slot) const;
  // The role of a slot whose unit the replay plays back.
  std::optional<TUnitRole> ReplayedRole(int slot) const;
  // The open interface of a replayed unit behind a handle, or null.
  OpenInterface* ReplayedInterface(HidHandle handle);
  // Lets the model keep up with the time a replayed transfer took.
  FeatureBytes AfterReplay(FeatureBytes moved);
  bool SlotPresent(int slot) const;
  // The unit behind an open handle: null for the keyboard, or why there is
  // none.
  Outcome<VirtualUnit*> LiveUnit(HidHandle handle);
  // The unit a transfer goes to, or why it fails (the keyboard has no
  // feature reports).
  Outcome<VirtualUnit*> TransferTarget(HidHandle handle);
  // The unit a well-formed feature transfer goes to, its transfer counted, or
  // why the transfer fails.
  Outcome<VirtualUnit*> BeginTransfer(HidHandle handle, const std::uint8_t* report,
                                      std::size_t length, std::size_t& size);

  std::array<VirtualUnit*, 2> units_;
  bool withForeignDevice_;
  Clock& clock_;
  std::function<void()> update_;
  TraceReplay* replay_;
  std::array<bool, 2> replayedOpen_{};
  std::map<HidHandle, OpenInterface> handles_;
  HidHandle nextHandle_ = 0x100;
};

}  // namespace vr512b::sim
