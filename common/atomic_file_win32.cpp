#include "common/windows_api.h"
// The C runtime's descriptor calls.
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>

#include <system_error>

#include "common/atomic_file_platform.h"

namespace vr512b {

int ProcessId() {
  return ::_getpid();
}

int OpenNewFile(const std::string& path, bool) {
  return ::_open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}

bool SetMode(int, unsigned) {
  // Windows files have no POSIX permission bits to keep.
  return true;
}

bool KeepAttributesOf(int, const std::string&) {
  // The new file inherits the folder's access rules, as the old one did.
  return true;
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const unsigned chunk = data.size() > 1u << 30 ? 1u << 30 : static_cast<unsigned>(data.size());
    const int written = ::_write(fd, data.data(), chunk);
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
  const bool synced = ::_commit(fd) == 0;
  return ::_close(fd) == 0 && synced;
}

void CloseFile(int fd) {
  ::_close(fd);
}

void RemoveFile(const std::string& path) {
  ::_unlink(path.c_str());
}

std::string RenameOver(const std::string& from, const std::string& to) {
  if (::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return {};
  return std::system_category().message(static_cast<int>(::GetLastError()));
}

bool SyncFolder(const std::string&) {
  // MOVEFILE_WRITE_THROUGH has already made the rename durable.
  return true;
}

}  // namespace vr512b
