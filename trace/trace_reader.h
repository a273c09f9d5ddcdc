#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "trace/pcapng_blocks.h"
#include "trace/trace_digest.h"
#include "trace/trace_types.h"
#include "trace/usb_descriptors.h"

namespace vr512b::trace {

enum class TraceFault {
  None,
  Io,           // the file cannot be opened or read
  NotPcapng,    // not a pcapng file at all
  NotOurTrace,  // pcapng, but not a trace this program wrote
  OtherDevice,  // a trace of a device other than a VR512B unit
  Unsupported,  // a newer format, big-endian, several sections
  Malformed,    // a block or a transfer that cannot be
  Truncated,    // ends inside a block, inside a transfer, or without the end mark
  Damaged,      // well-formed, but its content is not what was written (trace_digest.h)
};

struct TraceInfo {
  std::string application;  // the program that wrote it, with its version
  std::string system;       // the platform, which gives error codes their meaning
};

// Reads a trace written by TraceWriter back, one unit, transfer or mark at a
// time, in the order they were written. Memory stays bounded by the largest
// block, whatever the file says; the first fault ends the reading with a text
// that says what and where.
class TraceReader {
 public:
  static TraceReader FromFile(const std::filesystem::path& path);
  // `bytes` must outlive the reader; `name` stands for the file in messages.
  static TraceReader FromBytes(std::span<const std::uint8_t> bytes, std::string name);

  TraceReader(TraceReader&&) noexcept;
  TraceReader& operator=(TraceReader&&) noexcept;
  ~TraceReader();

  // False at the end of the trace or at a fault (fault() then says which).
  // The events given before a fault stay valid.
  bool Next(TraceEvent& event);

  TraceFault fault() const { return fault_; }
  const std::string& error() const { return error_; }
  // Known once the first event has been read.
  const TraceInfo& info() const { return info_; }

 private:
  struct Interface {
    bool marks = false;  // the console's marks, not a unit
    UnitId unit = 0;     // numbered as they are announced, once identified
    std::optional<Role> role;
    int timeExponent = 6;     // timestamps in 10^-6 s unless the block says otherwise
    std::uint8_t device = 0;  // USB address, 0 until its first packet
    std::optional<DeviceFields> fields;
    std::optional<std::u16string> serial;
    bool announced = false;
  };
  // A submission waiting for its completion.
  struct Request {
    std::uint64_t urb = 0;
    std::uint32_t interface = 0;
    std::uint8_t endpoint = 0;
    std::array<std::uint8_t, 8> setup{};
    std::vector<std::uint8_t> data;
    std::int64_t timeMs = 0;
    std::uint64_t frame = 0;
  };

  TraceReader(std::string name, std::unique_ptr<ByteSource> source);
  bool Fail(TraceFault fault, const std::string& text);
  bool FailAtEnd(TraceFault fault, const std::string& text);
  bool Finish();
  bool ReadSection();
  bool ReadInterface();
  bool ReadPacket(TraceEvent& event, bool& produced);
  bool ReadMark(std::span<const std::uint8_t> packet, std::span<const std::uint8_t> options,
                std::int64_t timeMs, TraceEvent& event, bool& produced);
  bool CheckDigest(std::span<const std::uint8_t> options);
  bool ReadUsbmon(std::uint32_t interface, std::int64_t timeMs,
                  std::span<const std::uint8_t> packet, TraceEvent& event, bool& produced);
  bool ReadCompletion(std::int32_t status, std::span<const std::uint8_t> data, std::int64_t timeMs,
                      TraceEvent& event, bool& produced);
  bool ReadDescriptor(std::span<const std::uint8_t> data, TraceEvent& event, bool& produced);
  std::optional<std::int64_t> Milliseconds(const Interface& unit, std::uint64_t ticks);

  std::string name_;
  std::unique_ptr<BlockReader> blocks_;
  Block block_;
  std::vector<Interface> interfaces_;
  Request pending_;
  bool hasPending_ = false;
  std::uint64_t frames_ = 0;
  UnitId units_ = 0;
  bool marksSeen_ = false;
  bool sectionRead_ = false;
  bool ended_ = false;
  bool done_ = false;
  TraceDigest digest_;
  TraceInfo info_;
  TraceFault fault_ = TraceFault::None;
  std::string error_;
};

struct Trace {
  TraceInfo info;
  std::vector<UnitRecord> units;
  std::vector<TraceEvent> events;  // the units again, in their place among the rest
};

// Reads a whole trace. On a fault `trace` holds what came before it and the
// reader tells the fault.
[[nodiscard]] bool ReadTrace(TraceReader& reader, Trace& trace);

}  // namespace vr512b::trace
