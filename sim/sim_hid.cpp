#include "sim/sim_hid.h"

#include <algorithm>

#include "common/utf8.h"
#include "device/system_error.h"

namespace vr512b::sim {

namespace {

constexpr const char* kPaths[] = {"vbench://hid/0", "vbench://hid/1", "vbench://hid/2"};
constexpr HidAttributes kKeyboardAttributes{0x046D, 0xC31C, 0x6400};
constexpr int kTransferMs = 1;

std::size_t BlockSize(std::uint8_t reportId) {
  switch (reportId) {
    case kReportShort:
      return kShortReportLength - 1;
    case kReportConfig:
      return kConfigReportLength - 1;
    case kReportMessage:
      return kMessageReportLength - 1;
    default:
      return 0;
  }
}

std::u16string Utf16(const std::string& text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i++]);
    char32_t code = lead;
    int extra = 0;
    if (lead >= 0xF0 && lead < 0xF8) {
      code = lead & 0x07;
      extra = 3;
    } else if (lead >= 0xE0) {
      code = lead & 0x0F;
      extra = 2;
    } else if (lead >= 0xC0) {
      code = lead & 0x1F;
      extra = 1;
    } else if (lead >= 0x80) {
      code = 0xFFFD;
    }
    for (; extra > 0; --extra, ++i) {
      if (i >= text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
        code = 0xFFFD;
        break;
      }
      code = (code << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
    }
    AppendUtf16(out, code);
  }
  return out;
}

// UTF-16LE into a byte buffer of the given length, with a terminating zero
// when it fits; like the platform call, a longer string is cut short.
void WriteUtf16(const std::u16string& text, void* buffer, std::size_t length) {
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  std::size_t at = 0;
  for (const char16_t unit : text) {
    if (at + 2 > length)
      return;
    bytes[at++] = static_cast<std::uint8_t>(unit & 0xFF);
    bytes[at++] = static_cast<std::uint8_t>(unit >> 8);
  }
  if (at + 2 <= length) {
    bytes[at] = 0;
    bytes[at + 1] = 0;
  }
}

}  // namespace

SimHid::SimHid(VirtualUnit& underTest, VirtualUnit& reference, bool withForeignDevice, Clock& clock,
               std::function<void()> update, TraceReplay* replay)
    : units_{&underTest, &reference},
      withForeignDevice_(withForeignDevice),
      clock_(clock),
      update_(std::move(update)),
      replay_(replay) {}

std::optional<TUnitRole> SimHid::ReplayedRole(int slot) const {
  const VirtualUnit* unit = UnitAt(slot);
  if (replay_ == nullptr || unit == nullptr || !replay_->Replays(unit->Role()))
    return std::nullopt;
  return unit->Role();
}

SimHid::OpenInterface* SimHid::ReplayedInterface(HidHandle handle) {
  const auto it = handles_.find(handle);
  return it != handles_.end() && it->second.replayed ? &it->second : nullptr;
}

VirtualUnit* SimHid::UnitAt(int slot) const {
  switch (slot) {
    case 1:
      return units_[urReference];
    case 2:
      return units_[urUnderTest];
    default:
      return nullptr;
  }
}

bool SimHid::SlotPresent(int slot) const {
  if (slot == kKeyboard)
    return withForeignDevice_;
  if (const std::optional<TUnitRole> role = ReplayedRole(slot))
    return replay_->UnitToOpen(*role) != nullptr;
  const VirtualUnit* unit = UnitAt(slot);
  return unit->Present() && unit->Plugged();
}

std::optional<std::vector<std::string>> SimHid::EnumeratePaths() {
  update_();
  std::vector<std::string> paths;
  for (int slot = 0; slot < kSlots; ++slot) {
    if (SlotPresent(slot))
      paths.emplace_back(kPaths[slot]);
  }
  return paths;
}

std::optional<HidListing> SimHid::ListingOf(const std::string& path) {
  const auto* found = std::find(std::begin(kPaths), std::end(kPaths), path);
  const int slot = static_cast<int>(found - std::begin(kPaths));
  if (slot >= kSlots || !SlotPresent(slot))
    return std::nullopt;
  if (slot == kKeyboard)
    return HidListing{kKeyboardAttributes, u""};
  if (const std::optional<TUnitRole> role = ReplayedRole(slot)) {
    const auto* replayed = replay_->UnitToOpen(*role);
    return HidListing{{replayed->vendorId, replayed->productId, replayed->version},
                      replayed->serial};
  }
  const VirtualUnit* unit = UnitAt(slot);
  return HidListing{{kUnitVendorId, kUnitProductId, unit->Setup().version},
                    Utf16(unit->Setup().serial)};
}

HidHandle SimHid::Open(const std::string& path) {
  update_();
  const auto* found = std::find(std::begin(kPaths), std::end(kPaths), path);
  const int slot = static_cast<int>(found - std::begin(kPaths));
  if (slot >= kSlots || !SlotPresent(slot))
    return kInvalidHandle;
  OpenInterface opened{slot, 0, std::nullopt};
  if (const std::optional<TUnitRole> role = ReplayedRole(slot)) {
    if (replayedOpen_[*role])
      return kInvalidHandle;
    replayedOpen_[*role] = true;
    opened.replayed = *replay_->UnitToOpen(*role);
  } else if (VirtualUnit* unit = UnitAt(slot)) {
    // The console shares for reading only: a second read/write open fails.
    if (unit->OpenByHost())
      return kInvalidHandle;
    unit->HostOpened();
    opened.plugGeneration = unit->PlugGeneration();
  }
  const HidHandle handle = nextHandle_++;
  handles_[handle] = opened;
  return handle;
}

