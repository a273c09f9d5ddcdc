#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "trace/trace_digest.h"
#include "trace/trace_types.h"

namespace vr512b::trace {

// Writes the feature transfers of the units as a pcapng file that Wireshark
// dissects as USB control transfers with HID class requests (layout in
// pcapng_layout.h).
//
// Writing is buffered: a transfer costs a copy into memory, the file is written
// every 64 KiB (or every second, see WriteOutEvery), at every mark, at Flush()
// and at Close(). The first failure,
// of the file or of a call made with impossible values, is kept: every later
// call returns false, error() tells it, and the trace is closed without its
// end mark, so that a reader sees it is incomplete. The end mark carries the
// digest of the trace's content (trace_digest.h).
class TraceWriter {
 public:
  TraceWriter();
  // Closes an open trace; only Close() reports how that went.
  ~TraceWriter();
  TraceWriter(const TraceWriter&) = delete;
  TraceWriter& operator=(const TraceWriter&) = delete;

  // Creates or truncates the file. `application` names the program and its
  // version, for Wireshark's capture file properties.
  [[nodiscard]] bool Open(const std::filesystem::path& path, std::string_view application);

  // Records a unit the first time it is met; a unit added again with the same
  // identity keeps its number.
  [[nodiscard]] std::optional<UnitId> AddUnit(const UnitIdentity& unit, std::int64_t timeMs);

  // May write the file; the error of a HID call it records travels with
  // that call's result, so nothing here can change it.
  [[nodiscard]] bool Write(const Transfer& transfer);

  // A note for whoever reads the trace back, e.g. where a test began.
  [[nodiscard]] bool Mark(std::string_view text, std::int64_t timeMs);

  // Hands everything written so far to the system.
  [[nodiscard]] bool Flush();

  // Also hands the buffer to the system at the first transfer `ms` or more
  // (of the transfers' times) after it last did, and, while no transfer
  // comes, from a thread of its own every `ms` of real time: on the real
  // clock a trace then lags the transfers by about that much, not by 64 KiB,
  // for a reader that follows it and after the program is killed. Off by
  // default, as on the virtual clock, where a second passes in no time. The
  // calls of the writer may then come from one thread while its own writes
  // out; a failure there is told by the next call, as any other.
  void WriteOutEvery(std::int64_t ms);

  // Writes the end mark, flushes and closes the file. True when the whole
  // trace reached the file.
  [[nodiscard]] bool Close();

  bool isOpen() const;
  std::string error() const;

 private:
  struct FileCloser {
    void operator()(std::FILE* file) const;
  };
  struct Setup {
    std::uint8_t requestType;
    std::uint8_t request;
    std::uint16_t value;
    std::uint16_t index;
    std::uint16_t length;
  };

  bool Fail(std::string text);
  bool FailFromErrno(const char* what, int code);
  bool Usable();
  bool CheckTime(std::int64_t ms);
  std::uint8_t* Grow(std::size_t bytes);
  std::size_t BeginBlock(std::uint32_t type);
  void AppendOption(std::uint16_t code, std::string_view value);
  void EndBlock(std::size_t start);
  void AppendSectionHeader(std::string_view application);
  void AppendInterface(std::uint16_t linkType, std::string_view name, std::string_view description);
  void PutPacketFields(std::uint8_t* at, std::uint32_t interface, std::int64_t timeMs,
                       std::size_t captured);
  void AppendControl(UnitId unit, const Setup& setup, std::span<const std::uint8_t> data,
                     std::uint32_t error, std::int64_t beganMs, std::int64_t endedMs,
                     std::string_view comment);
  void AppendUsbmonPacket(UnitId unit, std::uint64_t urb, std::uint8_t type, std::uint8_t endpoint,
                          const Setup* setup, std::int32_t status, std::uint32_t length,
                          std::span<const std::uint8_t> data, std::int64_t timeMs,
                          std::string_view comment);
  void AppendMarkPacket(std::string_view prefix, std::string_view text, std::int64_t timeMs,
                        std::string_view comment = {});
  bool WriteOut();
  void StopWritingOut();

  std::unique_ptr<std::FILE, FileCloser> file_;
  std::string pathText_;
  std::vector<std::uint8_t> buffer_;
  std::vector<UnitIdentity> units_;
  std::uint64_t nextUrb_ = 1;
  std::int64_t lastTimeMs_ = 0;
  std::optional<std::int64_t> writeOutEveryMs_;
  std::int64_t writtenOutMs_ = 0;  // the time of the latest record written out
  TraceDigest digest_;
  std::string error_;
  mutable std::mutex mutex_;  // all of the above, once a thread writes out
  std::condition_variable_any wake_;
  std::jthread writingOut_;  // last: stopped before the rest goes
};

}  // namespace vr512b::trace
