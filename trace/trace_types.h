#pragma once

// What a HID trace holds: the units, their feature transfers and the console's
// marks. Shared by the writer, which takes these, and the reader, which gives
// them back. The unit's identity on USB and its reports are the protocol's
// (device_types.h).

#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "device/device_types.h"

namespace vr512b::trace {

// The console's TUnitRole as a trace keeps it.
enum class Role : std::uint8_t { UnderTest = urUnderTest, Reference = urReference };

enum class TransferKind : std::uint8_t {
  Get,  // HidD_GetFeature: GET_REPORT
  Set,  // HidD_SetFeature: SET_REPORT
};

// A unit's number in its trace: 0 for the first unit added, and so on.
using UnitId = std::uint32_t;

struct UnitIdentity {
  Role role = Role::UnderTest;
  std::u16string serial;  // as the unit's serial number string gives it
  std::uint16_t vendorId = kUnitVendorId;
  std::uint16_t productId = kUnitProductId;
  std::uint16_t version = 0;

  friend bool operator==(const UnitIdentity&, const UnitIdentity&) = default;
};

// One HidD_GetFeature or HidD_SetFeature call as the console made it.
struct Transfer {
  UnitId unit = 0;
  TransferKind kind = TransferKind::Get;
  std::uint8_t reportId = 0;
  // The report length the console passed (7, 17 or 43 for this unit).
  std::uint16_t length = 0;
  // Set: the report sent, report id first, `length` bytes. Get: the bytes the
  // call returned into the buffer, at most `length`; none when it failed.
  std::span<const std::uint8_t> bytes;
  // 0 when the call succeeded, otherwise the platform's error code (errno, or
  // GetLastError() on Windows). A failed call must carry a non-zero code.
  std::uint32_t error = 0;
  std::int64_t beganMs = 0;  // the console's clock, virtual or real; not negative
  std::int64_t endedMs = 0;
};

// What the reader gives back, in the order the trace holds it.

struct UnitRecord {
  UnitId id = 0;
  UnitIdentity identity;
};

struct TransferRecord {
  UnitId unit = 0;
  TransferKind kind = TransferKind::Get;
  std::uint8_t reportId = 0;
  std::uint16_t length = 0;
  std::vector<std::uint8_t> bytes;
  std::uint32_t error = 0;
  std::int64_t beganMs = 0;
  std::int64_t endedMs = 0;
  // Number of the request's frame as Wireshark counts them, for messages that
  // point a reader of the trace at it.
  std::uint64_t frame = 0;
};

struct MarkRecord {
  std::string text;
  std::int64_t timeMs = 0;
  std::uint64_t frame = 0;
};

using TraceEvent = std::variant<UnitRecord, TransferRecord, MarkRecord>;

}  // namespace vr512b::trace
