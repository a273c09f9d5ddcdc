#include "settings/reg_document.h"

#include <algorithm>
#include <utility>

#include "common/text.h"

namespace vr512b {

namespace {

using Entry = RegDocument::Entry;

constexpr std::string_view kHive = "HKEY_LOCAL_MACHINE";
constexpr std::string_view kVersion5Header = "Windows Registry Editor Version 5.00";
constexpr std::string_view kRegedit4Header = "REGEDIT4";
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
// regedit keeps hex lists within 80 columns; we wrap the same way so that the
// file stays readable in a terminal.
constexpr std::size_t kHexLineWidth = 77;
constexpr RegValueType kRegMultiSz = 7;

std::string_view TrimLeft(std::string_view text) {
  return vr512b::TrimLeft(text, IsSpaceOrTab);
}

std::string_view TrimRight(std::string_view text) {
  return vr512b::TrimRight(text, [](char c) { return IsSpaceOrTab(c) || c == '\r' || c == '\n'; });
}

std::string_view Trim(std::string_view text) {
  return TrimLeft(TrimRight(text));
}

// Types whose data is text, which regedit converts between the file's text
// and the registry's UTF-16 when it writes them as hex lists.
bool IsTextType(RegValueType type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// Reads a quoted text starting after its opening quote. Only \\ and \" are
// escapes; any other backslash is kept as it stands, as a hand-edited path
// would mean it.
std::optional<std::string> ParseQuoted(std::string_view text, std::size_t& pos) {
  std::string result;
  while (pos < text.size()) {
    const char c = text[pos++];
    if (c == '"')
      return result;
    if (c == '\\' && pos < text.size() && (text[pos] == '\\' || text[pos] == '"')) {
      result += text[pos++];
    } else {
      result += c;
    }
  }
  return std::nullopt;
}

// Reads `"name"=` or `@=`; returns the position after the equals sign.
std::optional<std::size_t> ParseValueName(std::string_view line, std::string& name) {
  std::size_t pos = line.size() - TrimLeft(line).size();
  if (pos >= line.size())
    return std::nullopt;
  if (line[pos] == '@') {
    name.clear();
    ++pos;
  } else if (line[pos] == '"') {
    ++pos;
    auto quoted = ParseQuoted(line, pos);
    if (!quoted)
      return std::nullopt;
    name = std::move(*quoted);
  } else {
    return std::nullopt;
  }
  while (pos < line.size() && IsSpaceOrTab(line[pos]))
    ++pos;
  if (pos >= line.size() || line[pos] != '=')
    return std::nullopt;
  ++pos;
  while (pos < line.size() && IsSpaceOrTab(line[pos]))
    ++pos;
  return pos;
}

std::optional<std::uint32_t> ParseHexNumber(std::string_view digits) {
  if (digits.empty() || digits.size() > 8)
    return std::nullopt;
  std::uint32_t value = 0;
  for (char c : digits) {
    const int d = HexDigitValue(c);
    if (d < 0)
      return std::nullopt;
    value = (value << 4) | static_cast<std::uint32_t>(d);
  }
  return value;
}

std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::string_view list) {
  std::vector<std::uint8_t> bytes;
  list = Trim(list);
  if (list.empty())
    return bytes;
  for (;;) {
    const std::size_t comma = list.find(',');
    const std::string_view token = Trim(list.substr(0, comma));
    if (token.empty() || token.size() > 2)
      return std::nullopt;
    const auto value = ParseHexNumber(token);
    if (!value)
      return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(*value));
    if (comma == std::string_view::npos)
      return bytes;
    list.remove_prefix(comma + 1);
  }
}

// Unquoted data ends where a comment starts; `comment` gets the rest of the
// line from the blanks before the semicolon. Only spaces and tabs count as
// those: the comment must still read as one after a quoted text.
std::string_view CutComment(std::string_view data, std::string& comment) {
  const std::size_t semicolon = data.find(';');
  const std::string_view before = data.substr(0, semicolon);
  const std::size_t blanks = vr512b::TrimRight(before, IsSpaceOrTab).size();
  comment = semicolon == std::string_view::npos ? std::string()
                                                : std::string(TrimRight(data.substr(blanks)));
  return TrimRight(before);
}

// The value part of a logical line (continuations already joined, their
// comments cut). `wide` and `encoding` say how text is held in hex lists.
// Returns false when the line is not a value we understand.
bool ParseValueData(std::string_view text, bool wide, RegFileEncoding encoding,
                    std::optional<RegValue>& value, std::string& comment) {
  text = TrimRight(text);
  RegValue parsed;
  if (!text.empty() && text.front() == '"') {
    std::size_t pos = 1;
    auto quoted = ParseQuoted(text, pos);
    if (!quoted)
      return false;
    const std::string_view rest = text.substr(pos);
    if (!TrimLeft(rest).empty() && TrimLeft(rest).front() != ';')
      return false;
    comment = std::string(rest);
    parsed.type = kRegSz;
    parsed.data.assign(quoted->begin(), quoted->end());
    parsed.data.push_back(0);
    value = std::move(parsed);
    return true;
  }
  text = CutComment(text, comment);
  if (text == "-") {
    value.reset();
    return true;
  }
  if (StartsWithIgnoringAsciiCase(text, "dword:")) {
    const auto number = ParseHexNumber(TrimLeft(text.substr(6)));
    if (!number)
      return false;
    parsed.type = kRegDword;
    for (int shift = 0; shift < 32; shift += 8) {
      parsed.data.push_back(static_cast<std::uint8_t>(*number >> shift));
    }
  } else if (StartsWithIgnoringAsciiCase(text, "hex")) {
    text.remove_prefix(3);
    parsed.type = kRegBinary;
    if (!text.empty() && text.front() == '(') {
      const std::size_t close = text.find(')');
      if (close == std::string_view::npos)
        return false;
      const auto type = ParseHexNumber(text.substr(1, close - 1));
      if (!type)
        return false;
      parsed.type = *type;
      text.remove_prefix(close + 1);
    }
    if (text.empty() || text.front() != ':')
      return false;
    auto bytes = ParseHexBytes(text.substr(1));
    if (!bytes)
      return false;
    parsed.data = std::move(*bytes);
    if (IsTextType(parsed.type)) {
      const std::string utf8 = StringDataText(parsed.data, wide, encoding);
      parsed.data.assign(utf8.begin(), utf8.end());
    }
  } else {
    return false;
  }
  value = std::move(parsed);
  return true;
}

// A continuation line of a hex list starts, after its indent, with a digit.
bool LooksLikeHexContinuation(std::string_view line) {
  line = TrimLeft(line);
  return !line.empty() && HexDigitValue(line.front()) >= 0;
}

// regedit lets blank lines and comment lines stand inside a hex list.
bool IsBlankOrComment(std::string_view line) {
  line = Trim(line);
  return line.empty() || line.front() == ';';
}

bool KeyIs(const Entry& entry, const std::string& key) {
  return entry.key && EqualsIgnoringAsciiCase(*entry.key, key);
}

std::string QuoteText(std::string_view text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"')
      quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

// A string goes into the file as readable text when it reads back to the
// very same bytes: one terminating zero and no line break inside.
bool FitsQuotedText(const RegValue& value) {
  if (value.type != kRegSz || value.data.empty() || value.data.back() != 0)
    return false;
  for (std::size_t i = 0; i + 1 < value.data.size(); ++i) {
    const std::uint8_t c = value.data[i];
    if (c == 0 || c == '\n' || c == '\r')
      return false;
  }
  return true;
}

// The value's line(s) as UTF-8 text, as regedit would write them; nothing when
// the text of a hex list has no form in the file's encoding.
std::optional<std::string> FormatValue(const std::string& name, const RegValue& value,
                                       const std::string& comment, const std::string& newline,
                                       bool wide, RegFileEncoding encoding, bool quote) {
  std::string line = name.empty() ? std::string("@=") : QuoteText(name) + "=";
  if (quote && FitsQuotedText(value)) {
    return line +
           QuoteText(std::string_view(reinterpret_cast<const char*>(value.data.data()),
                                      value.data.size() - 1)) +
           comment + newline;
  }
  if (value.type == kRegDword && value.data.size() == 4) {
    const std::uint32_t number = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                                 (static_cast<std::uint32_t>(value.data[3]) << 24);
    return line + "dword:" + HexNumber(number, 8, false) + comment + newline;
  }
  std::vector<std::uint8_t> data = value.data;
  if (IsTextType(value.type)) {
    auto bytes = StringDataBytes(
        std::string_view(reinterpret_cast<const char*>(data.data()), data.size()), wide, encoding);
    if (!bytes)
      return std::nullopt;
    data = std::move(*bytes);
  }
  if (value.type == kRegBinary) {
    line += "hex:";
  } else {
    line += "hex(" + HexNumber(value.type, 1, false) + "):";
  }
  std::string text;
  for (std::size_t i = 0; i < data.size(); ++i) {
    std::string byte;
    AppendHexByte(byte, data[i], false);
    if (i + 1 < data.size())
      byte += ',';
    if (line.size() + 2 > kHexLineWidth && line.back() == ',') {
      text += line + "\\" + newline;
      line = "  ";
    }
    line += byte;
  }
  return text + line + comment + newline;
}

RegDocument::Format FormatOf(const std::vector<std::string>& decodedLines) {
  const auto first = std::find_if(decodedLines.begin(), decodedLines.end(),
                                  [](const std::string& line) { return !Trim(line).empty(); });
  if (first == decodedLines.end())
    return RegDocument::Format::Empty;
  // regedit takes only a header in the very first line.
  const std::string_view header = Trim(decodedLines.front());
  if (header == kVersion5Header)
    return RegDocument::Format::Version5;
  if (header == kRegedit4Header)
    return RegDocument::Format::Regedit4;
  return RegDocument::Format::Other;
}

}  // namespace

RegDocument RegDocument::Parse(std::string_view fileBytes) {
  RegFileLines file = SplitRegFile(fileBytes);
  RegDocument doc;
  doc.encoding_ = file.encoding;
  doc.byteOrderMark_ = std::move(file.byteOrderMark);
  doc.oddByte_ = std::move(file.oddByte);
  std::vector<std::string> lines;
  lines.reserve(file.lines.size());
  for (const std::string& line : file.lines)
    lines.push_back(DecodeRegText(line, doc.encoding_));
  doc.format_ = FormatOf(lines);
  if (!lines.empty() && lines.front().ends_with("\r\n"))
    doc.newline_ = "\r\n";
  const bool wide = doc.WideStrings();

  std::optional<std::string> section;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    Entry entry;
    entry.raw = std::move(file.lines[i]);
    const std::string_view content = Trim(lines[i]);
    if (!content.empty() && content.front() == '[') {
      entry.kind = Entry::Kind::Section;
      if (content.size() >= 2 && content.back() == ']') {
        entry.key = std::string(content.substr(1, content.size() - 2));
      }
      section = entry.key;
      doc.entries_.push_back(std::move(entry));
      continue;
    }
    std::string name;
    const auto dataStart = ParseValueName(lines[i], name);
    if (!dataStart || !section) {
      doc.entries_.push_back(std::move(entry));
      continue;
    }
    std::string logical(TrimRight(std::string_view(lines[i]).substr(*dataStart)));
    if (StartsWithIgnoringAsciiCase(logical, "hex")) {
      // Joined line by line, each without its comment; the last one's stays.
      std::string comment;
      std::string data(CutComment(logical, comment));
      while (!data.empty() && data.back() == '\\') {
        std::size_t next = i + 1;
        while (next < lines.size() && IsBlankOrComment(lines[next]))
          ++next;
        if (next >= lines.size() || !LooksLikeHexContinuation(lines[next]))
          break;
        data.pop_back();
        for (++i; i <= next; ++i)
          entry.raw += file.lines[i];
        i = next;
        data += CutComment(TrimLeft(lines[i]), comment);
      }
      logical = data + comment;
    }
    if (ParseValueData(logical, wide, doc.encoding_, entry.value, entry.comment)) {
      entry.kind = Entry::Kind::Value;
      entry.key = section;
      entry.name = std::move(name);
    }
    doc.entries_.push_back(std::move(entry));
  }
  return doc;
}

