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

#include "atomic_file.h"
#include "reg_document.h"
#include "reg_file_store.h"
#include "text.h"
#include "unique_fd.h"

namespace vr512b {

namespace {

namespace fs = std::filesystem;

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
bool Transact(const std::string& linkOrFile, const std::function<bool(RegDocument&, bool)>& change,
              RegDocument& result) {
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
  RegDocument doc = RegDocument::Parse(std::move(file.bytes));
  if (change(doc, file.status == ReadStatus::Ok)) {
    RemoveStaleTemporaries(path);
    const std::optional<unsigned> keepMode =
        file.status == ReadStatus::Ok ? std::optional<unsigned>(file.mode) : std::nullopt;
    if (!ReplaceFileAtomically(path, doc.Serialize(), keepMode).empty())
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
  const std::string key = RegSectionName(path);
  return Guarded([&] {
    FileContent file = ReadWholeFile(path_);
    if (file.status == ReadStatus::Failed)
      return false;
    RegDocument doc = RegDocument::Parse(std::move(file.bytes));
    if (file.status == ReadStatus::Missing || !doc.HasSection(key)) {
      if (!create)
        return false;
      const bool created = Transact(
          path_,
          [&](RegDocument& current, bool) {
            if (current.HasSection(key))
              return false;
            current.AppendSection(key);
            return true;
          },
          doc);
      if (!created)
        return false;
    }
    values_ = doc.ValuesOf(key);
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
    RegDocument doc;
    const bool stored = Transact(
        path_,
        [&](RegDocument& current, bool) {
          current.SetValue(key, name, value);
          return true;
        },
        doc);
    if (stored)
      values_ = doc.ValuesOf(key);
    return stored;
  });
}

bool CreateRegFile(const std::string& path, const std::string& keyPath,
                   const std::vector<std::pair<std::string, RegValue>>& values) {
  const std::string key = RegSectionName(keyPath);
  bool created = false;
  RegDocument ignored;
  const bool done = Guarded([&] {
    return Transact(
        path,
        [&](RegDocument& current, bool exists) {
          // Anything already there, even an empty file, is someone's settings.
          if (exists)
            return false;
          current.AppendSection(key);
          for (const auto& [name, value] : values)
            current.SetValue(key, name, value);
          created = true;
          return true;
        },
        ignored);
  });
  return done && created;
}

}  // namespace vr512b
