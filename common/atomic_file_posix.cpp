#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "atomic_file_platform.h"

namespace vr512b {

int ProcessId() {
  return static_cast<int>(::getpid());
}

int OpenNewFile(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

bool SetMode(int fd, unsigned mode) {
  return ::fchmod(fd, static_cast<mode_t>(mode)) == 0;
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0)
      return false;
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
