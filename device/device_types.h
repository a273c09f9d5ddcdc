#pragma once

// The unit's protocol: blocks, report ids, opcodes, codes and bits, each named
// once here for the console, the virtual bench and the tests.

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
inline constexpr int cfgLineLevelA = 6;  // with cfgLineLevelB: the unit's levels on the line
inline constexpr int cfgLineLevelB = 7;
inline constexpr int cfgDialFlags = 8;

// Modes (cfgMode).
inline constexpr std::uint8_t mdNormal = 0;
inline constexpr std::uint8_t mdMonitor = 3;           // listens on the line, prints what comes
inline constexpr std::uint8_t mdAnswerCalls = 5;       // answers incoming calls
inline constexpr std::uint8_t mdLineVoltageWatch = 8;  // reports the line voltage going and coming

// Loudspeaker volumes (cfgVolume).
inline constexpr std::uint8_t kVolumeSilent = 0;
inline constexpr std::uint8_t kVolumeNormal = 127;
inline constexpr std::uint8_t kVolumeLoud = 255;

// Option bits (cfgOptions) of the data exchanges.
inline constexpr std::uint8_t optTextAndPrestoExchange = 0x40;
inline constexpr std::uint8_t optKorvexExchange = 0x80;

// Both line levels at this value make a unit fit for the attenuated line.
inline constexpr std::uint8_t kAttenuatedLineLevel = 7;

// Dial flags (cfgDialFlags).
inline constexpr std::uint8_t dfNoDialToneCheck = 0x02;  // dial without waiting for the tone

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

// Parameters of OpSound.
inline constexpr std::uint8_t sndContinuousTone = 12;  // with 0: a 1000 Hz tone at the volume
inline constexpr std::uint8_t sndStop = 1;             // with 1: the tone stops

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
// The four low bits: a line operation (a call, a line check) is going on.
inline constexpr std::uint8_t kLineOperationMask = 0x0F;

// Event codes (byte 1 of an rtEvent reply).
inline constexpr std::uint8_t evReset = 16;
inline constexpr std::uint8_t evPowerOn = 17;
inline constexpr std::uint8_t evButtonReset = 18;
inline constexpr std::uint8_t evButtonResetToo = 19;
inline constexpr std::uint8_t evPowerDeviation = 20;
inline constexpr std::uint8_t evPowerOnToo = 23;
inline constexpr std::uint8_t evWatchdog = 24;
inline constexpr std::uint8_t evNoLineVoltage = 33;
inline constexpr std::uint8_t evNoDialTone = 34;
inline constexpr std::uint8_t evLineVoltageBack = 49;
inline constexpr std::uint8_t evDialToneBack = 50;
inline constexpr std::uint8_t evTransmitted = 64;
inline constexpr std::uint8_t evTransmitNoDialTone = 65;
inline constexpr std::uint8_t evTransmitNoAnswer = 70;
inline constexpr std::uint8_t evTransmitNoAcknowledge = 71;
inline constexpr std::uint8_t evTransmitBadMessage = 72;
inline constexpr std::uint8_t evTransmitBadNumber = 73;
inline constexpr std::uint8_t evTransmitBadAnswer = 74;
inline constexpr std::uint8_t evUsbTimeout = 80;
// Every code in this range from a transmitting unit is a failed transmission.
inline constexpr std::uint8_t evTransmitFailedFirst = 65;
inline constexpr std::uint8_t evTransmitFailedLast = 79;

// Format codes; the high nibble is the family, which decides the format of a
// received code.
inline constexpr std::uint8_t fcContactID = 0x11;
inline constexpr std::uint8_t fcLowSpeed = 0x23;
inline constexpr std::uint8_t fcSecsoa = 0x33;
inline constexpr std::uint8_t fcKorvex = 0x40;
inline constexpr std::uint8_t fcPresto = 0x50;
constexpr std::uint8_t FormatFamily(std::uint8_t format) {
  return format & 0xF0;
}

// Per-format bits of the FormatMask configuration byte.
inline constexpr std::uint8_t fmContactID = 0x03;
inline constexpr std::uint8_t fmLowSpeed = 0x04;
inline constexpr std::uint8_t fmSecsoa = 0x08;
inline constexpr std::uint8_t fmKorvex = 0x30;
inline constexpr std::uint8_t fmPresto = 0xC0;
inline constexpr std::uint8_t fmNone = 0;
inline constexpr std::uint8_t fmAll = 0xFF;
inline constexpr std::uint8_t fmAllButKorvex = fmContactID | fmLowSpeed | fmSecsoa | fmPresto;
// The formats a unit answers the short signals in: all but Presto.
inline constexpr std::uint8_t fmAllButPresto = fmContactID | fmLowSpeed | fmSecsoa | fmKorvex;

// Identity of a VR512B unit on USB.
inline constexpr std::uint16_t kUnitVendorId = 0x8002;
inline constexpr std::uint16_t kUnitProductId = 0x4002;
// The unit's HID interface: interface 0, its collection on the vendor page.
inline constexpr int kUnitInterfaceNumber = 0;
inline constexpr std::uint16_t kUnitUsagePage = 0xFF00;

// Offsets inside a message block.
inline constexpr int kMsgNumberField = 2;  // bytes 2..17
inline constexpr int kMsgNumberFieldSize = 16;
inline constexpr int kMsgNumberMaxDigits = 14;  // a number to dial fills bytes 2..15 at most
inline constexpr int kMsgDataField = 18;        // bytes 18..41
inline constexpr int kMsgDataFieldSize = 24;

}  // namespace vr512b
