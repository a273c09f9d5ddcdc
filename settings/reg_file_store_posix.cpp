#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include "common/atomic_file.h"
#include "common/text.h"
#include "common/unique_fd.h"
#include "settings/reg_document.h"
#include "settings/reg_file_store.h"

namespace vr512b {

namespace {

namespace fs = std::filesystem;

// ---------------------------------------------------------------- files

std::string ErrorText(int code) {
  return std::generic_category().message(code);
}

// Holds an exclusive flock on "<file>.lock" while it lives. The lock file is
// never removed: removing it would let two writers lock different inodes.
class FileLock {
 public:
  // Nothing, with errno set, when the lock cannot be had.
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

enum class ReadStatus { Ok, Missing, NotRegular, Failed };

struct FileContent {
  ReadStatus status = ReadStatus::Missing;
  int error = 0;  // Failed: why
  std::string bytes;
  mode_t mode = 0;
  bool writable = false;  // Ok: we may change it
};

FileContent ReadWholeFile(const std::string& path) {
  FileContent result;
  // O_NONBLOCK keeps a FIFO put in place of the file from hanging the open;
  // it has no effect on a regular file.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.valid()) {
    result.error = errno;
    result.status = errno == ENOENT || errno == ENOTDIR ? ReadStatus::Missing
                    : errno == EISDIR                   ? ReadStatus::NotRegular
                                                        : ReadStatus::Failed;
    return result;
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) {
    result.error = errno;
    result.status = ReadStatus::Failed;
    return result;
  }
  if (!S_ISREG(info.st_mode)) {
    result.status = ReadStatus::NotRegular;
    return result;
  }
  result.mode = info.st_mode & 07777;
  // A file without any write permission is read-only even to root, who
  // passes every access check: the user marked it so.
  result.writable = (result.mode & 0222) != 0 && ::access(path.c_str(), W_OK) == 0;
  if (info.st_size > 0)
    result.bytes.reserve(static_cast<std::size_t>(info.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR)
        continue;
      result.error = errno;
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

// A settings file is often a link into a folder of shared dotfiles; the file
// it points at, existing or not yet, is the one to replace, or the rename
// would cut the link.
std::string ResolveLinks(const std::string& path) {
  fs::path current(path);
  std::error_code error;
  for (int hop = 0; hop < 40 && fs::is_symlink(current, error); ++hop) {
    const fs::path target = fs::read_symlink(current, error);
    if (error)
      break;
    current = target.is_absolute() ? target : current.parent_path() / target;
  }
  return current.lexically_normal().string();
}

// ---------------------------------------------------------------- keys

// regedit on 64-bit Windows shows the parameters of a 32-bit program under
// WOW6432Node, and an export of them names that section.
std::optional<std::string> SectionOf(const RegDocument& doc, const std::string& key) {
  if (doc.HasSection(key))
    return key;
  constexpr std::string_view kSoftware = "HKEY_LOCAL_MACHINE\\Software\\";
  if (!StartsWithIgnoringAsciiCase(key, kSoftware))
    return std::nullopt;
  const std::string wow = std::string(kSoftware) + "WOW6432Node\\" + key.substr(kSoftware.size());
  if (doc.HasSection(wow))
    return wow;
  return std::nullopt;
}

// Why the file at `path` cannot hold `key`; empty when it can: a new (empty)
// file, a file with the key's section, or a registry file of no key at all.
std::string RefusalOf(const RegDocument& doc, const std::string& key, const std::string& path) {
  if (doc.format() == RegDocument::Format::Empty || SectionOf(doc, key))
    return {};
  const std::string start = "Файл «" + path + "» не является файлом параметров тестирования: ";
  const std::string end = ". Файл оставлен без изменений.";
  if (doc.format() == RegDocument::Format::Other) {
    return start +
           "это не файл реестра (первая строка не «Windows Registry Editor Version 5.00» и не "
           "«REGEDIT4»)" +
           end;
  }
  if (doc.HasAnySection())
    return start + "в нём нет раздела [" + key + "]" + end;
  return {};
}

std::string NotRegularRefusal(const std::string& path) {
  return "Файл «" + path + "» не является файлом параметров тестирования: это не обычный файл.";
}

// One locked read-change-write of the file behind `linkOrFile`. `change`
// edits the document as it stands now (with what is known of the file) and
// returns why it gives up, empty to go on. The file is written only when its
// bytes changed. Returns an error text, empty on success; `result` receives
// the document as it stands afterwards.
using Change = std::function<std::string(RegDocument&, const FileContent&)>;

std::string Transact(const std::string& linkOrFile, const Change& change, RegDocument& result) {
  const std::string path = ResolveLinks(linkOrFile);
  std::error_code folderError;
  fs::create_directories(ParentDirectory(path), folderError);
  const auto lock = FileLock::Acquire(path);
  if (!lock)
    return folderError ? folderError.message() : ErrorText(errno);
  const FileContent file = ReadWholeFile(path);
  // Never overwrite a file we could not read: it may hold values we would
  // otherwise drop.
  if (file.status == ReadStatus::Failed)
    return ErrorText(file.error);
  if (file.status == ReadStatus::NotRegular)
    return NotRegularRefusal(linkOrFile);
  RegDocument doc = RegDocument::Parse(file.bytes);
  const std::string refused = change(doc, file);
  if (!refused.empty())
    return refused;
  const std::string bytes = doc.Serialize();
  if (file.status == ReadStatus::Missing || bytes != file.bytes) {
    RemoveStaleTemporaries(path);
    const std::optional<unsigned> keepMode =
        file.status == ReadStatus::Ok ? std::optional<unsigned>(file.mode) : std::nullopt;
    const std::string error = ReplaceFileAtomically(path, bytes, keepMode);
    if (!error.empty())
      return error;
  }
  result = std::move(doc);
  return {};
}

// The store answers with a flag: a file too large to hold in memory is one
// more file that cannot be read or rewritten.
template <typename Body>
auto Guarded(const Body& body, decltype(body()) failed) {
  try {
    return body();
  } catch (const std::exception&) {
    return failed;
  }
}

}  // namespace

RegFileStore::RegFileStore(std::string path) : path_(std::move(path)) {}

bool RegFileStore::OpenKey(const std::string& path, bool create) {
  CloseKey();
  const std::string key = RegSectionName(path);
  return Guarded(
      [&] {
        const FileContent file = ReadWholeFile(ResolveLinks(path_));
        if (file.status == ReadStatus::NotRegular)
          refusal_ = NotRegularRefusal(path_);
        if (file.status == ReadStatus::Failed || file.status == ReadStatus::NotRegular)
          return false;
        const RegDocument doc = RegDocument::Parse(file.bytes);
        refusal_ = RefusalOf(doc, key, path_);
        if (!refusal_.empty())
          return false;
        const std::optional<std::string> section = SectionOf(doc, key);
        if (!section && !create)
          return false;
        key_ = key;
        values_ = section ? doc.ValuesOf(*section) : Snapshot();
        return true;
      },
      false);
}

void RegFileStore::CloseKey() {
  key_.reset();
  values_.clear();
  refusal_.clear();
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
  return WriteValues({RegWrite{name, value}}) == 1;
}

std::size_t RegFileStore::WriteValues(const std::vector<RegWrite>& writes) {
  if (!key_)
    return 0;
  // A line break cannot be written inside a value name in this format.
  for (std::size_t i = 0; i < writes.size(); ++i) {
    if (writes[i].name.find_first_of("\r\n") != std::string::npos)
      return i;
  }
  const std::string key = *key_;
  std::size_t done = 0;
  const auto change = [&](RegDocument& doc, const FileContent& file) -> std::string {
    if (file.status == ReadStatus::Ok && !file.writable)
      return ErrorText(EACCES);
    // Another program may have put something else in place since the key was read.
    std::string refused = RefusalOf(doc, key, path_);
    if (!refused.empty())
      return refused;
    const std::string section = SectionOf(doc, key).value_or(key);
    const Snapshot stored = doc.ValuesOf(section);
    for (done = 0; done < writes.size(); ++done) {
      const RegWrite& write = writes[done];
      const auto it = stored.find(LowerAscii(write.name));
      // A line that already says the same stays as it is written.
      if (it != stored.end() && (write.keepStored || it->second == write.value))
        continue;
      if (!doc.SetValue(section, write.name, write.value))
        return "no form in the file's encoding";
    }
    return {};
  };
  return Guarded(
      [&] {
        RegDocument doc;
        if (!Transact(path_, change, doc).empty())
          return done < writes.size() ? done : std::size_t{0};
        values_ = doc.ValuesOf(SectionOf(doc, key).value_or(key));
        return writes.size();
      },
      std::size_t{0});
}

std::string CreateRegFile(const std::string& path, const std::string& keyPath,
                          const std::vector<std::pair<std::string, RegValue>>& values,
                          bool& created) {
  created = false;
  // Most starts find the file made: no lock for them.
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 || (errno != ENOENT && errno != ENOTDIR))
    return {};
  const std::string key = RegSectionName(keyPath);
  RegDocument ignored;
  const auto change = [&](RegDocument& doc, const FileContent& file) -> std::string {
    // Anything already there, even an empty file, is someone's settings.
    if (file.status != ReadStatus::Missing)
      return {};
    doc.AppendSection(key);
    for (const auto& [name, value] : values) {
      if (!doc.SetValue(key, name, value))
        return "no form in the file's encoding";
    }
    created = true;
    return {};
  };
  const std::string error =
      Guarded([&] { return Transact(path, change, ignored); }, std::string("out of memory"));
  if (!error.empty())
    created = false;
  return error;
}

}  // namespace vr512b