bool RegDocument::WideStrings() const {
  return encoding_ == RegFileEncoding::Utf16Le || format_ != Format::Regedit4;
}

std::optional<std::string> RegDocument::Encoded(std::string_view text) const {
  return EncodeRegText(text, encoding_);
}

bool RegDocument::EndsWithBreak(const std::string& raw) const {
  if (encoding_ == RegFileEncoding::Utf16Le)
    return raw.size() >= 2 && raw.ends_with(std::string_view("\n\0", 2));
  return raw.ends_with('\n');
}

bool RegDocument::HasSection(const std::string& key) const {
  return std::any_of(entries_.begin(), entries_.end(), [&](const Entry& entry) {
    return entry.kind == Entry::Kind::Section && KeyIs(entry, key);
  });
}

bool RegDocument::HasAnySection() const {
  return std::any_of(entries_.begin(), entries_.end(), [](const Entry& entry) {
    return entry.kind == Entry::Kind::Section && entry.key.has_value();
  });
}

// Later lines win, as when regedit imports the file.
std::map<std::string, RegValue> RegDocument::ValuesOf(const std::string& key) const {
  std::map<std::string, RegValue> values;
  for (const Entry& entry : entries_) {
    if (entry.kind != Entry::Kind::Value || !KeyIs(entry, key))
      continue;
    if (entry.value) {
      values[LowerAscii(entry.name)] = *entry.value;
    } else {
      values.erase(LowerAscii(entry.name));
    }
  }
  return values;
}

