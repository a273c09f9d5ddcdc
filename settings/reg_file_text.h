#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vr512b {

// How the bytes of a .reg file are text. regedit saves "Windows Registry
// Editor Version 5.00" files in UTF-16LE with a byte-order mark and REGEDIT4
// files in the system's ANSI code page (Windows-1251 on the bench's Russian
// Windows); our own files are UTF-8. A file keeps its encoding when it is
// written again.
enum class RegFileEncoding { Utf8, Utf16Le, Ansi };

// The bytes of a file cut into its lines, each in the file's own bytes with
// its line break, so that lines nobody changes go back byte for byte.
struct RegFileLines {
  RegFileEncoding encoding = RegFileEncoding::Utf8;
  std::string byteOrderMark;       // as found, written again
  std::vector<std::string> lines;  // after the mark; the last may lack its break
  std::string oddByte;             // a UTF-16 file of odd length: its last byte, kept at the end
};

// Without a byte-order mark, text that is not valid UTF-8 is the ANSI code
// page; valid UTF-8 with letters beyond ASCII is UTF-8; plain ASCII is ANSI
// under a REGEDIT4 header (regedit's own) and UTF-8 otherwise (ours).
RegFileLines SplitRegFile(std::string_view bytes);

// One line (or any text) of the file as UTF-8, and back; encoding fails when
// the text has no form in the file's encoding (a letter Windows-1251 lacks,
// or UTF-8 that is not well formed going to UTF-16 or the code page).
std::string DecodeRegText(std::string_view bytes, RegFileEncoding encoding);
std::optional<std::string> EncodeRegText(std::string_view text, RegFileEncoding encoding);

// The bytes a hex(1), hex(2) or hex(7) list holds for the text `text` (UTF-8
// with its zeros): UTF-16LE when `wide`, otherwise the narrow text of
// `encoding` (the ANSI code page, or UTF-8 in a UTF-8 file). And back.
std::optional<std::vector<std::uint8_t>> StringDataBytes(std::string_view text, bool wide,
                                                         RegFileEncoding encoding);
std::string StringDataText(const std::vector<std::uint8_t>& bytes, bool wide,
                           RegFileEncoding encoding);

}  // namespace vr512b
