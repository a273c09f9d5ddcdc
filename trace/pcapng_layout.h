#pragma once

// The pcapng file as this program writes it, shared by the writer and the
// reader. A trace is one little-endian section:
//
//   Section Header Block   shb_userappl, shb_os, and a comment whose first
//                          line is the format marker "vr512b-trace 1"
//   Interface Description Block 0   "vr512b-marks": the console's marks, as
//                          Wireshark exported PDUs (link type 252) that it
//                          dissects as syslog lines
//   per unit, when it is first added:
//     Interface Description Block   link type 220 (Linux usbmon, 64-byte
//                          header); if_name says the role, if_description the
//                          role and serial number in words
//     GET_DESCRIPTOR exchanges      device, configuration (one HID interface),
//                          string 0 and the serial number string, and the HID
//                          report descriptor: what Wireshark needs to apply its
//                          HID class dissector, and where the reader takes the
//                          unit's identity from
//   per feature transfer: two Enhanced Packet Blocks, the URB submission
//                          (setup packet, and the report for SET_REPORT) and
//                          its completion (status, and the report for GET_REPORT)
//   per mark: one packet on interface 0, "<14>vr512b-diag: " and the text
//   on close: the end mark "<13>vr512b-diag: Конец записи обмена", so that a
//                          trace cut short shows
//
// Each unit is its own USB device on bus 1 (address 2 for the first unit,
// 3 for the next...), interface 0. Marks are not systemd journal blocks,
// which would read as well, because Wireshark 4.0 cannot save a file that
// holds them: a trace must survive being filtered and saved again.

#include <cstdint>
#include <string_view>

namespace vr512b::trace::layout {

inline constexpr std::uint32_t kSectionHeaderBlock = 0x0A0D0D0A;
inline constexpr std::uint32_t kInterfaceBlock = 0x00000001;
inline constexpr std::uint32_t kObsoletePacketBlock = 0x00000002;
inline constexpr std::uint32_t kSimplePacketBlock = 0x00000003;
inline constexpr std::uint32_t kEnhancedPacketBlock = 0x00000006;
inline constexpr std::uint32_t kJournalBlock = 0x00000009;  // never written
inline constexpr std::uint32_t kByteOrderMagic = 0x1A2B3C4D;

inline constexpr std::uint16_t kOptEnd = 0;
inline constexpr std::uint16_t kOptComment = 1;
inline constexpr std::uint16_t kShbOs = 3;
inline constexpr std::uint16_t kShbUserAppl = 4;
inline constexpr std::uint16_t kIfName = 2;
inline constexpr std::uint16_t kIfDescription = 3;
inline constexpr std::uint16_t kIfTsResol = 9;

// Block header (type, length) plus trailing length.
inline constexpr std::uint32_t kBlockOverhead = 12;
// Enhanced Packet Block fields before the packet: interface, timestamp high
// and low, captured and original length.
inline constexpr std::uint32_t kPacketFieldsSize = 20;

inline constexpr std::string_view kFormatMarker = "vr512b-trace 1";
inline constexpr std::string_view kFormatMarkerPrefix = "vr512b-trace ";
inline constexpr std::string_view kUnderTestInterface = "vr512b-under-test";
inline constexpr std::string_view kReferenceInterface = "vr512b-reference";

inline constexpr std::string_view kMarksInterface = "vr512b-marks";

// LINKTYPE_WIRESHARK_UPPER_PDU: tags naming the dissector (big-endian tag and
// length, the name padded to 4 bytes), the end tag, then the syslog line.
inline constexpr std::uint16_t kLinkTypeUpperPdu = 252;
inline constexpr std::string_view kSyslogPduHeader{"\x00\x0C\x00\x08syslog\x00\x00\x00\x00\x00\x00",
                                                   16};
inline constexpr std::string_view kMarkPrefix = "<14>vr512b-diag: ";                  // user.info
inline constexpr std::string_view kEndLine = "<13>vr512b-diag: Конец записи обмена";  // user.notice

// LINKTYPE_USB_LINUX_MMAPPED: the usbmon binary header, in the section's byte
// order, then the captured data.
inline constexpr std::uint16_t kLinkTypeUsbmon = 220;
inline constexpr std::uint32_t kUsbmonHeaderSize = 64;
namespace usbmon {
inline constexpr std::size_t kId = 0;         // u64, the same for submission and completion
inline constexpr std::size_t kType = 8;       // 'S' or 'C'
inline constexpr std::size_t kXferType = 9;   // 2: control
inline constexpr std::size_t kEndpoint = 10;  // 0x80 bit: IN
inline constexpr std::size_t kDevice = 11;
inline constexpr std::size_t kBus = 12;        // u16
inline constexpr std::size_t kFlagSetup = 14;  // 0: setup packet present
inline constexpr std::size_t kFlagData = 15;   // 0: data present
inline constexpr std::size_t kSeconds = 16;    // s64
inline constexpr std::size_t kMicros = 24;     // s32
inline constexpr std::size_t kStatus = 28;     // s32, -errno
inline constexpr std::size_t kLength = 32;     // u32, requested or transferred
inline constexpr std::size_t kCaptured = 36;   // u32, data bytes after the header
inline constexpr std::size_t kSetup = 40;      // 8 bytes
inline constexpr std::uint8_t kSubmission = 'S';
inline constexpr std::uint8_t kCompletion = 'C';
inline constexpr std::uint8_t kControl = 2;
inline constexpr std::uint8_t kDirectionIn = 0x80;
inline constexpr std::int32_t kInProgress = -115;  // -EINPROGRESS, on every submission
}  // namespace usbmon

inline constexpr std::uint16_t kBus = 1;
inline constexpr std::uint8_t kFirstDeviceAddress = 2;
inline constexpr std::uint8_t kHidInterface = 0;

// Setup packet fields.
inline constexpr std::uint8_t kStandardDeviceIn = 0x80;
inline constexpr std::uint8_t kStandardInterfaceIn = 0x81;
inline constexpr std::uint8_t kClassInterfaceIn = 0xA1;
inline constexpr std::uint8_t kClassInterfaceOut = 0x21;
inline constexpr std::uint8_t kGetDescriptor = 6;
inline constexpr std::uint8_t kGetReport = 0x01;
inline constexpr std::uint8_t kSetReport = 0x09;
inline constexpr std::uint8_t kFeatureReportType = 3;
inline constexpr std::uint8_t kDeviceDescriptor = 1;
inline constexpr std::uint8_t kConfigurationDescriptor = 2;
inline constexpr std::uint8_t kStringDescriptor = 3;
inline constexpr std::uint8_t kHidReportDescriptor = 0x22;
inline constexpr std::uint16_t kLanguageEnglishUs = 0x0409;
inline constexpr std::uint8_t kSerialStringIndex = 1;

}  // namespace vr512b::trace::layout