std::size_t RegDocument::AppendSection(const std::string& key) {
  // The names of keys are ASCII here, which every encoding can hold.
  const auto line = [this](std::string_view text) {
    Entry entry;
    entry.raw = Encoded(std::string(text) + newline_).value_or(std::string());
    return entry;
  };
  if (format_ == Format::Empty) {
    if (encoding_ != RegFileEncoding::Utf8)
      newline_ = "\r\n";  // as regedit writes its files
    entries_.insert(entries_.begin(), {line(kVersion5Header), line("")});
    format_ = Format::Version5;
  }
  if (!entries_.empty() && !EndsWithBreak(entries_.back().raw))
    entries_.back().raw += Encoded(newline_).value_or(std::string());
  if (!entries_.empty() && !Trim(DecodeRegText(entries_.back().raw, encoding_)).empty())
    entries_.push_back(line(""));
  Entry header = line("[" + key + "]");
  header.kind = Entry::Kind::Section;
  header.key = key;
  entries_.push_back(std::move(header));
  return entries_.size() - 1;
}

bool RegDocument::SetValue(const std::string& key, const std::string& name, const RegValue& value) {
  // The line that decides the value now is the one to change; earlier
  // duplicates stay, overridden as before.
  std::optional<std::size_t> old;
  for (std::size_t i = entries_.size(); i-- > 0 && !old;) {
    const Entry& entry = entries_[i];
    if (entry.kind == Entry::Kind::Value && KeyIs(entry, key) &&
        EqualsIgnoringAsciiCase(entry.name, name)) {
      old = i;
    }
  }
  const std::string comment = old ? entries_[*old].comment : std::string();
  const auto format = [&](bool quote) -> std::optional<std::string> {
    const auto text = FormatValue(name, value, comment, newline_, WideStrings(), encoding_, quote);
    return text ? Encoded(*text) : std::nullopt;
  };
  std::optional<std::string> raw = format(true);
  // Text the file's code page cannot hold goes as a hex list of UTF-16, where
  // the header says lists hold that.
  if (!raw && value.type == kRegSz && WideStrings())
    raw = format(false);
  if (!raw)
    return false;
  Entry entry;
  entry.kind = Entry::Kind::Value;
  entry.raw = *raw;
  entry.key = key;
  entry.name = name;
  entry.value = value;
  entry.comment = comment;
  if (old) {
    // A changed line keeps the break it had: the file's last line may have none.
    if (!EndsWithBreak(entries_[*old].raw))
      entry.raw.resize(entry.raw.size() - Encoded(newline_)->size());
    entries_[*old] = std::move(entry);
    return true;
  }

  std::optional<std::size_t> header;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].kind == Entry::Kind::Section && KeyIs(entries_[i], key))
      header = i;
  }
  if (!header)
    header = AppendSection(key);
  // New values go after the section's last value, ahead of the blank line
  // and anything else that follows it.
  std::size_t position = *header + 1;
  for (std::size_t i = *header + 1; i < entries_.size() && entries_[i].kind != Entry::Kind::Section;
       ++i) {
    if (entries_[i].kind == Entry::Kind::Value)
      position = i + 1;
  }
  // Only a file's last line can lack its line break, and it no longer is the
  // last one once something follows it.
  if (!EndsWithBreak(entries_[position - 1].raw))
    entries_[position - 1].raw += *Encoded(newline_);
  entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(position), std::move(entry));
  return true;
}

