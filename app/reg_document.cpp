#include "reg_document.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "text.h"
#include "utf8.h"

namespace vr512b {

namespace {

using Entry = RegDocument::Entry;

constexpr std::string_view kHive = "HKEY_LOCAL_MACHINE";
constexpr std::string_view kFileHeader = "Windows Registry Editor Version 5.00";
// regedit keeps hex lists within 80 columns; we wrap the same way so that the
// file stays readable in a terminal.
constexpr std::size_t kHexLineWidth = 77;

std::string_view TrimLeft(std::string_view text) {
  return vr512b::TrimLeft(text, IsSpaceOrTab);
}

std::string_view TrimRight(std::string_view text) {
  return vr512b::TrimRight(text, [](char c) { return IsSpaceOrTab(c) || c == '\r' || c == '\n'; });
}

std::string_view Trim(std::string_view text) {
  return TrimLeft(TrimRight(text));
}

// regedit saves its files in UTF-16LE; a file copied over from Windows is
// taken as text all the same and written back in UTF-8.
std::string DecodeFileText(std::string bytes) {
  const std::string_view start(bytes.data(), std::min<std::size_t>(bytes.size(), 3));
  if (start == "\xEF\xBB\xBF")
    return bytes.substr(3);
  if (start.substr(0, 2) != "\xFF\xFE")
    return bytes;
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return Utf16ToUtf8(units);
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

// The value part of a logical line (continuations already joined). Returns
// false when the line is not a value we understand.
bool ParseValueData(std::string_view text, std::optional<RegValue>& value) {
  text = TrimRight(text);
  if (text == "-") {
    value.reset();
    return true;
  }
  RegValue parsed;
  if (!text.empty() && text.front() == '"') {
    std::size_t pos = 1;
    auto quoted = ParseQuoted(text, pos);
    if (!quoted || pos != text.size())
      return false;
    parsed.type = kRegSz;
    parsed.data.assign(quoted->begin(), quoted->end());
    parsed.data.push_back(0);
  } else if (StartsWithIgnoringAsciiCase(text, "dword:")) {
    const auto number = ParseHexNumber(text.substr(6));
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
  } else {
    return false;
  }
  value = std::move(parsed);
  return true;
}

bool EndsWithContinuation(std::string_view line) {
  line = TrimRight(line);
  return !line.empty() && line.back() == '\\';
}

// A continuation line of a hex list starts, after its indent, with a digit.
bool LooksLikeHexContinuation(std::string_view line) {
  line = TrimLeft(line);
  return !line.empty() && HexDigitValue(line.front()) >= 0;
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

std::string FormatValue(const std::string& name, const RegValue& value,
                        const std::string& newline) {
  std::string line = name.empty() ? std::string("@=") : QuoteText(name) + "=";
  if (FitsQuotedText(value)) {
    return line +
           QuoteText(std::string_view(reinterpret_cast<const char*>(value.data.data()),
                                      value.data.size() - 1)) +
           newline;
  }
  char buffer[16];
  if (value.type == kRegDword && value.data.size() == 4) {
    const std::uint32_t number = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                                 (static_cast<std::uint32_t>(value.data[3]) << 24);
    std::snprintf(buffer, sizeof buffer, "%08x", number);
    return line + "dword:" + buffer + newline;
  }
  if (value.type == kRegBinary) {
    line += "hex:";
  } else {
    std::snprintf(buffer, sizeof buffer, "%x", value.type);
    line += std::string("hex(") + buffer + "):";
  }
  std::string text;
  for (std::size_t i = 0; i < value.data.size(); ++i) {
    std::snprintf(buffer, sizeof buffer, i + 1 < value.data.size() ? "%02x," : "%02x",
                  value.data[i]);
    if (line.size() + 2 > kHexLineWidth && line.back() == ',') {
      text += line + "\\" + newline;
      line = "  ";
    }
    line += buffer;
  }
  return text + line + newline;
}

bool IsBlankEntry(const Entry& entry) {
  return Trim(entry.raw).empty();
}

Entry MakeEntry(Entry::Kind kind, std::string raw) {
  Entry entry;
  entry.kind = kind;
  entry.raw = std::move(raw);
  return entry;
}

}  // namespace

RegDocument RegDocument::Parse(std::string fileBytes) {
  const std::string text = DecodeFileText(std::move(fileBytes));
  RegDocument doc;
  std::vector<std::string_view> lines;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = text.find('\n', start);
    const std::size_t next = end == std::string::npos ? text.size() : end + 1;
    lines.emplace_back(text.data() + start, next - start);
    start = next;
  }
  if (!lines.empty() && lines.front().ends_with("\r\n"))
    doc.newline_ = "\r\n";

  std::optional<std::string> section;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    Entry entry;
    entry.raw = lines[i];
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
    std::string logical(TrimRight(lines[i].substr(*dataStart)));
    if (StartsWithIgnoringAsciiCase(logical, "hex")) {
      while (EndsWithContinuation(logical) && i + 1 < lines.size() &&
             LooksLikeHexContinuation(lines[i + 1])) {
        logical.resize(TrimRight(logical).size() - 1);  // drop the backslash
        ++i;
        entry.raw += lines[i];
        logical += TrimRight(TrimLeft(lines[i]));
      }
    }
    if (ParseValueData(logical, entry.value)) {
      entry.kind = Entry::Kind::Value;
      entry.key = section;
      entry.name = std::move(name);
    }
    doc.entries_.push_back(std::move(entry));
  }
  return doc;
}

bool RegDocument::HasSection(const std::string& key) const {
  for (const Entry& entry : entries_) {
    if (entry.kind == Entry::Kind::Section && KeyIs(entry, key))
      return true;
  }
  return false;
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

// Adds the section at the end of the file; returns the index of its header.
std::size_t RegDocument::AppendSection(const std::string& key) {
  if (entries_.empty()) {
    entries_.push_back(MakeEntry(Entry::Kind::Other, std::string(kFileHeader) + newline_));
    entries_.push_back(MakeEntry(Entry::Kind::Other, newline_));
  } else if (!IsBlankEntry(entries_.back())) {
    entries_.push_back(MakeEntry(Entry::Kind::Other, newline_));
  }
  Entry header = MakeEntry(Entry::Kind::Section, "[" + key + "]" + newline_);
  header.key = key;
  entries_.push_back(std::move(header));
  return entries_.size() - 1;
}

void RegDocument::SetValue(const std::string& key, const std::string& name, const RegValue& value) {
  Entry entry = MakeEntry(Entry::Kind::Value, FormatValue(name, value, newline_));
  entry.key = key;
  entry.name = name;
  entry.value = value;

  // The line that decides the value now is the one to change; earlier
  // duplicates stay, overridden as before.
  for (std::size_t i = entries_.size(); i-- > 0;) {
    const Entry& old = entries_[i];
    if (old.kind == Entry::Kind::Value && KeyIs(old, key) &&
        EqualsIgnoringAsciiCase(old.name, name)) {
      entries_[i] = std::move(entry);
      return;
    }
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
  entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(position), std::move(entry));
}

std::string RegDocument::Serialize() const {
  std::string text;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    text += entries_[i].raw;
    // Only a file's last line can lack its line break, and it no longer is
    // the last one once something follows it.
    if (i + 1 < entries_.size() && !entries_[i].raw.ends_with('\n'))
      text += newline_;
  }
  return text;
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
