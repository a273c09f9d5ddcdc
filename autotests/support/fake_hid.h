#pragma once

#include <cerrno>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "device/clock.h"
#include "device/hid_library.h"
#include "device/log_sink.h"
#include "device/system_error.h"

namespace vr512b::testing {

// A scripted HID library: devices with fixed identities, every transfer
// recorded with the clock time it happened at, get-feature answers taken from
// per-report queues (or a responder), failures injected by index.
class FakeHid final : public HidLibrary {
 public:
  struct Device {
    std::string path;
    HidAttributes attributes{0x8002, 0x4002, 0x0203};
    std::u16string serial;
    bool openable = true;
    bool attributesFail = false;
    bool serialFails = false;
  };
  struct Transfer {
    bool set = false;
    std::vector<std::uint8_t> report;
    std::int64_t at = 0;
  };

  explicit FakeHid(Clock& clock) : clock_(clock) {}

  int AddDevice(Device device) {
    devices_.push_back(std::move(device));
    return static_cast<int>(devices_.size()) - 1;
  }
  // Answer for the next get of a report id: the bytes as the unit returns them.
  void QueueGet(std::uint8_t reportId, std::vector<std::uint8_t> bytes) {
    queued_[reportId].push_back(std::move(bytes));
  }
  // Transfers with these indexes (counted from 0 over gets and sets) fail.
  void FailTransfer(int index) { failing_.push_back(index); }
  // The transfer with this index moves only the first `bytes` bytes: a get
  // leaves the rest of the caller's buffer as it was.
  void ShortenTransfer(int index, std::size_t bytes) { shortened_[index] = bytes; }

  std::optional<std::vector<std::string>> EnumeratePaths() override {
    if (enumerationFails)
      return std::nullopt;
    std::vector<std::string> paths;
    for (const Device& d : devices_)
      paths.push_back(d.path);
    return paths;
  }
  HidHandle Open(const std::string& path) override {
    for (std::size_t i = 0; i < devices_.size(); ++i) {
      if (devices_[i].path != path)
        continue;
      if (!devices_[i].openable || openByIndex_.count(static_cast<int>(i)))
        return kInvalidHandle;
      const HidHandle handle = nextHandle_++;
      handles_[handle] = static_cast<int>(i);
      openByIndex_[static_cast<int>(i)] = handle;
      ++opens;
      return handle;
    }
    return kInvalidHandle;
  }
  void Close(HidHandle handle) override {
    auto it = handles_.find(handle);
    if (it == handles_.end())
      return;
    openByIndex_.erase(it->second);
    handles_.erase(it);
    ++closes;
  }
  Outcome<void> GetAttributes(HidHandle handle, HidAttributes& attributes) override {
    const Device* d = Find(handle);
    if (d == nullptr || d->attributesFail)
      return Failure();
    attributes = d->attributes;
    return {};
  }
  Outcome<void> GetSerialNumberString(HidHandle handle, void* buffer, std::size_t length) override {
    const Device* d = Find(handle);
    if (d == nullptr || d->serialFails)
      return Failure();
    serialLengths.push_back(length);
    auto* out = static_cast<char16_t*>(buffer);
    const std::size_t units = length / 2;
    for (std::size_t i = 0; i < units && i < d->serial.size(); ++i)
      out[i] = d->serial[i];
    return {};
  }
  FeatureBytes GetFeature(HidHandle handle, std::uint8_t* report, std::size_t length) override {
    Record(false, report, length);
    if (Find(handle) == nullptr || ShouldFail())
      return Failure();
    std::vector<std::uint8_t> answer(length, 0);
    std::deque<std::vector<std::uint8_t>>& queue = queued_[report[0]];
    if (!queue.empty()) {
      const std::vector<std::uint8_t> bytes = queue.front();
      queue.pop_front();
      std::memcpy(answer.data(), bytes.data(), std::min(length, bytes.size()));
    } else if (responder) {
      std::memcpy(answer.data(), report, length);
      responder(answer.data(), length);
    }
    const std::size_t moved = Moved(length);
    std::memcpy(report, answer.data(), moved);
    return moved;
  }
  FeatureBytes SetFeature(HidHandle handle, const std::uint8_t* report,
                          std::size_t length) override {
    Record(true, report, length);
    if (Find(handle) == nullptr || ShouldFail())
      return Failure();
    return Moved(length);
  }

  bool IsOpen(int deviceIndex) const { return openByIndex_.count(deviceIndex) != 0; }
  std::vector<std::vector<std::uint8_t>> Sets() const {
    std::vector<std::vector<std::uint8_t>> sets;
    for (const Transfer& t : transfers) {
      if (t.set)
        sets.push_back(t.report);
    }
    return sets;
  }

  std::vector<Transfer> transfers;
  std::vector<std::size_t> serialLengths;
  std::function<void(std::uint8_t*, std::size_t)> responder;
  bool enumerationFails = false;
  // The errno every failing call gives.
  int failingErrno = EIO;
  int opens = 0;
  int closes = 0;

 private:
  const Device* Find(HidHandle handle) const {
    auto it = handles_.find(handle);
    if (it == handles_.end())
      return nullptr;
    return &devices_[it->second];
  }
  ErrorReason Failure() const { return SystemReason(static_cast<std::uint32_t>(failingErrno)); }
  std::size_t Moved(std::size_t length) const {
    const auto it = shortened_.find(static_cast<int>(transfers.size()) - 1);
    return it == shortened_.end() ? length : std::min(length, it->second);
  }
  void Record(bool set, const std::uint8_t* report, std::size_t length) {
    transfers.push_back({set, std::vector<std::uint8_t>(report, report + length), clock_.NowMs()});
  }
  bool ShouldFail() const {
    const int index = static_cast<int>(transfers.size()) - 1;
    for (int f : failing_) {
      if (f == index)
        return true;
    }
    return false;
  }

  Clock& clock_;
  std::vector<Device> devices_;
  std::map<HidHandle, int> handles_;
  std::map<int, HidHandle> openByIndex_;
  std::map<std::uint8_t, std::deque<std::vector<std::uint8_t>>> queued_;
  std::vector<int> failing_;
  std::map<int, std::size_t> shortened_;
  HidHandle nextHandle_ = 100;
};

// Collects log lines.
class LogRecorder final : public LogSink {
 public:
  void WriteLog(std::string_view text) override { lines.emplace_back(text); }
  std::vector<std::string> lines;
};

}  // namespace vr512b::testing
