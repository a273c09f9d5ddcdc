#pragma once

// A check of a trace's content: the units, the feature transfers and the
// console's marks, in their order, as the writer took them and as the reader
// gives them back. The writer puts it, as a comment "vr512b-crc32 XXXXXXXX",
// on the packet of the end mark; the reader recomputes it and refuses a trace
// whose content no longer matches (a byte changed by an editor or on a disk).
// The times are left out: they only pace a replay. A trace written before the
// check existed has no such comment and is read as before.
//
// CRC-32 (the IEEE polynomial, as zip and pcapng's own checksums use): it
// catches every change of one byte, and any burst of up to 32 bits; it is no
// defence against a deliberate forgery.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "trace/trace_types.h"

namespace vr512b::trace {

class TraceDigest {
 public:
  void AddUnit(UnitId id, const UnitIdentity& unit);
  void AddTransfer(UnitId unit, TransferKind kind, std::uint8_t reportId, std::uint16_t length,
                   std::span<const std::uint8_t> bytes, std::uint32_t error);
  void AddMark(std::string_view text);

  std::uint32_t Value() const { return ~crc_; }
  // The end mark's comment that carries it.
  std::string Comment() const;
  // The value a comment carries; nothing when it is no digest comment.
  static std::optional<std::uint32_t> FromComment(std::string_view comment);

 private:
  void Add(std::span<const std::uint8_t> bytes);
  void AddU32(std::uint32_t value);

  std::uint32_t crc_ = 0xFFFFFFFFu;
};

}  // namespace vr512b::trace
