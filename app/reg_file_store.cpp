#include "reg_file_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "atomic_file.h"
#include "text.h"
#include "unique_fd.h"
#include "utf8.h"

namespace vr512b {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kHive = "HKEY_LOCAL_MACHINE";
constexpr std::string_view kFileHeader = "Windows Registry Editor Version 5.00";
// regedit keeps hex lists within 80 columns; we wrap the same way so that the
// file stays readable in a terminal.
constexpr std::size_t kHexLineWidth = 77;

// ---------------------------------------------------------------- files

// Holds an exclusive flock on "<file>.lock" while it lives. The lock file is
// never removed: removing it would let two writers lock different inodes.
class FileLock {
 public:
  static std::optional<FileLock> Acquire(const std::string& path) {
    UniqueFd fd(::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
    if (!fd.valid())
      return std::nullopt;
    while (::flock(fd.get(), LOCK_EX) != 0) {
      if (errno != EINTR)
        return std::nullopt;
    }
    return FileLock(std::move(fd));
  }

 private:
  explicit FileLock(UniqueFd fd) : fd_(std::move(fd)) {}
  UniqueFd fd_;
};

enum class ReadStatus { Ok, Missing, Failed };

struct FileContent {
  ReadStatus status = ReadStatus::Missing;
  std::string bytes;
  mode_t mode = 0;
};

FileContent ReadWholeFile(const std::string& path) {
  FileContent result;
  // O_NONBLOCK keeps a FIFO put in place of the file from hanging the open;
  // it has no effect on a regular file.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.valid()) {
    result.status =
        (errno == ENOENT || errno == ENOTDIR) ? ReadStatus::Missing : ReadStatus::Failed;
    return result;
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    result.status = ReadStatus::Failed;
    return result;
  }
  result.mode = info.st_mode & 07777;
  if (info.st_size > 0)
    result.bytes.reserve(static_cast<std::size_t>(info.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR)
        continue;
      result.status = ReadStatus::Failed;
      return result;
    }
    if (got == 0)
      break;
    result.bytes.append(buffer, static_cast<std::size_t>(got));
  }
  result.status = ReadStatus::Ok;
  return result;
}

std::string ParentDirectory(const std::string& path) {
  const fs::path parent = fs::path(path).parent_path();
  return parent.empty() ? std::string(".") : parent.string();
}

// ---------------------------------------------------------------- text

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
  if (bytes.starts_with("\xEF\xBB\xBF"))
    return bytes.substr(3);
  if (!bytes.starts_with("\xFF\xFE"))
    return bytes;
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return Utf16ToUtf8(units);
}

// ---------------------------------------------------------------- the document

struct Entry {
  enum class Kind { Other, Section, Value };
  Kind kind = Kind::Other;
  std::string raw;  // the entry's lines exactly as they stand, terminators included
  // Section: its key name, or nothing for a header we cannot read (the values
  // under it then belong to no key). Value: the key of its section.
  std::optional<std::string> key;
  std::string name;               // Value
  std::optional<RegValue> value;  // Value; nothing for a deletion ("name"=-)
};

struct Document {
  std::vector<Entry> entries;
  std::string newline = "\n";
};

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

Document ParseDocument(const std::string& text) {
  Document doc;
  std::vector<std::string_view> lines;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = text.find('\n', start);
    const std::size_t next = end == std::string::npos ? text.size() : end + 1;
    lines.emplace_back(text.data() + start, next - start);
    start = next;
  }
  if (!lines.empty() && lines.front().ends_with("\r\n"))
    doc.newline = "\r\n";

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
      doc.entries.push_back(std::move(entry));
      continue;
    }
    std::string name;
    const auto dataStart = ParseValueName(lines[i], name);
    if (!dataStart || !section) {
      doc.entries.push_back(std::move(entry));
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
    doc.entries.push_back(std::move(entry));
  }
  return doc;
}

