#pragma once

// Parameter files as they come from Windows: regedit's own exports in UTF-16LE
// and in REGEDIT4 (the ANSI code page, Windows-1251 on the bench's Russian
// Windows), with the values they hold. Written out by hand, byte for byte.

#include <string>
#include <string_view>

#include "procedures/test_parameters.h"

namespace vr512b::testing {

// UTF-16LE bytes of `text`, as regedit writes them.
inline std::string Utf16Le(std::u16string_view text) {
  std::string bytes;
  for (char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

// A file regedit saves: the byte-order mark, then the text in UTF-16LE.
inline std::string RegeditFile(std::u16string_view text) {
  return "\xFF\xFE" + Utf16Le(text);
}

// "Экспорт" of the key on the bench PC: the serial was entered as an
// expandable string, which regedit writes as hex(2) in UTF-16LE.
inline constexpr std::u16string_view kExportHead =
    u"Windows Registry Editor Version 5.00\r\n"
    u"\r\n"
    u"[HKEY_LOCAL_MACHINE\\Software\\Korvex\\DiagVR512B]\r\n"
    u"\"NameVR512BSample\"=hex(2):31,00,30,00,30,00,30,00,31,00,00,00\r\n";
inline constexpr std::u16string_view kExportPhoneSample = u"\"PhoneSample\"=\"Пульт 2001\"\r\n";
inline constexpr std::u16string_view kExportTail =
    u"\"Phone\"=\"2002\"\r\n"
    u"\"IDContact\"=dword:00000001\r\n"
    u"\"LowSpeed\"=dword:00000000\r\n"
    u"\"Secsoa\"=dword:00000001\r\n"
    u"\"Korvex\"=dword:00000001\r\n"
    u"\"Presto\"=dword:00000000\r\n"
    u"\"ShortTest\"=dword:00000001\r\n"
    u"\"SoundSample\"=dword:00000000\r\n"
    u"\"Sound\"=dword:00000001\r\n"
    u"\"KorvexTestMsg\"=dword:00000000\r\n"
    u"\"CBNoTone\"=dword:00000000\r\n"
    u"\r\n";

inline std::u16string ExportText() {
  return std::u16string(kExportHead) + std::u16string(kExportPhoneSample) +
         std::u16string(kExportTail);
}

inline TestParameterValues ExportValues() {
  TestParameterValues v;
  v.NameVR512BSample = "10001";
  v.PhoneSample = "Пульт 2001";
  v.Phone = "2002";
  v.LowSpeed = v.Presto = false;
  v.ShortTest = v.Sound = true;
  return v;
}

// The same key saved by regedit as REGEDIT4: Windows-1251, CR LF, and a
// comment after a value, which regedit reads past. "Пульт" is CF F3 EB FC F2,
// "старый" F1 F2 E0 F0 FB E9.
inline constexpr std::string_view kRegedit4Head =
    "REGEDIT4\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Korvex\\DiagVR512B]\r\n"
    "\"NameVR512BSample\"=\"10001\"\r\n";
inline constexpr std::string_view kRegedit4PhoneSample =
    "\"PhoneSample\"=\"\xCF\xF3\xEB\xFC\xF2 2001\" ; \xF1\xF2\xE0\xF0\xFB\xE9\r\n";
inline constexpr std::string_view kRegedit4Tail =
    "\"Phone\"=\"2002\"\r\n"
    "\"IDContact\"=dword:00000001\r\n"
    "\"LowSpeed\"=dword:00000000\r\n"
    "\"Secsoa\"=dword:00000001\r\n"
    "\"Korvex\"=dword:00000001\r\n"
    "\"Presto\"=dword:00000000\r\n"
    "\"ShortTest\"=dword:00000001\r\n"
    "\"SoundSample\"=dword:00000000\r\n"
    "\"Sound\"=dword:00000001\r\n"
    "\"KorvexTestMsg\"=dword:00000000\r\n"
    "\"CBNoTone\"=dword:00000000\r\n"
    "\r\n";

inline std::string Regedit4Text() {
  return std::string(kRegedit4Head) + std::string(kRegedit4PhoneSample) +
         std::string(kRegedit4Tail);
}

// A file written by hand whose PhoneSample is a DWORD where a string belongs;
// the runner and the window read it alike.
inline constexpr char kWrongTypeFile[] =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Korvex\\DiagVR512B]\n"
    "\"NameVR512BSample\"=\"10001\"\n"
    "\"PhoneSample\"=dword:1\n"
    "\"Phone\"=\"2002\"\n"
    "\"IDContact\"=dword:00000000\n"
    "\"LowSpeed\"=dword:00000001\n"
    "\"Secsoa\"=dword:00000001\n"
    "\"Korvex\"=dword:00000000\n"
    "\"Presto\"=dword:00000001\n"
    "\"ShortTest\"=dword:00000001\n"
    "\"SoundSample\"=dword:00000001\n"
    "\"Sound\"=dword:00000000\n"
    "\"KorvexTestMsg\"=dword:00000001\n"
    "\"CBNoTone\"=dword:00000001\n";

}  // namespace vr512b::testing
