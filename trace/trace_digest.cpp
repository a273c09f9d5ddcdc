#include "trace/trace_digest.h"

#include <array>
#include <cstdio>

namespace vr512b::trace {
namespace {

constexpr std::string_view kCommentPrefix = "vr512b-crc32 ";

constexpr std::array<std::uint32_t, 256> MakeTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k)
      c = (c & 1u) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

constexpr std::array<std::uint32_t, 256> kTable = MakeTable();

// What each record starts with, so that records of different kinds never
// run into each other.
enum Tag : std::uint8_t { kUnitTag = 'U', kTransferTag = 'T', kMarkTag = 'M' };

}  // namespace

void TraceDigest::Add(std::span<const std::uint8_t> bytes) {
  for (const std::uint8_t byte : bytes)
    crc_ = kTable[(crc_ ^ byte) & 0xFFu] ^ (crc_ >> 8);
}

void TraceDigest::AddU32(std::uint32_t value) {
  const std::array<std::uint8_t, 4> bytes{
      static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
      static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
  Add(bytes);
}

void TraceDigest::AddUnit(UnitId id, const UnitIdentity& unit) {
  AddU32(kUnitTag);
  AddU32(id);
  AddU32(static_cast<std::uint32_t>(unit.role));
  AddU32(unit.vendorId);
  AddU32(unit.productId);
  AddU32(unit.version);
  AddU32(static_cast<std::uint32_t>(unit.serial.size()));
  for (const char16_t c : unit.serial)
    AddU32(c);
}

void TraceDigest::AddTransfer(UnitId unit, TransferKind kind, std::uint8_t reportId,
                              std::uint16_t length, std::span<const std::uint8_t> bytes,
                              std::uint32_t error) {
  AddU32(kTransferTag);
  AddU32(unit);
  AddU32(static_cast<std::uint32_t>(kind));
  AddU32(reportId);
  AddU32(length);
  AddU32(error);
  AddU32(static_cast<std::uint32_t>(bytes.size()));
  Add(bytes);
}

void TraceDigest::AddMark(std::string_view text) {
  AddU32(kMarkTag);
  AddU32(static_cast<std::uint32_t>(text.size()));
  Add(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::string TraceDigest::Comment() const {
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(Value()));
  return std::string(kCommentPrefix) + hex;
}

std::optional<std::uint32_t> TraceDigest::FromComment(std::string_view comment) {
  if (!comment.starts_with(kCommentPrefix) || comment.size() != kCommentPrefix.size() + 8)
    return std::nullopt;
  std::uint32_t value = 0;
  for (const char c : comment.substr(kCommentPrefix.size())) {
    int digit = 0;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return std::nullopt;
    value = value << 4 | static_cast<std::uint32_t>(digit);
  }
  return value;
}

}  // namespace vr512b::trace