std::string RegDocument::Serialize() const {
  std::string bytes = byteOrderMark_;
  for (const Entry& entry : entries_)
    bytes += entry.raw;
  bytes += oddByte_;
  return ReadsBackAsWritten(bytes) ? bytes : WithUtf8Mark().Serialize();
}

// Without a mark the reader guesses the encoding from the bytes, and a change
// may have taken away what it went by: the one byte that was no UTF-8, the
// last letter beyond ASCII. ASCII reads the same either way, but for the
// narrow text lists of REGEDIT4.
bool RegDocument::ReadsBackAsWritten(std::string_view bytes) const {
  if (!byteOrderMark_.empty() || SplitRegFile(bytes).encoding == encoding_)
    return true;
  const bool ascii = std::all_of(bytes.begin(), bytes.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  return ascii && format_ != Format::Regedit4;
}

// The document as UTF-8 behind its mark, every line meaning what it meant.
// Narrow text lists hold the file's own encoding and are written anew.
RegDocument RegDocument::WithUtf8Mark() const {
  RegDocument doc = *this;
  doc.encoding_ = RegFileEncoding::Utf8;
  doc.byteOrderMark_ = kUtf8Mark;
  if (encoding_ == RegFileEncoding::Utf8)
    return doc;
  for (Entry& entry : doc.entries_) {
    const std::string text = DecodeRegText(entry.raw, encoding_);
    entry.raw = text;
    std::string name;
    const auto dataStart = ParseValueName(text, name);
    if (WideStrings() || entry.kind != Entry::Kind::Value || !entry.value ||
        !IsTextType(entry.value->type) || !dataStart ||
        !StartsWithIgnoringAsciiCase(std::string_view(text).substr(*dataStart), "hex")) {
      continue;
    }
    const auto list = FormatValue(entry.name, *entry.value, entry.comment, newline_, false,
                                  RegFileEncoding::Utf8, false);
    if (!list)
      continue;
    entry.raw = *list;
    if (!EndsWithBreak(text))
      entry.raw.resize(entry.raw.size() - newline_.size());
  }
  return doc;
}

std::string RegSectionName(std::string_view keyPath) {
  while (!keyPath.empty() && keyPath.front() == '\\')
    keyPath.remove_prefix(1);
  while (!keyPath.empty() && keyPath.back() == '\\')
    keyPath.remove_suffix(1);
  std::string name(kHive);
  if (!keyPath.empty()) {
    name += '\\';
    name += keyPath;
  }
  return name;
}

}  // namespace vr512b
