#include "trace/recording_hid.h"

#include <algorithm>

#include "device/system_error.h"
#include "trace/console_marks.h"

namespace vr512b::trace {
RecordingHid::RecordingHid(HidLibrary& inner, Clock& clock) : inner_(inner), clock_(clock) {}

RecordingHid::~RecordingHid() {
  if (writer_)
    static_cast<void>(writer_->Close());
}

std::string RecordingHid::Start(const std::filesystem::path& path, std::string_view application,
                                std::int64_t offsetMs,
                                std::optional<std::int64_t> writeOutEveryMs) {
  if (writer_)
    static_cast<void>(Stop());
  failure_.reset();
  for (auto& [handle, info] : handles_)
    info.unit.reset();
  auto writer = std::make_unique<TraceWriter>();
  const std::u8string text = path.u8string();
  path_.assign(text.begin(), text.end());
  if (!writer->Open(path, application))
    return writer->error();
  if (writeOutEveryMs)
    writer->WriteOutEvery(*writeOutEveryMs);
  writer_ = std::move(writer);
  offsetMs_ = offsetMs;
  return {};
}

std::string RecordingHid::Stop() {
  if (!writer_)
    return failure_.value_or(std::string());
  const bool whole = writer_->Close();
  const std::string error = writer_->error();
  writer_.reset();
  return whole ? std::string() : error;
}

std::optional<std::string> RecordingHid::TakeFailure() {
  return std::exchange(failure_, std::nullopt);
}

void RecordingHid::Check(bool written) {
  if (written || !writer_)
    return;
  failure_ = writer_->error();
  static_cast<void>(writer_->Close());
  writer_.reset();
}

void RecordingHid::Mark(std::string_view text) {
  if (!writer_)
    return;
  Check(writer_->Mark(text, Now()));
}

std::optional<UnitId> RecordingHid::UnitOf(HidHandle handle) {
  const auto found = handles_.find(handle);
  if (found == handles_.end())
    return std::nullopt;
  HandleInfo& info = found->second;
  if (info.unit || !writer_ || !info.attributes || !info.serial || !roleOf_)
    return info.unit;
  const std::optional<Role> role = roleOf_(handle);
  if (!role)
    return std::nullopt;
  const UnitIdentity identity{*role, *info.serial, info.attributes->vendorId,
                              info.attributes->productId, info.attributes->version};
  const std::int64_t now = Now();
  info.unit = writer_->AddUnit(identity, now);
  if (!info.unit) {
    Check(false);
    return std::nullopt;
  }
  ConsoleMark opened;
  opened.kind = ConsoleMark::Kind::UnitOpened;
  opened.role = *role;
  opened.unit = *info.unit;
  Check(writer_->Mark(MarkText(opened), now));
  return writer_ ? info.unit : std::nullopt;
}

std::optional<std::vector<std::string>> RecordingHid::EnumeratePaths() {
  return inner_.EnumeratePaths();
}

HidHandle RecordingHid::Open(const std::string& path) {
  const HidHandle handle = inner_.Open(path);
  if (handle != kInvalidHandle)
    handles_[handle] = {};
  return handle;
}

void RecordingHid::Close(HidHandle handle) {
  handles_.erase(handle);
  inner_.Close(handle);
}

Outcome<void> RecordingHid::GetAttributes(HidHandle handle, HidAttributes& attributes) {
  Outcome<void> ok = inner_.GetAttributes(handle, attributes);
  const auto found = handles_.find(handle);
  if (!ok || found == handles_.end())
    return ok;
  found->second.attributes = attributes;
  static_cast<void>(UnitOf(handle));
  return ok;
}

Outcome<void> RecordingHid::GetSerialNumberString(HidHandle handle, void* buffer,
                                                  std::size_t length) {
  Outcome<void> ok = inner_.GetSerialNumberString(handle, buffer, length);
  const auto found = handles_.find(handle);
  if (!ok || found == handles_.end())
    return ok;
  // As far as the call filled the buffer, up to its terminating zero.
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  std::u16string serial;
  for (std::size_t at = 0; at + 1 < length; at += 2) {
    const auto unit = static_cast<char16_t>(bytes[at] | (bytes[at + 1] << 8));
    if (unit == 0)
      break;
    serial += unit;
  }
  found->second.serial = std::move(serial);
  static_cast<void>(UnitOf(handle));
  return ok;
}

void RecordingHid::Record(HidHandle handle, TransferKind kind, std::uint8_t reportId,
                          std::size_t length, std::span<const std::uint8_t> bytes,
                          std::uint32_t error, std::int64_t beganMs) {
  const std::optional<UnitId> unit = UnitOf(handle);
  if (!writer_)
    return;
  if (!unit) {
    failure_ = "Трасса " + path_ + ": обмен с УПО, которое консоль не открывала для роли";
    static_cast<void>(writer_->Close());
    writer_.reset();
    return;
  }
  Transfer transfer;
  transfer.unit = *unit;
  transfer.kind = kind;
  transfer.reportId = reportId;
  transfer.length = static_cast<std::uint16_t>(std::min<std::size_t>(length, 0xFFFF));
  transfer.bytes = bytes;
  transfer.error = error;
  transfer.beganMs = beganMs;
  transfer.endedMs = std::max(beganMs, Now());
  Check(writer_->Write(transfer));
}

FeatureBytes RecordingHid::GetFeature(HidHandle handle, std::uint8_t* report, std::size_t length) {
  if (!writer_)
    return inner_.GetFeature(handle, report, length);
  const std::uint8_t reportId = report != nullptr && length > 0 ? report[0] : 0;
  const std::int64_t began = Now();
  const FeatureBytes moved = inner_.GetFeature(handle, report, length);
  std::uint32_t error = 0;
  std::span<const std::uint8_t> bytes;
  if (moved) {
    bytes = std::span<const std::uint8_t>(report, std::min(*moved, length));
  } else {
    // A failed call must carry a code for the trace to show it failed.
    error =
        moved.reason().code != 0 ? moved.reason().code : SystemErrorCode(SystemError::IoFailure);
  }
  Record(handle, TransferKind::Get, reportId, length, bytes, error, began);
  return moved;
}

FeatureBytes RecordingHid::SetFeature(HidHandle handle, const std::uint8_t* report,
                                      std::size_t length) {
  if (!writer_)
    return inner_.SetFeature(handle, report, length);
  const std::int64_t began = Now();
  const FeatureBytes moved = inner_.SetFeature(handle, report, length);
  // A trace has no count for a write. One cut short fails the exchange in
  // the report layer with SystemError::ShortTransfer's code, so the trace
  // records it as a write failed with that code, which a replay turns into
  // the same log line.
  std::uint32_t error = 0;
  if (!moved)
    error =
        moved.reason().code != 0 ? moved.reason().code : SystemErrorCode(SystemError::IoFailure);
  else if (*moved < length)
    error = SystemErrorCode(SystemError::ShortTransfer);
  const std::uint8_t reportId = report != nullptr && length > 0 ? report[0] : 0;
  Record(handle, TransferKind::Set, reportId, length,
         std::span<const std::uint8_t>(report, report != nullptr ? length : 0), error, began);
  return moved;
}

}  // namespace vr512b::trace