bool KeyIs(const Entry& entry, const std::string& key) {
  return entry.key && EqualsIgnoringAsciiCase(*entry.key, key);
}

bool HasSection(const Document& doc, const std::string& key) {
  for (const Entry& entry : doc.entries) {
    if (entry.kind == Entry::Kind::Section && KeyIs(entry, key))
      return true;
  }
  return false;
}

// Later lines win, as when regedit imports the file.
std::map<std::string, RegValue> ValuesOf(const Document& doc, const std::string& key) {
  std::map<std::string, RegValue> values;
  for (const Entry& entry : doc.entries) {
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

// Adds the section at the end of the file; returns the index of its header.
std::size_t AppendSection(Document& doc, const std::string& key) {
  if (doc.entries.empty()) {
    doc.entries.push_back(MakeEntry(Entry::Kind::Other, std::string(kFileHeader) + doc.newline));
    doc.entries.push_back(MakeEntry(Entry::Kind::Other, doc.newline));
  } else if (!IsBlankEntry(doc.entries.back())) {
    doc.entries.push_back(MakeEntry(Entry::Kind::Other, doc.newline));
  }
  Entry header = MakeEntry(Entry::Kind::Section, "[" + key + "]" + doc.newline);
  header.key = key;
  doc.entries.push_back(std::move(header));
  return doc.entries.size() - 1;
}

void SetValue(Document& doc, const std::string& key, const std::string& name,
              const RegValue& value) {
  Entry entry = MakeEntry(Entry::Kind::Value, FormatValue(name, value, doc.newline));
  entry.key = key;
  entry.name = name;
  entry.value = value;

  // The line that decides the value now is the one to change; earlier
  // duplicates stay, overridden as before.
  for (std::size_t i = doc.entries.size(); i-- > 0;) {
    const Entry& old = doc.entries[i];
    if (old.kind == Entry::Kind::Value && KeyIs(old, key) &&
        EqualsIgnoringAsciiCase(old.name, name)) {
      doc.entries[i] = std::move(entry);
      return;
    }
  }
  std::optional<std::size_t> header;
  for (std::size_t i = 0; i < doc.entries.size(); ++i) {
    if (doc.entries[i].kind == Entry::Kind::Section && KeyIs(doc.entries[i], key))
      header = i;
  }
  if (!header)
    header = AppendSection(doc, key);
  // New values go after the section's last value, ahead of the blank line
  // and anything else that follows it.
  std::size_t position = *header + 1;
  for (std::size_t i = *header + 1;
       i < doc.entries.size() && doc.entries[i].kind != Entry::Kind::Section; ++i) {
    if (doc.entries[i].kind == Entry::Kind::Value)
      position = i + 1;
  }
  doc.entries.insert(doc.entries.begin() + static_cast<std::ptrdiff_t>(position), std::move(entry));
}

std::string Serialize(const Document& doc) {
  std::string text;
  for (std::size_t i = 0; i < doc.entries.size(); ++i) {
    text += doc.entries[i].raw;
    // Only a file's last line can lack its line break, and it no longer is
    // the last one once something follows it.
    if (i + 1 < doc.entries.size() && !doc.entries[i].raw.ends_with('\n'))
      text += doc.newline;
  }
  return text;
}

std::string SectionName(std::string_view keyPath) {
  while (!keyPath.empty() && keyPath.front() == '\\')
    keyPath.remove_prefix(1);
  while (!keyPath.empty() && keyPath.back() == '\\')
    keyPath.remove_suffix(1);
  std::string name(kHive);
  if (!keyPath.empty())
    name += "\\" + std::string(keyPath);
  return name;
}

// A settings file is often a link into a folder of shared dotfiles; the file
// it points at is the one to replace, or the rename would cut the link.
std::string ReplacementTarget(const std::string& path) {
  std::error_code error;
  if (!fs::is_symlink(path, error))
    return path;
  const fs::path target = fs::weakly_canonical(path, error);
  return error ? path : target.string();
}

// One locked read-change-write of the file. `change` edits the document (and
// learns whether the file exists) and says whether anything changed; `result`
// receives the document as it stands afterwards.
bool Transact(const std::string& linkOrFile, const std::function<bool(Document&, bool)>& change,
              Document& result) {
  const std::string path = ReplacementTarget(linkOrFile);
  std::error_code ignored;
  fs::create_directories(ParentDirectory(path), ignored);
  const auto lock = FileLock::Acquire(path);
  if (!lock)
    return false;
  FileContent file = ReadWholeFile(path);
  // Never overwrite a file we could not read: it may hold values we would
  // otherwise drop.
  if (file.status == ReadStatus::Failed)
    return false;
  Document doc = ParseDocument(DecodeFileText(std::move(file.bytes)));
  if (change(doc, file.status == ReadStatus::Ok)) {
    RemoveStaleTemporaries(path);
    const std::optional<unsigned> keepMode =
        file.status == ReadStatus::Ok ? std::optional<unsigned>(file.mode) : std::nullopt;
    if (!ReplaceFileAtomically(path, Serialize(doc), keepMode).empty())
      return false;
  }
  result = std::move(doc);
  return true;
}

// The store answers with a flag: a file too large to hold in memory is one
// more file that cannot be read or rewritten.
template <typename Body>
bool Guarded(const Body& body) {
  try {
    return body();
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

RegFileStore::RegFileStore(std::string path) : path_(std::move(path)) {}

bool RegFileStore::OpenKey(const std::string& path, bool create) {
  CloseKey();
  const std::string key = SectionName(path);
  return Guarded([&] {
    FileContent file = ReadWholeFile(path_);
    if (file.status == ReadStatus::Failed)
      return false;
    Document doc = ParseDocument(DecodeFileText(std::move(file.bytes)));
    if (file.status == ReadStatus::Missing || !HasSection(doc, key)) {
      if (!create)
        return false;
      const bool created = Transact(
          path_,
          [&](Document& current, bool) {
            if (HasSection(current, key))
              return false;
            AppendSection(current, key);
            return true;
          },
          doc);
      if (!created)
        return false;
    }
    values_ = ValuesOf(doc, key);
    section_ = key;
    return true;
  });
}

void RegFileStore::CloseKey() {
  section_.reset();
  values_.clear();
}

bool RegFileStore::ValueExists(const std::string& name) {
  return values_.find(LowerAscii(name)) != values_.end();
}

std::optional<RegValue> RegFileStore::ReadValue(const std::string& name) {
  const auto it = values_.find(LowerAscii(name));
  if (it == values_.end())
    return std::nullopt;
  return it->second;
}

bool RegFileStore::WriteValue(const std::string& name, const RegValue& value) {
  // A line break cannot be written inside a value name in this format.
  if (!section_ || name.find_first_of("\r\n") != std::string::npos)
    return false;
  const std::string key = *section_;
  return Guarded([&] {
    Document doc;
    const bool stored = Transact(
        path_,
        [&](Document& current, bool) {
          SetValue(current, key, name, value);
          return true;
        },
        doc);
    if (stored)
      values_ = ValuesOf(doc, key);
    return stored;
  });
}

bool CreateRegFile(const std::string& path, const std::string& keyPath,
                   const std::vector<std::pair<std::string, RegValue>>& values) {
  const std::string key = SectionName(keyPath);
  bool created = false;
  Document ignored;
  const bool done = Guarded([&] {
    return Transact(
        path,
        [&](Document& current, bool exists) {
          // Anything already there, even an empty file, is someone's settings.
          if (exists)
            return false;
          AppendSection(current, key);
          for (const auto& [name, value] : values)
            SetValue(current, key, name, value);
          created = true;
          return true;
        },
        ignored);
  });
  return done && created;
}

}  // namespace vr512b
