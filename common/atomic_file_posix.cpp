#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/atomic_file_platform.h"

namespace vr512b {

int ProcessId() {
  return static_cast<int>(::getpid());
}

int OpenNewFile(const std::string& path, bool privately) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, privately ? 0600 : 0666);
}

bool SetMode(int fd, unsigned mode) {
  return ::fchmod(fd, static_cast<mode_t>(mode)) == 0;
}

bool KeepAttributesOf(int fd, const std::string& original) {
  struct stat info {};
  if (::stat(original.c_str(), &info) != 0)
    return errno == ENOENT;
  // Root replacing a user's file must not leave it root's; anyone else may
  // only give it a group of their own, and otherwise the file becomes theirs,
  // as with any editor. The owner first: changing it clears set-id bits.
  if (info.st_uid != ::geteuid() || info.st_gid != ::getegid()) {
    if (::fchown(fd, info.st_uid, info.st_gid) != 0 &&
        ::fchown(fd, static_cast<uid_t>(-1), info.st_gid) != 0) {
      // Neither: the file is ours now, with the old one's mode.
    }
  }
  return ::fchmod(fd, info.st_mode & 07777) == 0;
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0) {
      if (written == 0)
        errno = EIO;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

bool SyncAndClose(int fd) {
  const bool synced = ::fsync(fd) == 0;
  const int syncError = errno;
  const bool closed = ::close(fd) == 0;
  if (!synced)
    errno = syncError;
  return synced && closed;
}

void CloseFile(int fd) {
  ::close(fd);
}

void RemoveFile(const std::string& path) {
  ::unlink(path.c_str());
}

std::string RenameOver(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) == 0)
    return {};
  return ErrnoText(errno);
}

bool SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return false;
  // Some file systems cannot sync a folder; the rename is then as durable as
  // they make it.
  const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
  ::close(fd);
  return synced;
}

}  // namespace vr512b
