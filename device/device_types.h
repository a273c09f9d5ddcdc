#pragma once

#include <array>
#include <cstdint>

namespace vr512b {

// Role of a unit on the bench; indexes the device slots.
enum TUnitRole : std::uint8_t { urUnderTest = 0, urReference = 1 };

using TStatusBlock = std::array<std::uint8_t, 6>;    // bytes 3, 4, 5: received, sent, state
using TConfigBlock = std::array<std::uint8_t, 16>;   // Mode, Volume, FormatMask, Options, ...
using TMessageBlock = std::array<std::uint8_t, 42>;  // command or reply

inline constexpr int kStatusReceivedCount = 3;
inline constexpr int kStatusSentCount = 4;
inline constexpr int kStatusStateFlags = 5;

// Configuration block bytes.
inline constexpr int cfgMode = 0;
inline constexpr int cfgVolume = 1;
inline constexpr int cfgFormatMask = 2;
inline constexpr int cfgOptions = 3;
inline constexpr int cfgDialFlags = 8;

// Feature report ids and full lengths (id byte included).
inline constexpr std::uint8_t kReportShort = 1;
inline constexpr std::uint8_t kReportConfig = 2;
inline constexpr std::uint8_t kReportMessage = 3;
inline constexpr std::size_t kShortReportLength = 7;
inline constexpr std::size_t kConfigReportLength = 17;
inline constexpr std::size_t kMessageReportLength = 43;

// Short-command opcodes.
inline constexpr std::uint8_t OpSound = 65;           // 'A'
inline constexpr std::uint8_t OpAckReply = 67;        // 'C'
inline constexpr std::uint8_t OpAnswer = 68;          // 'D'
inline constexpr std::uint8_t OpLineTest = 69;        // 'E'
inline constexpr std::uint8_t OpHangUp = 70;          // 'F'
inline constexpr std::uint8_t OpClear = 71;           // 'G'
inline constexpr std::uint8_t OpAckEvent = 72;        // 'H'
inline constexpr std::uint8_t OpClearRegisters = 73;  // 'I'

// Message-block commands.
inline constexpr std::uint8_t mcDisplayText = 1;
inline constexpr std::uint8_t mcTransmit = 3;
inline constexpr std::uint8_t mcTestMessage = 4;

// Reply types.
inline constexpr std::uint8_t rtNone = 0;
inline constexpr std::uint8_t rtMessage = 16;
inline constexpr std::uint8_t rtEvent = 17;
inline constexpr std::uint8_t rtError = 18;

// State bits of the status block.
inline constexpr std::uint8_t sfAnswerer = 0x01;
inline constexpr std::uint8_t sfCaller = 0x02;
inline constexpr std::uint8_t sfPhone = 0x04;
inline constexpr std::uint8_t sfLineTest = 0x08;
inline constexpr std::uint8_t sfEvent = 0x10;
inline constexpr std::uint8_t sfLineFault = 0x20;
inline constexpr std::uint8_t sfRinging = 0x40;
inline constexpr std::uint8_t sfOnLine = 0x80;
inline constexpr std::uint8_t kBusyMask = 0x8F;

// Format codes; the high nibble is the family.
inline constexpr std::uint8_t fcContactID = 0x11;
inline constexpr std::uint8_t fcLowSpeed = 0x23;
inline constexpr std::uint8_t fcSecsoa = 0x33;
inline constexpr std::uint8_t fcKorvex = 0x40;
inline constexpr std::uint8_t fcPresto = 0x50;

// Per-format bits of the FormatMask configuration byte.
inline constexpr std::uint8_t fmContactID = 0x03;
inline constexpr std::uint8_t fmLowSpeed = 0x04;
inline constexpr std::uint8_t fmSecsoa = 0x08;
inline constexpr std::uint8_t fmKorvex = 0x30;
inline constexpr std::uint8_t fmPresto = 0xC0;

// Identity of a VR512B unit on USB.
inline constexpr std::uint16_t kUnitVendorId = 0x8002;
inline constexpr std::uint16_t kUnitProductId = 0x4002;

// Offsets inside a message block.
inline constexpr int kMsgNumberField = 2;  // bytes 2..17
inline constexpr int kMsgNumberFieldSize = 16;
inline constexpr int kMsgDataField = 18;  // bytes 18..41
inline constexpr int kMsgDataFieldSize = 24;

}  // namespace vr512b