void SimHid::Close(HidHandle handle) {
  update_();
  const auto it = handles_.find(handle);
  if (it == handles_.end())
    return;
  VirtualUnit* unit = UnitAt(it->second.slot);
  if (it->second.replayed) {
    replayedOpen_[unit->Role()] = false;
  } else if (unit && unit->Plugged() && unit->PlugGeneration() == it->second.plugGeneration) {
    unit->HostClosed();
  }
  handles_.erase(it);
}

Outcome<VirtualUnit*> SimHid::LiveUnit(HidHandle handle) {
  const auto it = handles_.find(handle);
  if (it == handles_.end())
    return SystemReason(SystemError::InvalidHandle);
  VirtualUnit* unit = UnitAt(it->second.slot);
  if (unit && (!unit->Plugged() || unit->PlugGeneration() != it->second.plugGeneration))
    return SystemReason(SystemError::DeviceNotConnected);
  return unit;
}

Outcome<void> SimHid::GetAttributes(HidHandle handle, HidAttributes& attributes) {
  update_();
  if (const OpenInterface* open = ReplayedInterface(handle)) {
    attributes =
        HidAttributes{open->replayed->vendorId, open->replayed->productId, open->replayed->version};
    return {};
  }
  const Outcome<VirtualUnit*> unit = LiveUnit(handle);
  if (!unit)
    return unit.reason();
  attributes = *unit == nullptr
                   ? kKeyboardAttributes
                   : HidAttributes{kUnitVendorId, kUnitProductId, (*unit)->Setup().version};
  return {};
}

Outcome<void> SimHid::GetSerialNumberString(HidHandle handle, void* buffer, std::size_t length) {
  update_();
  if (const OpenInterface* open = ReplayedInterface(handle)) {
    WriteUtf16(open->replayed->serial, buffer, length);
    return {};
  }
  const Outcome<VirtualUnit*> unit = LiveUnit(handle);
  if (!unit)
    return unit.reason();
  WriteUtf16(*unit == nullptr ? u"" : Utf16((*unit)->Setup().serial), buffer, length);
  return {};
}

// Every transfer takes its millisecond, a failing one too, so that a console
// polling a dead unit still moves a virtual clock.
Outcome<VirtualUnit*> SimHid::TransferTarget(HidHandle handle) {
  clock_.Sleep(kTransferMs);
  update_();
  Outcome<VirtualUnit*> unit = LiveUnit(handle);
  if (unit && *unit == nullptr)
    return SystemReason(SystemError::IoFailure);
  return unit;
}

Outcome<VirtualUnit*> SimHid::BeginTransfer(HidHandle handle, const std::uint8_t* report,
                                            std::size_t length, std::size_t& size) {
  Outcome<VirtualUnit*> unit = TransferTarget(handle);
  if (!unit)
    return unit;
  size = report ? BlockSize(report[0]) : 0;
  if (size == 0 || length != size + 1)
    return SystemReason(SystemError::IoFailure);
  if (!(*unit)->CountTransfer())
    return SystemReason(SystemError::DeviceNotConnected);
  return unit;
}

FeatureBytes SimHid::AfterReplay(FeatureBytes moved) {
  update_();
  return moved;
}

FeatureBytes SimHid::GetFeature(HidHandle handle, std::uint8_t* report, std::size_t length) {
  if (const OpenInterface* open = ReplayedInterface(handle)) {
    update_();
    return AfterReplay(replay_->GetFeature(UnitAt(open->slot)->Role(), report, length));
  }
  std::size_t size = 0;
  const Outcome<VirtualUnit*> target = BeginTransfer(handle, report, length, size);
  if (!target)
    return target.reason();
  VirtualUnit* unit = *target;
  const std::uint8_t id = report[0];
  if (id == kReportShort) {
    const TStatusBlock block = unit->Status();
    std::copy(block.begin(), block.end(), report);
  } else if (id == kReportConfig) {
    const TConfigBlock block = unit->Config();
    std::copy(block.begin(), block.end(), report);
  } else {
    const TMessageBlock block = unit->PresentReply();
    std::copy(block.begin(), block.end(), report);
  }
  // The byte behind the block is the firmware's running checksum; the console
  // must not take it for part of the block.
  std::uint8_t check = 0;
  for (std::size_t i = 0; i < size; ++i)
    check ^= report[i];
  report[size] = static_cast<std::uint8_t>(check ^ 0xA5);
  return length;
}

FeatureBytes SimHid::SetFeature(HidHandle handle, const std::uint8_t* report, std::size_t length) {
  if (const OpenInterface* open = ReplayedInterface(handle)) {
    update_();
    return AfterReplay(replay_->SetFeature(UnitAt(open->slot)->Role(), report, length));
  }
  std::size_t size = 0;
  const Outcome<VirtualUnit*> target = BeginTransfer(handle, report, length, size);
  if (!target)
    return target.reason();
  VirtualUnit* unit = *target;
  const std::uint8_t* block = report + 1;
  if (report[0] == kReportShort) {
    unit->Command(block[0], block[1], block[2]);
  } else if (report[0] == kReportConfig) {
    TConfigBlock config;
    std::copy_n(block, config.size(), config.begin());
    unit->WriteConfig(config);
  } else {
    TMessageBlock message;
    std::copy_n(block, message.size(), message.begin());
    unit->WriteMessage(message);
  }
  return length;
}

}  // namespace vr512b::sim
