#include "common/atomic_file.h"

#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "common/atomic_file_platform.h"

namespace vr512b {

namespace fs = std::filesystem;

namespace {

// As many links in a row as the kernel follows before it gives up (ELOOP).
constexpr int kMaxLinks = 40;

std::string TemporaryPrefix(const std::string& path) {
  // Appended piece by piece: GCC 12 takes "." + string for an overlapping copy.
  std::string prefix(1, '.');
  prefix += fs::path(path).filename().string();
  prefix += ".tmp.";
  return prefix;
}

struct Target {
  std::string path;  // with every link followed
  fs::file_type type = fs::file_type::none;
  std::string error;
};

// The file `path` leads to, which need not exist yet: a link to a file that
// is still to be written (a dangling link) is written through as well.
Target ResolveTarget(const std::string& path) {
  fs::path current(path);
  for (int hop = 0; hop <= kMaxLinks; ++hop) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(current, error);
    if (status.type() != fs::file_type::symlink) {
      // A missing file (or folder on the way) is for the creation to report.
      if (error && status.type() != fs::file_type::not_found)
        return {current.string(), status.type(), error.message()};
      return {current.string(), status.type(), {}};
    }
    const fs::path link = fs::read_symlink(current, error);
    if (error)
      return {current.string(), fs::file_type::unknown, error.message()};
    current = link.is_absolute() ? link : current.parent_path() / link;
  }
  return {path, fs::file_type::unknown, ErrnoText(ELOOP)};
}

// Renaming over anything but a regular file would put a file in place of a
// device (/dev/null, as root), a FIFO another program reads, or a socket.
std::string Refusal(fs::file_type type) {
  switch (type) {
    case fs::file_type::not_found:
    case fs::file_type::regular:
      return {};
    case fs::file_type::directory:
      return "это папка, а не обычный файл";
    case fs::file_type::character:
    case fs::file_type::block:
      return "это устройство, а не обычный файл";
    case fs::file_type::fifo:
      return "это именованный канал, а не обычный файл";
    case fs::file_type::socket:
      return "это сокет, а не обычный файл";
    default:
      return "это не обычный файл";
  }
}

}  // namespace

std::string FolderOf(const std::string& path) {
  const fs::path parent = fs::path(path).parent_path();
  return parent.empty() ? std::string(".") : parent.string();
}

int CreateTemporaryBeside(const std::string& path, bool privately, std::string& name) {
  const std::string base =
      (fs::path(FolderOf(path)) / (TemporaryPrefix(path) + std::to_string(ProcessId()))).string();
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    name = base + "." + std::to_string(attempt);
    fd = OpenNewFile(name, privately);
    if (fd < 0 && errno != EEXIST)
      return -1;
  }
  return fd;
}

AtomicFileWriter::AtomicFileWriter(const std::string& path, std::optional<unsigned> mode)
    : mode_(mode) {
  if (path.empty()) {
    Fail(ErrnoText(ENOENT));
    return;
  }
  const Target target = ResolveTarget(path);
  target_ = target.path;
  if (!target.error.empty()) {
    Fail(target.error);
    return;
  }
  const std::string refusal = Refusal(target.type);
  if (!refusal.empty()) {
    Fail(refusal);
    return;
  }
  replacing_ = target.type == fs::file_type::regular;
  // A file that will take the old one's mode is nobody else's to read
  // meanwhile.
  std::string name;
  fd_ = CreateTemporaryBeside(target_, replacing_ || mode_.has_value(), name);
  if (fd_ < 0) {
    Fail(ErrnoText(errno));
    return;
  }
  temporary_ = std::move(name);
}

AtomicFileWriter::~AtomicFileWriter() {
  Discard();
}

bool AtomicFileWriter::Fail(std::string text) {
  if (error_.empty())
    error_ = text.empty() ? ErrnoText(EIO) : std::move(text);
  return false;
}

void AtomicFileWriter::Discard() {
  if (fd_ >= 0)
    CloseFile(std::exchange(fd_, -1));
  if (!temporary_.empty())
    RemoveFile(std::exchange(temporary_, {}));
}

bool AtomicFileWriter::Write(std::string_view data) {
  if (!error_.empty() || fd_ < 0)
    return false;
  if (!WriteAll(fd_, data))
    return Fail(ErrnoText(errno));
  return true;
}

std::string AtomicFileWriter::Commit() {
  if (error_.empty() && fd_ < 0)
    Fail(ErrnoText(EBADF));  // committed already
  if (error_.empty()) {
    const bool attributes =
        replacing_ ? KeepAttributesOf(fd_, target_) : (!mode_ || SetMode(fd_, *mode_));
    if (!attributes)
      Fail(ErrnoText(errno));
  }
  if (error_.empty() && !SyncAndClose(std::exchange(fd_, -1)))
    Fail(ErrnoText(errno));
  if (error_.empty()) {
    const std::string renameError = RenameOver(temporary_, target_);
    if (!renameError.empty())
      Fail(renameError);
  }
  if (!error_.empty()) {
    Discard();
    return error_;
  }
  // Renamed: nothing is left to remove. A folder that cannot be flushed is
  // still reported: the rename might not survive a crash.
  temporary_.clear();
  if (!SyncFolder(FolderOf(target_)))
    Fail(ErrnoText(errno));
  return error_;
}

std::string ReplaceFileAtomically(const std::string& path, std::string_view content,
                                  std::optional<unsigned> mode) {
  AtomicFileWriter writer(path, mode);
  writer.Write(content);
  return writer.Commit();
}

std::string CheckReplaceable(const std::string& path) {
  // The writer checks the target and creates its temporary file; unused, it
  // removes that again.
  const AtomicFileWriter probe(path);
  return probe.error();
}

void RemoveStaleTemporaries(const std::string& path) {
  const std::string target = ResolveTarget(path).path;
  const std::string prefix = TemporaryPrefix(target);
  std::error_code error;
  std::vector<fs::path> stale;
  for (fs::directory_iterator it(FolderOf(target), error), end; !error && it != end;
       it.increment(error)) {
    if (it->path().filename().string().starts_with(prefix))
      stale.push_back(it->path());
  }
  for (const fs::path& file : stale)
    fs::remove(file, error);
}

std::string ErrnoText(int code) {
  return std::generic_category().message(code);
}

}  // namespace vr512b
